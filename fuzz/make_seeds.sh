#!/usr/bin/env bash
# Writes the fuzzers' seed corpora: small valid files made by the suite's
# own programs and benchmark tools from data/forest.exr.
#   fuzz/make_seeds.sh [BUILD_DIR]          the committed seeds, fuzz/seeds/<reader>/
#   fuzz/make_seeds.sh BUILD_DIR --raw DIR  the raw grid seed (1.5 MB), into DIR
# BUILD_DIR (default build) is a build of the programs with the benchmarks
# (-DSUITE_BENCH=ON, as tools/test.sh makes it: bench/makeimages,
# bench/makeformats). Only the files named here are rewritten: the other
# entries of a seed folder (corpus entries and inputs that once crashed or
# hung, named by their hash) stay.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
photo=data/forest.exr
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if [[ "${2:-}" == --raw ]]; then
    mkdir -p "$3"
    "$build/bench/makeimages" "$photo" "$tmp/small.exr" 24 16 >/dev/null
    "$build/bench/makeformats" "$tmp/small.exr" "$tmp/small" >/dev/null
    cp "$tmp/small.raw" "$3/grid.raw"
    exit 0
fi

seeds=fuzz/seeds
mkdir -p "$seeds"/{exrinput,pnginput,jpeginput,ppminput,rawinput}

# EXR: a small image, and a narrow one of more rows than the reader's
# 32-row block, both PIZ as the suite writes them.
"$build/bench/makeimages" "$photo" "$seeds/exrinput/small.exr" 24 16 >/dev/null
"$build/bench/makeimages" "$photo" "$seeds/exrinput/tall.exr" 3 70 >/dev/null

# PNG: 8-bit RGB from makeformats, 8-bit RGBA with the sRGB chunks from
# radexport. The crop is scaled to a maximum of 1 first, so that the 8-bit
# files are not clipped to white.
"$build/bin/radrescale-max" "$seeds/exrinput/small.exr" "$tmp/scaled.exr" >/dev/null 2>&1
"$build/bench/makeformats" "$tmp/scaled.exr" "$tmp/small" >/dev/null
cp "$tmp/small.png" "$seeds/pnginput/rgb.png"
"$build/bin/radexport" "$tmp/scaled.exr" "$seeds/pnginput/rgba.png" >/dev/null 2>&1

# JPEG: baseline YCbCr with 2x2 chroma subsampling.
cp "$tmp/small.jpg" "$seeds/jpeginput/small.jpg"

# PPM: 8-bit from makeformats, and a 16-bit one with comment lines.
cp "$tmp/small.ppm" "$seeds/ppminput/rgb8.ppm"
{
    printf 'P6\n# sixteen bits\n3 2\n# maxval\n1000\n'
    printf '\x00\x00\x01\x00\x03\xe8\xff\xff\x80\x00\x00\x07'
    printf '\x02\x00\x00\x10\x03\xe7\x00\x01\x00\x02\x00\x03'
} > "$seeds/ppminput/rgb16.ppm"

# raw: the start of a grid, whose samples are 1, -0, +infinity and a NaN
# (big-endian), and nothing more; the whole grid is made at run time.
printf '\x3f\x80\x00\x00\x80\x00\x00\x00\x7f\x80\x00\x00\x7f\xc0\x00\x01' > "$seeds/rawinput/short.raw"
