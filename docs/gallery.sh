#!/usr/bin/env bash
# Runs the suite on the bundled photograph data/forest.exr and writes small
# PNG previews of the results into docs/gallery/ (the README's gallery).
# Usage: docs/gallery.sh   (after tools/build.sh; BUILD_DIR names another build)
#
# Every program runs on the full 1024x512 image; only the finished result is
# box-filtered down by exrshrink before radexport turns it into a preview,
# which keeps the committed previews at a few tens of KB each.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
bin=$build/bin
shrink=$build/tools/exrshrink
photo=data/forest.exr
gallery=docs/gallery
factor=6

work=$(mktemp -d "${TMPDIR:-/tmp}/gallery.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs one program quietly; on failure shows its messages and stops.
run() {
  if ! "$@" >"$work/log" 2>&1; then
    tr '\r' '\n' <"$work/log" | grep -v '^$' >&2 || true
    echo "gallery.sh: $* failed" >&2
    exit 1
  fi
}

# preview NAME IMAGE.exr: writes docs/gallery/NAME.png from a full-size result.
preview() {
  run "$shrink" "$2" "$work/small.exr" "$factor"
  run "$bin/radexport" "$work/small.exr" "$gallery/$1.png"
}

mkdir -p "$gallery"
w=$work

preview plain "$photo"
run "$bin/radsoften" "$photo" "$w/blur.exr" 0.05
preview blur "$w/blur.exr"

# Global photoreceptor tone mappers. radreceptor adapts to the image mean
# (-a 0); its default, each pixel adapted to itself, flattens this scene.
run "$bin/radreceptor" -a 0 "$photo" "$w/receptor.exr"
preview receptor "$w/receptor.exr"
run "$bin/radreceptor-rgb" "$photo" "$w/receptor-rgb.exr"
preview receptor-rgb "$w/receptor-rgb.exr"
run "$bin/radconereceptor" "$photo" "$w/conereceptor.exr"
preview conereceptor "$w/conereceptor.exr"

# Nonlinear masking expects a 0..1 image: it masks the tone-mapped result
# against that result's own blur (on the raw HDR image the bright sky turns
# the trees around the sun black).
run "$bin/radsoften" "$w/receptor.exr" "$w/receptor-blur.exr" 0.05
run "$bin/radmask" "$w/receptor.exr" "$w/receptor-blur.exr" "$w/mask.exr"
preview mask "$w/mask.exr"

# radappear scales by c = 100 and leaves its result unnormalised (half
# infinity where it overflows); radclamp brings it back into 0..1.
run "$bin/radappear" "$photo" "$w/blur.exr" "$w/appear.exr"
run "$bin/radclamp" "$w/appear.exr" "$w/appear-clamp.exr"
preview appear "$w/appear-clamp.exr"

run "$bin/radadapt" "$photo" "$w/blur.exr" "$w/adapt.exr"
preview adapt "$w/adapt.exr"
run "$bin/radadapt-degree" "$photo" "$w/blur.exr" "$w/adapt-degree.exr" 1
preview adapt-degree "$w/adapt-degree.exr"

run "$bin/radclamp" "$photo" "$w/clamp.exr"
preview clamp "$w/clamp.exr"

echo "Gallery previews in $gallery/"
