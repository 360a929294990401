#!/bin/sh
# Renders Dravelo's product picture (resources/desktop/dravelo.svg, the program's desktop icon)
# as the PNGs that the window icon and the about box use, so that both show the same picture.
# Qt draws PNG without its SVG module. Needs ImageMagick. Run from this folder:
#   sh make_product_icon.sh
set -eu
svg=../../desktop/dravelo.svg
for s in 256 128 64 48 32 16; do
  convert -background none -density $((s * 96 / 64 * 2)) "$svg" -resize ${s}x${s} dravelo-${s}.png
done
