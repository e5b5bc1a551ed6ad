#!/usr/bin/env bash
# Installs what is missing, builds the suite and runs its main job on the
# bundled photograph data/forest.exr: global tone mapping, a blurred companion
# image, local adaptation operators driven by it and PNG exports of the
# results in out/; then the one-step photo helper radphoto on the photograph
# and on an ordinary PNG, and the README's gallery previews (docs/gallery.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh
bin=build/bin
photo=data/forest.exr
mkdir -p out

# The photograph as it is, clipped to the display range.
$bin/radexport $photo out/forest.png

# Global photoreceptor tone mapping, adapted to the image mean (-a 0).
$bin/radreceptor -a 0 $photo out/forest-receptor.exr

# The blurred companion image: a Gaussian 5 % of the width across.
$bin/radsoften $photo out/forest-blur.exr 0.05

# Local operators with the blurred image. radappear's result is unnormalised
# (it scales by c = 100), so radclamp maps it into 0..1 before export.
$bin/radappear $photo out/forest-blur.exr out/forest-appear.exr
$bin/radclamp out/forest-appear.exr out/forest-appear-clamp.exr
$bin/radadapt $photo out/forest-blur.exr out/forest-adapt.exr
# Nonlinear masking works on a 0..1 image: the tone-mapped one and its blur.
$bin/radsoften out/forest-receptor.exr out/forest-receptor-blur.exr 0.05
$bin/radmask out/forest-receptor.exr out/forest-receptor-blur.exr out/forest-mask.exr

$bin/radexport out/forest-receptor.exr out/forest-receptor.png
$bin/radexport out/forest-appear-clamp.exr out/forest-appear.png
$bin/radexport out/forest-adapt.exr out/forest-adapt.png
$bin/radexport out/forest-mask.exr out/forest-mask.png

# The same chain in one step, from the HDR photograph and from an ordinary
# one (the plain PNG export stands in for one from a camera).
$bin/radphoto $photo out/forest-radphoto.png
$bin/radphoto out/forest.png out/photo-mapped.png

docs/gallery.sh

cat <<'TEXT'

Results in out/:
  forest.png                  the photograph as it is (clipped)
  forest-receptor.exr/.png    global photoreceptor tone mapping (radreceptor -a 0)
  forest-blur.exr             the blurred companion image (radsoften, 0.05)
  forest-appear.exr/.png      appearance tone mapping (radappear, then radclamp)
  forest-adapt.exr/.png       adaptation to the local background (radadapt)
  forest-mask.exr/.png        nonlinear masking of the tone-mapped image (radmask)
  forest-radphoto.png         radphoto on forest.exr: the tone mapping and masking in one step
  photo-mapped.png            radphoto on forest.png: PNG in, tone-mapped PNG out
Gallery previews in docs/gallery/ (shown in README.md).
TEXT
