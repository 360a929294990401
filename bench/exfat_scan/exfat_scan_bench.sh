#!/bin/sh
# Times `dravelo-cli scan --tsv` on a camera-like exFAT image against reading the whole image
# once (dd to /dev/null), both with the image in the page cache and, where the caches can be
# dropped, cold. The image holds DIRS folders DCIM/100MEDIA, DCIM/101MEDIA, ... of FILES photos
# each (256 KiB: a little text and zeros), 32 KiB clusters; every third photo is deleted and
# every fifth folder removed whole. It is made once with mkfs.exfat and exfat-fuse (root, a loop
# device and /dev/fuse) and kept in WORK_DIR (never committed); peak memory comes from
# /usr/bin/time -v.
# Usage: exfat_scan_bench.sh DRAVELO_CLI WORK_DIR [DIRS] [FILES]
set -eu
cli=$1
work=$2
dirs=${3:-20}
files=${4:-250}
mkdir -p "$work"
img="$work/exfat_bench_${dirs}x${files}.img"
mnt="$work/mnt"
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then fusermount -u "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; fi
}
trap cleanup EXIT

mount_image() {
  mkdir -p "$mnt"
  loop=$(losetup -f --show "$1")
  mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1
}
unmount_image() {
  sync
  fusermount -u "$mnt"
  while pgrep -f "mount.exfat-fuse $loop" >/dev/null; do sleep 0.2; done
  losetup -d "$loop"
  loop=""
}

if [ ! -f "$img" ]; then
  tree="$work/tree"
  rm -rf "$tree" "$img.part"
  python3 - "$tree" "$dirs" "$files" <<'PY'
import os, sys
root, dirs, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for d in range(dirs):
    folder = os.path.join(root, "DCIM", "%03dMEDIA" % (100 + d))
    os.makedirs(folder)
    for f in range(1, files + 1):
        name = "IMG_%04d.JPG" % (d * files + f)
        with open(os.path.join(folder, name), "wb") as out:
            head = (name + "|").encode() * 400
            out.write(head + bytes(256 * 1024 - len(head)))
PY
  mib=$(( $(du -sm "$tree" | cut -f1) * 5 / 4 + 64 ))
  truncate -s "${mib}M" "$img.part"
  mkfs.exfat -c 32K -L BENCH "$img.part" >/dev/null
  mount_image "$img.part"
  cp -r "$tree/DCIM" "$mnt/"
  unmount_image
  mount_image "$img.part"
  python3 - "$mnt" "$dirs" "$files" <<'PY'
import os, shutil, sys
mnt, dirs, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for d in range(dirs):
    folder = os.path.join(mnt, "DCIM", "%03dMEDIA" % (100 + d))
    if d % 5 == 4:
        shutil.rmtree(folder)
        continue
    for f in range(3, files + 1, 3):
        os.remove(os.path.join(folder, "IMG_%04d.JPG" % (d * files + f)))
PY
  unmount_image
  mv "$img.part" "$img"
  rm -rf "$tree"
fi

ls -l "$img"
can_drop=0
if [ -w /proc/sys/vm/drop_caches ]; then can_drop=1; fi
for run in cold warm; do
  if [ $run = cold ]; then
    [ $can_drop = 1 ] || { echo "cold: skipped (the page cache cannot be dropped here)"; continue; }
    sync; echo 3 > /proc/sys/vm/drop_caches
  fi
  /usr/bin/time -v "$cli" scan --tsv "$img" > "$work/scan.tsv" 2> "$work/time.txt" || { cat "$work/time.txt"; exit 1; }
  rows=$(($(wc -l < "$work/scan.tsv") - 1))
  elapsed=$(grep 'Elapsed (wall clock)' "$work/time.txt" | sed 's/.*: //')
  rss=$(grep 'Maximum resident' "$work/time.txt" | sed 's/.*: //')
  [ $run = cold ] && { sync; echo 3 > /proc/sys/vm/drop_caches; }
  /usr/bin/time -f %e -o "$work/read.txt" dd if="$img" of=/dev/null bs=4M 2>/dev/null
  read_once=$(cat "$work/read.txt")
  echo "$run: scan listed $rows deleted files in $elapsed (peak RSS ${rss} KiB); reading the image once took ${read_once}s"
done
