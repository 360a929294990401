#!/bin/sh
# The NTFS scan benchmark. Builds (once, cached) a large NTFS image with mkntfs and an ntfs-3g
# FUSE mount, then times `dravelo-cli scan --tsv` on it with its peak memory, beside the time to
# read the $MFT bytes alone (ntfs_mft_read) through the same reader.
#
#   bench/ntfs_scan/run_bench.sh BUILD_DIR [FILES [FOLDERS]]
#
# BUILD_DIR must have been configured with -DDRAVELO_BUILD_BENCH=ON (targets dravelo-cli and
# ntfs_mft_read). Needs root (or FUSE rights) for the mount. The image is kept under
# BUILD_DIR/bench-ntfs/ and never committed.
set -eu
build=$(cd "$1" && pwd)
files=${2:-200000}
folders=${3:-2000}
here=$(cd "$(dirname "$0")" && pwd)
work="$build/bench-ntfs"
image="$work/ntfs_${files}_${folders}.img"
mkdir -p "$work"

cmake --build "$build" --target dravelo-cli ntfs_mft_read -j2 >/dev/null

if [ ! -f "$image" ]; then
  echo "building $image ($files files in $folders folders)"
  rm -f "$image.part"
  # 1 KiB per record plus data: a quarter of a GiB per 100000 files leaves room to spare.
  size_mb=$(( (files / 100000 + 1) * 512 + 256 ))
  truncate -s "${size_mb}M" "$image.part"
  mkntfs -F -Q -q -c 4096 -s 512 -L BENCH "$image.part"
  mnt=$(mktemp -d)
  ntfs-3g -o big_writes "$image.part" "$mnt"
  trap 'umount "$mnt" 2>/dev/null; rmdir "$mnt"' EXIT
  python3 "$here/make_image.py" "$mnt" "$files" "$folders"
  umount "$mnt"
  rmdir "$mnt"
  trap - EXIT
  mv "$image.part" "$image"
fi

echo "image: $image ($(du -h --apparent-size "$image" | cut -f1))"
# Warm the page cache so that both runs read from memory, then run each twice, reporting the last.
cat "$image" >/dev/null
for pass in 1 2; do
  "$build/bench/ntfs_scan/ntfs_mft_read" "$image" > "$work/mft_read.txt"
  "$build/bench/ntfs_scan/ntfs_mft_read" --scan "$image" > "$work/scan_only.txt"
  /usr/bin/time -v "$build/src/cli/dravelo-cli" scan --tsv "$image" > "$work/scan.tsv" 2> "$work/scan_time.txt"
done
echo "MFT read alone:  $(cat "$work/mft_read.txt")"
echo "engine scan:     $(cat "$work/scan_only.txt")"
echo "scan --tsv:      $(grep -E 'Elapsed \(wall' "$work/scan_time.txt" | sed 's/.*: //') wall," \
     "$(grep -E 'User time' "$work/scan_time.txt" | sed 's/.*: //') s user," \
     "$(grep -E 'System time' "$work/scan_time.txt" | sed 's/.*: //') s system," \
     "peak $(grep -E 'Maximum resident' "$work/scan_time.txt" | sed 's/.*: //') KiB"
echo "entries listed:  $(( $(wc -l < "$work/scan.tsv") - 1 ))"
