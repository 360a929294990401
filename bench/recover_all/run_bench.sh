#!/bin/sh
# Whole-volume recovery against its floor. Makes the images once (make_images.sh), then for each
# image and with and without --keep-folders: `dravelo-cli recover --all` and recover_floor writing
# the same files to the same disk, each followed by sync, page cache warm for the image. Reports
# wall, user and system time, peak memory, files/s, MB/s and the ratio, and checks that every
# recovered file equals the floor's copy (same paths with --keep-folders, the same folders and
# contents for FAT32 whose deleted short names lose their first character, the same contents
# without). Every run writes to a folder of its own and nothing is deleted until all runs are
# done: on ext4 without a journal a new file's inode is searched for past every inode freed in the
# last minute (five minutes while their inode table is unwritten), which would charge one run's
# deletion to the next run, up to ten times the floor's own time. The output is removed, written
# back and left to age a minute before the first run and after the last one, so that runs of this
# script one after another are timed alike.
# RUNS_DIR puts the output elsewhere, such as on a tmpfs (/dev/shm), where the target's own cost
# is the least and the same from run to run, so that what is left is the recovery's.
# On a shared or virtual machine one run of either side can take several times its usual time,
# so each pair runs REPEAT times (3 unless set), recovery and floor taking turns, and the best
# time of each side is compared; the line gives the spread of both as well.
#   [RUNS_DIR=DIR] [REPEAT=N] run_bench.sh DRAVELO_CLI RECOVER_FLOOR WORK_DIR [ntfs|fat32 ...]
set -eu
cli=$1
floor=$2
work=$3
shift 3
images=${*:-ntfs fat32}
here=$(cd "$(dirname "$0")" && pwd)
sh "$here/make_images.sh" "$work" >/dev/null
runs=${RUNS_DIR:-$work}/runs
tmpfs=false
[ "$(stat -f -c %T "${RUNS_DIR:-$work}")" = tmpfs ] && tmpfs=true
# Removes the runs' output and lets the freed inodes age past ext4's "recently deleted" window.
clear_runs() {
  [ -d "$runs" ] || return 0
  rm -rf "$runs"
  sync
  $tmpfs || sleep 65
}
clear_runs
mkdir -p "$runs"

field() { grep -E "$1" "$2" | sed 's/.*: //'; }
seconds() {  # h:mm:ss or m:ss.cc to seconds
  echo "$1" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
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
    best_rw= best_fw= best_rc= best_fc= rss=0 walls= floors=
    for round in $(seq 1 "${REPEAT:-3}"); do
      out=$runs/$image-$mode-$round-recovered
      ref=$runs/$image-$mode-$round-floor
      sync
      /usr/bin/time -v sh -c "\"$cli\" recover --all $opt --to \"$out\" \"$img\" > \"$work/recover.log\" 2>/dev/null; sync" \
        2> "$work/recover_time.txt" || true
      /usr/bin/time -v sh -c "\"$floor\" \"$work/blocks.bin\" \"$manifest\" \"$ref\" $opt > /dev/null; sync" \
        2> "$work/floor_time.txt"
      rw=$(seconds "$(field 'Elapsed \(wall' "$work/recover_time.txt")")
      fw=$(seconds "$(field 'Elapsed \(wall' "$work/floor_time.txt")")
      rc=$(awk -v u="$(field 'User time' "$work/recover_time.txt")" -v s="$(field 'System time' "$work/recover_time.txt")" 'BEGIN { print u + s }')
      fc=$(awk -v u="$(field 'User time' "$work/floor_time.txt")" -v s="$(field 'System time' "$work/floor_time.txt")" 'BEGIN { print u + s }')
      walls="$walls $rw" floors="$floors $fw"
      best_rw=$(min "$best_rw" "$rw") best_fw=$(min "$best_fw" "$fw") best_rc=$(min "$best_rc" "$rc") best_fc=$(min "$best_fc" "$fc")
      r=$(field 'Maximum resident' "$work/recover_time.txt")
      [ "$r" -gt "$rss" ] && rss=$r
      recovered=$(grep -c '^recovered ' "$work/recover.log" || true)
      if [ "$mode" = keep ] && [ "$image" = fat32 ]; then
        [ "$(placed "$out")" = "$(placed "$ref")" ] && differ=0 || differ=placement
      elif [ "$mode" = keep ]; then
        differ=$(diff -rq "$ref" "$out" | grep -vc '^Only in '"$out" || true)
      else
        [ "$(contents "$out")" = "$(contents "$ref")" ] && differ=0 || differ=contents
      fi
      # A tmpfs holds its files in memory, where they would crowd the images out of the page cache.
      $tmpfs && rm -rf "$out" "$ref"
      [ "$differ" = 0 ] || break
    done
    awk -v img="$image" -v mode="$mode" -v n="$files" -v mb="$mb" -v rw="$best_rw" -v fw="$best_fw" -v rc="$best_rc" \
        -v fc="$best_fc" -v rss="$rss" -v got="$recovered" -v d="$differ" -v walls="$walls" -v floors="$floors" 'BEGIN {
      printf "%-5s %-4s %d files %s MB | recover %.1f s wall (%.0f files/s, %.0f MB/s), %.1f s CPU, peak %d KiB, %d recovered |", img, mode, n, mb, rw, n / rw, mb / rw, rc, rss, got
      printf " floor %.1f s wall, %.1f s CPU | ratio wall %.2f, CPU %.2f | differing %s | runs (s):%s, floor:%s\n", fw, fc, rw / fw, rc / fc, d, walls, floors
    }'
  done
done
clear_runs
