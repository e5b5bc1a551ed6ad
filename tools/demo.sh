#!/usr/bin/env bash
# Installs what is missing, builds the suite and runs its main job on the
# bundled photograph: tone mapping, a blurred companion image, a local
# adaptation operator driven by it, and PNG previews of the results in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh
bin=build/bin
mkdir -p out

$bin/radreceptor data/forest.exr out/forest-receptor.exr
$bin/radsoften data/forest.exr out/forest-blur.exr 0.05
$bin/radmask data/forest.exr out/forest-blur.exr out/forest-mask.exr
$bin/radappear data/forest.exr out/forest-blur.exr out/forest-appear.exr
for name in receptor mask appear; do
  $bin/radexport out/forest-$name.exr out/forest-$name.png
done
echo
echo "Results in out/: forest-receptor.exr (global tone mapping), forest-blur.exr"
echo "(the blurred companion), forest-mask.exr and forest-appear.exr (local operators),"
echo "and a PNG of each tone-mapped image."
