#!/bin/sh
# Times dravelo-cli recover of one large deleted file on an NTFS image against a plain
# sequential read of the same bytes (dd over the file's runs). The image is made once (mkntfs,
# then an ntfs-3g mount to write and delete the file) and kept in WORK_DIR, under the build
# folder; it is never part of the sources.
#
#   recover_bench.sh DRAVELO_CLI WORK_DIR [SIZE_MIB]
# Needs root (FUSE mount, dropping the page cache), ntfs-3g and The Sleuth Kit (istat, ifind).
set -eu

cli=$1
work=$2
size_mib=${3:-400}
image=$work/large_file_ntfs.img
mnt=$work/mnt
out=$work/out
mkdir -p "$work"

if [ ! -f "$image" ] || [ "$(cat "$image.size" 2>/dev/null)" != "$size_mib" ]; then
  rm -f "$image" "$image".*
  # Room for the file, the MFT and the log.
  truncate -s $(( (size_mib + 64) * 1048576 )) "$image"
  mkntfs -F -Q -q -c 4096 -L BENCH "$image" 2>/dev/null
  mkdir -p "$mnt"
  ntfs-3g "$image" "$mnt"
  # One write of the whole file on an empty volume: one run, or two around the MFT zone.
  head -c $(( size_mib * 1048576 )) /dev/urandom > "$mnt/large.bin"
  sha256sum "$mnt/large.bin" | cut -d' ' -f1 > "$image.sha256"
  umount "$mnt"
  inode=$(ifind -n /large.bin "$image")
  istat -r "$image" "$inode" | awk '/Starting address:/ { gsub(",", ""); print $3, $5 }' > "$image.runs"
  ntfs-3g "$image" "$mnt"
  rm "$mnt/large.bin"
  umount "$mnt"
  echo "$size_mib" > "$image.size"
fi

now() { date +%s.%N; }
drop_caches() { sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true; }

# Each side runs three times, alternating; the best time of each counts, which keeps the
# write-back of an earlier run from being charged to the next.
best_recover=
best_dd=
for round in 1 2 3; do
  drop_caches
  rm -rf "$out"
  t0=$(now)
  "$cli" recover --to "$out" --match large.bin "$image" > "$work/recover.log"
  sync
  t1=$(now)

  drop_caches
  rm -f "$work/dd.out"
  t2=$(now)
  # The same clusters read in order and written to one file, as the recovery does.
  while read -r start length; do
    dd if="$image" bs=1M iflag=skip_bytes,count_bytes skip=$(( start * 4096 )) count=$(( length * 4096 )) status=none
  done < "$image.runs" > "$work/dd.out"
  sync
  t3=$(now)
  best_recover=$(awk -v a="$t1" -v b="$t0" -v best="$best_recover" 'BEGIN { t = a - b; print (best == "" || t < best) ? t : best }')
  best_dd=$(awk -v a="$t3" -v b="$t2" -v best="$best_dd" 'BEGIN { t = a - b; print (best == "" || t < best) ? t : best }')
done

cat "$work/recover.log"
recovered=$(sha256sum "$out/large.bin" | cut -d' ' -f1)
by_dd=$(head -c $(( size_mib * 1048576 )) "$work/dd.out" | sha256sum | cut -d' ' -f1)
rm -f "$work/dd.out"
if [ "$recovered" != "$(cat "$image.sha256")" ] || [ "$by_dd" != "$recovered" ]; then
  echo "the recovered file differs from what was written" >&2
  exit 1
fi
awk -v r="$best_recover" -v d="$best_dd" -v s="$size_mib" 'BEGIN {
  printf "runs: see %s\n", "'"$image.runs"'"
  printf "recover: %.2f s (%.0f MiB/s)\n", r, s / r
  printf "dd:      %.2f s (%.0f MiB/s)\n", d, s / d
  printf "ratio recover/dd: %.2f\n", r / d
}'
