#!/usr/bin/env bash
# Makes the seed inputs of fuzz_fat_walk in corpus/: small FAT12 and FAT16 volumes (mkfs.fat,
# mtools) with nested folders, long names and deleted files and folders, cut after their last
# byte that is not zero (the target pads them back).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1

fill() {
  local img="$1"
  printf 'hello\n' > "$work/a.txt"
  head -c 3000 /dev/urandom > "$work/b.bin"
  head -c 700 /dev/zero | tr '\0' 'x' > "$work/c.txt"
  mmd -i "$img" ::/Folder ::/Folder/Inner ::/Gone
  mcopy -i "$img" "$work/a.txt" "::/Short.txt"
  mcopy -i "$img" "$work/b.bin" "::/Folder/A rather long file name.bin"
  mcopy -i "$img" "$work/c.txt" "::/Folder/Inner/deep.txt"
  mcopy -i "$img" "$work/b.bin" "::/Gone/inside gone.bin"
  mcopy -i "$img" "$work/c.txt" "::/Gone/second.txt"
  mdel -i "$img" "::/Folder/A rather long file name.bin" "::/Short.txt"
  mdel -i "$img" "::/Gone/inside gone.bin" "::/Gone/second.txt"
  mrd -i "$img" ::/Gone
}

trim() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], "rb").read().rstrip(b"\0")
open(sys.argv[2], "wb").write(data)
PY
}

mkdir -p "$here/corpus"
mkfs.fat -C -F 12 -s 1 -S 512 -r 32 "$work/fat12.img" 256 >/dev/null
fill "$work/fat12.img"
trim "$work/fat12.img" "$here/corpus/fat12"
mkfs.fat -C -F 16 -s 1 -S 512 -r 64 "$work/fat16.img" 2200 >/dev/null
fill "$work/fat16.img"
trim "$work/fat16.img" "$here/corpus/fat16"
