#!/bin/sh
# deep_scan_bench.sh DEEP_SCAN_READ WORK_DIR SIZE_MIB
# Makes (once) a FAT32 card of SIZE_MIB with 4 KiB clusters, fills nine tenths of it with old
# data (random bytes, and a few hundred JPEGs made with cjpeg among them), quick-formats it, and
# times the deep scan beside `cat` of the image, both with the page cache warm.
set -eu
tool=$1
work=$2
size=$3
mkdir -p "$work"
img="$work/card_${size}m.img"
if [ ! -f "$img" ]; then
  truncate -s "${size}M" "$img.tmp"
  mkfs.fat -F 32 -s 8 "$img.tmp" > /dev/null
  python3 "$(dirname "$0")/../../tests/fixtures/carve/make_media.py" "$work/media" 7 200 > /dev/null
  for p in "$work/media"/*.ppm; do cjpeg -quality 85 "$p" > "${p%.ppm}.JPG"; rm "$p"; done
  MTOOLS_SKIP_CHECK=1 mmd -i "$img.tmp" ::DCIM
  i=0
  for f in "$work/media"/*; do
    MTOOLS_SKIP_CHECK=1 mcopy -i "$img.tmp" "$f" ::DCIM/
    i=$((i + 1))
    # Old data between the photos: 4 MiB of random bytes after every tenth.
    if [ $((i % 10)) -eq 0 ]; then
      head -c 4M /dev/urandom > "$work/fill.bin"
      MTOOLS_SKIP_CHECK=1 mcopy -i "$img.tmp" "$work/fill.bin" "::DCIM/FILL$i.BIN"
    fi
  done
  fill=$((size * 9 / 10 - i / 10 * 4 - 8))
  head -c "${fill}M" /dev/urandom > "$work/fill.bin"
  MTOOLS_SKIP_CHECK=1 mcopy -i "$img.tmp" "$work/fill.bin" ::REST.BIN
  rm -rf "$work/fill.bin" "$work/media"
  mkfs.fat -F 32 -s 8 "$img.tmp" > /dev/null   # the quick format
  mv "$img.tmp" "$img"
fi
cat "$img" > /dev/null
start=$(date +%s.%N)
cat "$img" > /dev/null
end=$(date +%s.%N)
cat_s=$(echo "$end - $start" | bc -l)
echo "cat (warm): $(echo "$size / $cat_s * 1.048576" | bc -l | cut -c1-7) MB/s, $cat_s s"
"$tool" "$img"
"$tool" --tiny-formats "$img"
