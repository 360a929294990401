#!/bin/sh
# Draws Dravelo's product picture (a page brought back by a green arrow on a blue tile) with
# ImageMagick and writes it at the sizes the about box and the desktop use.
# Run from this folder: sh make_product_icon.sh
set -eu
convert -size 256x256 xc:none \
  -fill '#1f5fae' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#2f78cf' -draw 'roundrectangle 8,8 247,200 44,44' \
  -fill '#1f5fae' -draw 'rectangle 8,150 247,200' \
  -fill white -stroke '#c9d6e6' -strokewidth 3 \
  -draw 'polygon 62,40 150,40 190,80 190,212 62,212' \
  -fill '#dce6f2' -draw 'polygon 150,40 150,80 190,80' \
  -stroke '#9fb3cc' -strokewidth 7 -draw 'line 84,104 168,104' -draw 'line 84,128 168,128' \
  -draw 'line 84,152 140,152' \
  -fill none -stroke '#1f9d55' -strokewidth 22 -draw 'arc 118,118 226,226 214,480' \
  -stroke none -fill '#1f9d55' -draw 'polygon 150,160 100,130 108,176' \
  dravelo-256.png
for s in 128 64 48 32 16; do
  convert dravelo-256.png -resize ${s}x${s} dravelo-${s}.png
done
