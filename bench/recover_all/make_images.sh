#!/bin/sh
# Makes (once) the images of the whole-volume recovery benchmark in WORK_DIR:
#   ntfs.img  NTFS_FILES files in NTFS_FOLDERS folders written through an ntfs-3g mount, 45% of them
#             deleted, and 3 files of 100-300 MB; ntfs.manifest lists the deleted files.
#   fat32.img FAT_FILES files written with mcopy and about half deleted with mdel; fat32.manifest.
# blocks.bin holds the bytes that every file is a slice of. Needs root (FUSE), ntfs-3g, mkntfs,
# mkfs.fat and mtools. Nothing here is ever committed.
#   make_images.sh WORK_DIR [NTFS_FILES NTFS_FOLDERS FAT_FILES FAT_FOLDERS]
set -eu
work=$1
ntfs_files=${2:-260000}
ntfs_folders=${3:-16000}
fat_files=${4:-110000}
fat_folders=${5:-5500}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

if [ ! -f "$work/ntfs.img" ]; then
  rm -f "$work/ntfs.img.part"
  truncate -s 8G "$work/ntfs.img.part"
  mkntfs -F -Q -q -c 4096 -s 512 -L BENCH "$work/ntfs.img.part"
  mnt=$(mktemp -d)
  ntfs-3g -o big_writes "$work/ntfs.img.part" "$mnt"
  trap 'umount "$mnt" 2>/dev/null; rmdir "$mnt"' EXIT
  python3 "$here/make_tree.py" "$mnt" "$ntfs_files" "$ntfs_folders" "$work/blocks.bin" "$work/ntfs.manifest" \
    --delete --big 3
  umount "$mnt"
  rmdir "$mnt"
  trap - EXIT
  mv "$work/ntfs.img.part" "$work/ntfs.img"
fi

if [ ! -f "$work/fat32.img" ]; then
  tree="$work/fat_tree"
  rm -rf "$tree" "$work/fat32.img.part"
  mkdir -p "$tree"
  python3 "$here/make_tree.py" "$tree" "$fat_files" "$fat_folders" "$work/blocks.bin" "$work/fat32.manifest"
  kib=$(du -sk "$tree" | cut -f1)
  mkfs.fat -F 32 -s 8 -n BENCH32 -C "$work/fat32.img.part" $((kib * 3 / 2 + 65536)) >/dev/null
  mcopy -s -i "$work/fat32.img.part" "$tree"/* ::/
  # Names one by one: a pattern would match the short names too.
  cut -f3 "$work/fat32.manifest" | sed 's|^|::/|' | tr '\n' '\0' | xargs -0 mdel -i "$work/fat32.img.part"
  mv "$work/fat32.img.part" "$work/fat32.img"
  rm -rf "$tree"
fi
ls -l "$work"
