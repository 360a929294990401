#!/bin/sh
# Times `dravelo-cli scan --tsv` on a large FAT32 image made by mkfs.fat and mtools: DIRS folders
# (in groups of 100) of FILES files each (long names, 200 to 6000 bytes), of which every file with
# an even number is deleted, and every tenth folder removed whole with mdeltree. The image is made once and kept in
# WORK_DIR (never committed); peak memory comes from /usr/bin/time -v. Last comes the time of
# reading the image once, which the scan is measured against.
# Usage: fat_scan_bench.sh DRAVELO_CLI WORK_DIR [DIRS] [FILES]
set -eu
cli=$1
work=$2
dirs=${3:-200}
files=${4:-200}
mkdir -p "$work"
img="$work/fat32_bench_${dirs}x${files}.img"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

if [ ! -f "$img" ]; then
  tree="$work/tree"
  rm -rf "$tree" "$img.part"
  python3 - "$tree" "$dirs" "$files" <<'PY'
import os, random, sys
root, dirs, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1)
for d in range(1, dirs + 1):
    folder = os.path.join(root, "Group %03d" % ((d - 1) // 100 + 1), "Folder %05d" % d)
    os.makedirs(folder)
    for f in range(1, files + 1):
        with open(os.path.join(folder, "Document %05d.txt" % f), "wb") as out:
            out.write(bytes([65 + (d + f) % 26]) * rng.randint(200, 6000))
PY
  # 512-byte clusters: many clusters and a large FAT, the hard case for the FAT lookups.
  kib=$(du -sk "$tree" | cut -f1)
  kib=$((kib * 2 + 65536))
  mkfs.fat -F 32 -s 1 -n BENCH32 -C "$img.part" "$kib" >/dev/null
  mcopy -s -i "$img.part" "$tree"/* ::/
  # Names are given one by one: an mtools pattern would match the short names (DOCUME~4.TXT) too.
  python3 - "$dirs" "$files" <<'PY' > "$work/deletions"
import sys
dirs, files = int(sys.argv[1]), int(sys.argv[2])
for d in range(1, dirs + 1):
    if d % 10:
        for f in range(2, files + 1, 2):
            print("::/Group %03d/Folder %05d/Document %05d.txt" % ((d - 1) // 100 + 1, d, f))
PY
  tr '\n' '\0' < "$work/deletions" | xargs -0 mdel -i "$img.part"
  d=10
  while [ $d -le "$dirs" ]; do
    mdeltree -i "$img.part" "$(printf '::/Group %03d/Folder %05d' $(((d - 1) / 100 + 1)) $d)"
    d=$((d + 10))
  done
  mv "$img.part" "$img"
  rm -rf "$tree"
fi

ls -l "$img"
for run in cold warm; do
  /usr/bin/time -v "$cli" scan --tsv "$img" > "$work/scan.tsv" 2> "$work/time.txt" || { cat "$work/time.txt"; exit 1; }
  rows=$(($(wc -l < "$work/scan.tsv") - 1))
  elapsed=$(grep 'Elapsed (wall clock)' "$work/time.txt" | sed 's/.*: //')
  user=$(grep 'User time' "$work/time.txt" | sed 's/.*: //')
  sys=$(grep 'System time' "$work/time.txt" | sed 's/.*: //')
  rss=$(grep 'Maximum resident' "$work/time.txt" | sed 's/.*: //')
  echo "$run: $rows deleted files listed; wall $elapsed, user ${user}s, system ${sys}s, peak RSS ${rss} KiB"
done
# The yardstick: reading the whole image once, in 4 MiB blocks, bypassing the page cache where
# the file system allows it (the scan's reader does).
if dd if="$img" of=/dev/null bs=4M iflag=direct count=1 2>/dev/null; then flag=iflag=direct; else flag=; fi
/usr/bin/time -v dd if="$img" of=/dev/null bs=4M $flag 2> "$work/time.txt" >/dev/null
echo "reading the image once: wall $(grep 'Elapsed (wall clock)' "$work/time.txt" | sed 's/.*: //')"
