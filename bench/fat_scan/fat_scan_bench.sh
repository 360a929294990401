#!/bin/sh
# Times `dravelo-cli scan --tsv` (the quick scan) and `scan --deep --tsv` on a large FAT32 image
# made by mkfs.fat and mtools: DIRS folders (in groups of 100) of FILES files each (long names, 200
# to 6000 bytes), of which every file with an even number is deleted, and every tenth folder
# removed whole with mdeltree. The image is made once and kept in WORK_DIR (never committed); peak
# memory comes from /usr/bin/time -v. Then the time of reading the image once (cat, page cache
# warm), which the scans are measured against, and, with FAT_SCAN_READ (the fat_scan_read
# program), the bytes that each scan reads of the image.
#
# The quick scan reads the FAT and the folders only: a small share of the image. The deep scan
# also searches every free cluster for lost folders; from a warm cache that is a copy in memory
# of most of the image, so it costs more than one read of it. With DEVICE_MBPS=N (root only), the
# image is also read as a device at N MB/s, as a card or a disk is met: a read-only loop device
# (direct I/O, so nothing comes from the image file's cache) in a control group that limits its
# reads, page cache dropped before each run.
# Usage: [DEVICE_MBPS=N] fat_scan_bench.sh DRAVELO_CLI WORK_DIR [DIRS] [FILES] [FAT_SCAN_READ]
set -eu
cli=$1
work=$2
dirs=${3:-200}
files=${4:-200}
scan_read=${5:-}
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
# Wall seconds of the last run(): the best of three warm runs is what the ratio below uses.
now() { date +%s.%N; }
# calc EXPRESSION: awk's arithmetic, printed with three decimals (or 1/0 for a comparison).
calc() { awk "BEGIN { v = $1; if (v == int(v)) print v; else printf \"%.3f\\n\", v }"; }
best=
# run LABEL [--deep]: one scan, its rows, times and peak memory.
run() {
  label=$1
  shift
  start=$(now)
  /usr/bin/time -v "$cli" scan --tsv "$@" "$img" > "$work/scan.tsv" 2> "$work/time.txt" || { cat "$work/time.txt"; exit 1; }
  wall=$(calc "$(now) - $start")
  rows=$(($(wc -l < "$work/scan.tsv") - 1))
  user=$(grep 'User time' "$work/time.txt" | sed 's/.*: //')
  sys=$(grep 'System time' "$work/time.txt" | sed 's/.*: //')
  rss=$(grep 'Maximum resident' "$work/time.txt" | sed 's/.*: //')
  echo "$label: $rows deleted files listed; wall ${wall}s, user ${user}s, system ${sys}s, peak RSS ${rss} KiB"
}
cat "$img" > /dev/null
run "quick scan, warm"
quick=$wall
for again in 2 3; do
  run "quick scan, warm"
  if [ "$(calc "$wall < $quick")" = 1 ]; then quick=$wall; fi
done
run "deep scan (--deep), warm" --deep
# The yardsticks: reading the whole image once from the page cache (the scans above ran warm),
# and past it, in 4 MiB blocks, where the file system allows direct reads.
cat "$img" > /dev/null
reading=
for again in 1 2 3; do
  start=$(now)
  cat "$img" > /dev/null
  wall=$(calc "$(now) - $start")
  if [ -z "$reading" ] || [ "$(calc "$wall < $reading")" = 1 ]; then reading=$wall; fi
done
echo "reading the image once from the page cache (cat): wall ${reading}s (best of 3)"
echo "quick scan / cat: $(calc "$quick / $reading") (best of 3 each)"
if [ -n "$scan_read" ]; then
  "$scan_read" "$img"
  "$scan_read" --deep "$img"
fi
if dd if="$img" of=/dev/null bs=4M iflag=direct count=1 2>/dev/null; then
  /usr/bin/time -v dd if="$img" of=/dev/null bs=4M iflag=direct 2> "$work/time.txt" >/dev/null
  echo "reading the image once past the page cache (dd iflag=direct): wall $(grep 'Elapsed (wall clock)' "$work/time.txt" | sed 's/.*: //')"
fi

[ -n "${DEVICE_MBPS:-}" ] || exit 0
# The image as a device that reads at DEVICE_MBPS MB/s. The control group is cgroup v2's io
# controller where it is enabled, else v1's blkio.
loop=$(losetup -f --show -r --direct-io=on "$img")
group=
cleanup() {
  [ -n "$group" ] && rmdir "$group" 2>/dev/null
  losetup -d "$loop"
}
trap cleanup EXIT
majmin=$(printf '%d:%d' "0x$(stat -c %t "$loop")" "0x$(stat -c %T "$loop")")
bps=$((DEVICE_MBPS * 1000000))
if grep -qw io /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
  echo +io > /sys/fs/cgroup/cgroup.subtree_control 2>/dev/null || true
  group=/sys/fs/cgroup/dravelo-bench.$$
  mkdir "$group"
  echo "$majmin rbps=$bps" > "$group/io.max"
elif [ -d /sys/fs/cgroup/blkio ]; then
  group=/sys/fs/cgroup/blkio/dravelo-bench.$$
  mkdir "$group"
  echo "$majmin $bps" > "$group/blkio.throttle.read_bps_device"
else
  echo "no control group to limit reads with"
  exit 1
fi
# Runs COMMAND... in the group with the page cache dropped; prints its wall time.
limited() {
  sh -c 'echo $$ > "$1/cgroup.procs"; sync; echo 3 > /proc/sys/vm/drop_caches; shift; exec /usr/bin/time -f %e "$@"' \
    sh "$group" "$@" 2>&1 >/dev/null | tail -n 1
}
for run in 1 2 3; do
  echo "device at $DEVICE_MBPS MB/s, run $run: scan $(limited "$cli" scan --tsv "$loop") s," \
    "reading the device once (cat) $(limited cat "$loop") s"
done
