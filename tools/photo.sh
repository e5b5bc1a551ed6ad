#!/usr/bin/env bash
# Tone-maps an ordinary photograph: photo.sh input.jpg|input.png output.png [scale]
# Imports the JPEG or PNG into linear light (radjfif or radraster), blurs it
# (radsoften, blur size scale x width, default 0.05), lifts its shadows and
# tames its highlights by nonlinear masking against the blur (radmask) and
# exports the result to PNG (radexport).
#
# The programs are taken from SUITE_BIN if set, else from this checkout's
# build/bin, else from PATH (an installed suite). The programs' own output
# is kept out of the way and shown only when a step fails, so that many runs
# can share a terminal (see "Batch use" in README.md). On failure the status
# is 1 and output.png is not created.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "Usage: photo.sh input.jpg|input.png output.png [scale]" >&2
  exit 1
fi
input=$1
output=$2
scale=${3:-0.05}

bin=${SUITE_BIN:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}
if [ -x "$bin/radmask" ]; then
  PATH=$bin:$PATH
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/photo.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs one step with its messages in the log; on failure shows them.
step() {
  if ! "$@" >"$work/log" 2>&1; then
    tr '\r' '\n' <"$work/log" | grep -v '^$' >&2 || true
    echo "photo.sh: $1 failed on $input" >&2
    exit 1
  fi
}

if [ ! -r "$input" ] || [ -d "$input" ]; then
  echo "photo.sh: Cannot open $input." >&2
  exit 1
fi
# The file's first bytes tell the format, whatever its name.
magic=$(head -c 4 -- "$input" 2>/dev/null | od -An -tx1 | tr -d ' \n' || true)
case $magic in
  89504e47) step radraster "$input" "$work/photo.exr" ;;
  ffd8ff*) step radjfif "$input" "$work/photo.exr" ;;
  *)
    echo "photo.sh: $input is neither a PNG nor a JPEG file" >&2
    exit 1
    ;;
esac
step radsoften "$work/photo.exr" "$work/blur.exr" "$scale"
step radmask "$work/photo.exr" "$work/blur.exr" "$work/mapped.exr"
step radexport "$work/mapped.exr" "$output"
