#!/bin/sh
# Whole-volume recovery against its floor. Makes the images once (make_images.sh), then for each
# image and with and without --keep-folders: `dravelo-cli recover --all` and recover_floor writing
# the same files to the same disk, each followed by sync, page cache warm for the image. Reports
# wall, user and system time, peak memory, files/s, MB/s and the ratio, and checks that every
# recovered file equals the floor's copy (same paths with --keep-folders, the same folders and
# contents for FAT32 whose deleted short names lose their first character, the same contents
# without). Every run writes to a folder of its own and nothing is deleted until all runs are
# done: on ext4 a file created soon after a mass deletion costs a search past the inodes freed
# moments ago, which would charge the deletion of one run's output to the next run.
#   run_bench.sh DRAVELO_CLI RECOVER_FLOOR WORK_DIR [ntfs|fat32 ...]
set -eu
cli=$1
floor=$2
work=$3
shift 3
images=${*:-ntfs fat32}
here=$(cd "$(dirname "$0")" && pwd)
sh "$here/make_images.sh" "$work" >/dev/null
runs=$work/runs
if [ -d "$runs" ]; then
  rm -rf "$runs"
  sync
  # Let the inodes freed above age past ext4's "recently deleted" window before timing anything.
  sleep $(( $(cat /proc/sys/vm/dirty_expire_centisecs 2>/dev/null || echo 3000) / 100 + 5 ))
fi
mkdir -p "$runs"

field() { grep -E "$1" "$2" | sed 's/.*: //'; }
seconds() {  # h:mm:ss or m:ss.cc to seconds
  echo "$1" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'
}
contents() { (cd "$1" && find . -type f -print0 | xargs -0 md5sum | cut -c1-32 | sort | md5sum | cut -c1-32); }
# Each file's folder and contents, without its name: a deleted FAT entry keeps no first character
# of its short name, so FAT files come back as "_ain.css" where the floor writes "main.css".
placed() {
  (cd "$1" && find . -type f -print0 | xargs -0 md5sum |
     awk '{ p = substr($0, 35); sub(/[^\/]*$/, "", p); print p, substr($0, 1, 32) }' | sort | md5sum | cut -c1-32)
}

for image in $images; do
  img=$work/$image.img
  manifest=$work/$image.manifest
  files=$(wc -l < "$manifest")
  mb=$(awk -F'\t' '{ s += $2 } END { printf "%.1f", s / 1e6 }' "$manifest")
  cat "$img" > /dev/null
  for mode in flat keep; do
    opt=
    [ "$mode" = keep ] && opt=--keep-folders
    out=$runs/$image-$mode-recovered
    ref=$runs/$image-$mode-floor
    sync
    /usr/bin/time -v sh -c "\"$cli\" recover --all $opt --to \"$out\" \"$img\" > \"$work/recover.log\" 2>/dev/null; sync" \
      2> "$work/recover_time.txt" || true
    /usr/bin/time -v sh -c "\"$floor\" \"$work/blocks.bin\" \"$manifest\" \"$ref\" $opt > /dev/null; sync" \
      2> "$work/floor_time.txt"
    rw=$(seconds "$(field 'Elapsed \(wall' "$work/recover_time.txt")")
    fw=$(seconds "$(field 'Elapsed \(wall' "$work/floor_time.txt")")
    rcpu=$(awk -v u="$(field 'User time' "$work/recover_time.txt")" -v s="$(field 'System time' "$work/recover_time.txt")" 'BEGIN { print u + s }')
    fcpu=$(awk -v u="$(field 'User time' "$work/floor_time.txt")" -v s="$(field 'System time' "$work/floor_time.txt")" 'BEGIN { print u + s }')
    recovered=$(grep -c '^recovered ' "$work/recover.log" || true)
    if [ "$mode" = keep ] && [ "$image" = fat32 ]; then
      [ "$(placed "$out")" = "$(placed "$ref")" ] && differ=0 || differ=placement
    elif [ "$mode" = keep ]; then
      differ=$(diff -rq "$ref" "$out" | grep -vc '^Only in '"$out" || true)
    else
      [ "$(contents "$out")" = "$(contents "$ref")" ] && differ=0 || differ=contents
    fi
    awk -v img="$image" -v mode="$mode" -v n="$files" -v mb="$mb" -v rw="$rw" -v fw="$fw" -v rc="$rcpu" -v fc="$fcpu" \
        -v rss="$(field 'Maximum resident' "$work/recover_time.txt")" -v got="$recovered" -v d="$differ" 'BEGIN {
      printf "%-5s %-4s %d files %s MB | recover %.1f s wall (%.0f files/s, %.0f MB/s), %.1f s CPU, peak %d KiB, %d recovered |", img, mode, n, mb, rw, n / rw, mb / rw, rc, rss, got
      printf " floor %.1f s wall, %.1f s CPU | ratio wall %.2f, CPU %.2f | differing %s\n", fw, fc, rw / fw, rc / fc, d
    }'
  done
done
rm -rf "$runs"
