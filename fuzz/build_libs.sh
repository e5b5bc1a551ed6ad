#!/usr/bin/env bash
# Builds OpenEXR, libpng and libjpeg from Debian's source packages with the
# fuzz harnesses' instrumentation (libFuzzer coverage, AddressSanitizer,
# UndefinedBehaviorSanitizer), as static libraries installed into PREFIX:
#   fuzz/build_libs.sh [PREFIX]        (default build-fuzz-deps)
# then configure the fuzz build with -DSUITE_FUZZ_DEPS=PREFIX.
# The sources and their builds go to PREFIX/src. Needs deb-src lines in the
# apt sources (apt-get source), clang-14, cmake and make. Imath and zlib
# stay Debian's.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p "${1:-build-fuzz-deps}"
prefix=$(realpath "${1:-build-fuzz-deps}")
src=$prefix/src
mkdir -p "$src"

export CC=clang-14 CXX=clang++-14
flags="-O2 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
export CFLAGS=$flags CXXFLAGS=$flags LDFLAGS="-fsanitize=address,undefined"
jobs=${JOBS:-2}

# fetch PACKAGE: unpacks Debian's source of PACKAGE (its patches applied)
# under $src and prints the folder. The newest version the mirror serves is
# taken; a version listed but missing from the mirror is skipped.
fetch() {
    local package=$1 dir version
    dir=$(find "$src" -maxdepth 1 -type d -name "$package-*" | sort | tail -n 1)
    if [[ -n $dir ]]; then
        echo "$dir"
        return
    fi
    local versions
    versions=$(apt-cache showsrc --only-source "$package" | sed -n 's/^Version: //p' | sort -rV)
    if [[ -z $versions ]]; then
        echo "build_libs.sh: no source package $package; add a deb-src line and run apt-get update" >&2
        return 1
    fi
    for version in $versions; do
        if (cd "$src" && apt-get source -q "$package=$version") >>"$src/fetch.log" 2>&1; then
            find "$src" -maxdepth 1 -type d -name "$package-*" | sort | tail -n 1
            return
        fi
    done
    echo "build_libs.sh: cannot fetch the source of $package" >&2
    return 1
}

# Each library's configure, build and install output goes to
# PREFIX/src/build-NAME.log; a library once installed is not built again
# (remove PREFIX to start over).
failed() { echo "build_libs.sh: building $1 failed, see $src/build-$1.log" >&2; exit 1; }
installed() { [[ -f $src/build-$1.done ]]; }

cmake_build() {
    local name=$1 from=$2
    shift 2
    {
        cmake -S "$from" -B "$src/build-$name" -DCMAKE_BUILD_TYPE=None \
            -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
            -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" "$@" &&
            cmake --build "$src/build-$name" -j"$jobs" &&
            cmake --install "$src/build-$name"
    } >"$src/build-$name.log" 2>&1 || failed "$name"
    touch "$src/build-$name.done"
}

# libjpeg-turbo: the library only, in plain C. The SIMD kernels are
# assembly, which neither the sanitizers nor the coverage counters see, so
# the C versions of the same steps run instead.
if ! installed jpeg; then
    dir=$(fetch libjpeg-turbo)
    echo "libjpeg-turbo from $dir"
    cmake_build jpeg "$dir" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF \
        -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
fi

# libpng, with autotools as Debian builds it.
if ! installed png; then
    dir=$(fetch libpng1.6)
    echo "libpng from $dir"
    mkdir -p "$src/build-png"
    (cd "$src/build-png" &&
        "$dir/configure" --prefix="$prefix" --libdir="$prefix/lib" --disable-shared --enable-static &&
        make -j"$jobs" install) >"$src/build-png.log" 2>&1 || failed png
    touch "$src/build-png.done"
fi

# OpenEXR: the libraries only, against Debian's Imath.
if ! installed exr; then
    dir=$(fetch openexr)
    echo "OpenEXR from $dir"
    cmake_build exr "$dir" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DDOCS=OFF \
        -DOPENEXR_BUILD_TOOLS=OFF -DOPENEXR_INSTALL_EXAMPLES=OFF -DOPENEXR_INSTALL_TOOLS=OFF \
        -DOPENEXR_FORCE_INTERNAL_IMATH=OFF
fi

echo "instrumented libraries in $prefix"
