#!/usr/bin/env bash
# Installs the Debian packages the suite builds and tests with, when any is
# missing. Run as root (or with sudo available). The programs alone need only
# the first line; the rest serve the tests, the benchmarks, the fuzzers and
# the Debian package (dpkg-dev and file for CPack's dpkg-shlibdeps). The
# converters' tests make their files with real encoders: netpbm,
# libjpeg-turbo's cjpeg, djpeg and jpegtran, and exiftool.
set -euo pipefail

packages=(build-essential cmake pkg-config libopenexr-dev libpng-dev libjpeg62-turbo-dev
          dpkg-dev file libgtest-dev libbenchmark-dev groff-base clang-14 libclang-rt-14-dev time python3
          openexr netpbm libjpeg-turbo-progs libimage-exiftool-perl)
if [ "${1:-}" = "--bench" ]; then
  packages+=(openimageio-tools strace)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
