#!/bin/sh
# Makes the exFAT sample volume exfat_16m.img, a 16 MiB memory card (label CARD, 4 KiB clusters,
# 512-byte sectors) formatted by mkfs.exfat (exfatprogs) and written and deleted through exfat-fuse
# under faketime, then writes beside it:
#   exfat_16m.img.xz        the volume
#   exfat_16m.img.json      the manifest: every deleted file with its folder, size, sha256 of what
#                           was written and `expect` (intact, or overwritten when a later file took
#                           its clusters), what must not be listed, and what The Sleuth Kit saw
#   exfat_16m.img.tsk.txt   `fls -r -d -p` of the volume
# What it holds: photos deleted from a live camera folder, documents deleted from a live folder,
# a deleted folder tree two levels deep, a deleted file with a non-ASCII name, a large deleted
# video, a zero-size deleted file (nothing to list), and a deleted scan whose clusters a later
# file took.
# Needs root, /dev/fuse and a loop device.
# Usage: make_exfat_sample.sh [OUTPUT_DIR]   (default: this script's folder)
set -eu
out_dir=$(cd "${1:-$(dirname "$0")}" && pwd)
name=exfat_16m
work=$(mktemp -d)
mnt="$work/mnt"
img="$work/$name.img"
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then fusermount -u "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"
export LC_ALL=C.UTF-8

# Repeatable contents: the file's name repeated up to its size.
make_file() { # path size
  python3 -c 'import sys; n=(sys.argv[1].split("/")[-1]+"|").encode(); s=int(sys.argv[2]); sys.stdout.buffer.write((n*(s//len(n)+1))[:s])' "$1" "$2"
}
sha() { sha256sum | cut -d' ' -f1; }

# The driver runs under faketime from the given moment on, so that the dates shown are the same
# kind a camera or a laptop leaves.
mount_image() { # start_time
  loop=$(losetup -f --show "$img")
  # The library without faketime's wrapper, which would wait for the daemon to end.
  LD_PRELOAD=$(dpkg -L libfaketime | grep '/libfaketimeMT.so.1$') FAKETIME="@$1" \
    mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1
}
unmount_image() {
  sync
  fusermount -u "$mnt"
  # The driver writes its last metadata while it ends; wait for it before the loop goes.
  while pgrep -f "mount.exfat-fuse $loop" >/dev/null; do sleep 0.2; done
  losetup -d "$loop"
  loop=""
}

# What is deleted, one line each: path, size, expect, the reason when not intact.
deleted="$work/deleted.tsv"
: > "$deleted"
note() { # path size expect [why]
  printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$(make_file "$1" "$2" | sha)" "$3" "${4:-}" >> "$deleted"
}
put() { # path size
  make_file "$1" "$2" > "$mnt/$1"
}

truncate -s 16M "$img"
mkfs.exfat -c 4096 -L CARD "$img" >/dev/null

mount_image "2023-05-20 10:00:00"
m=$mnt
# Old scan.pdf first, so that its clusters are the first that come free again.
put "Old scan.pdf" 40000
mkdir -p "$m/DCIM/100CANON" "$m/Documents/Old/Archive" "$m/Scans"
for i in 1 2 3 4 5 6; do
  put "DCIM/100CANON/IMG_000$i.JPG" $((18000 + 7000 * i))
done
put "Documents/Letter to the bank.docx" 12000
put "Documents/Budget 2026.xlsx" 30000
put "Documents/notes.txt" 900
put "Documents/Old/plan.txt" 5000
put "Documents/Old/Archive/summary.pdf" 20000
put "Café menu.txt" 1800
put "Holiday video.mp4" 150000
put "empty.txt" 0
unmount_image

mount_image "2023-06-02 18:30:00"
for i in 2 4 5; do
  note "DCIM/100CANON/IMG_000$i.JPG" $((18000 + 7000 * i)) intact
  rm "$m/DCIM/100CANON/IMG_000$i.JPG"
done
note "Documents/Letter to the bank.docx" 12000 intact
note "Documents/notes.txt" 900 intact
note "Documents/Old/plan.txt" 5000 intact
note "Documents/Old/Archive/summary.pdf" 20000 intact
note "Café menu.txt" 1800 intact
note "Holiday video.mp4" 150000 intact
rm "$m/Documents/Letter to the bank.docx" "$m/Documents/notes.txt" "$m/Café menu.txt" "$m/Holiday video.mp4" "$m/empty.txt"
rm -r "$m/Documents/Old"
note "Old scan.pdf" 40000 overwritten "all its clusters were taken by Scans/New scan.pdf"
rm "$m/Old scan.pdf"
unmount_image

# Mounted afresh, the driver looks for free clusters from the start of the heap, where Old
# scan.pdf's are: New scan.pdf, of the same size, takes all of them. It goes into Scans, not the
# root, whose deleted entry slots it would take.
mount_image "2023-06-03 09:15:00"
put "Scans/New scan.pdf" 40000
unmount_image

fls_exit=0
fls -r -d -p "$img" > "$work/fls.txt" || fls_exit=$?
{
  echo "# The Sleuth Kit cross-check for $name.img"
  echo "# fls -r -d -p (deleted entries), exit $fls_exit"
  cat "$work/fls.txt"
} > "$out_dir/$name.img.tsk.txt"
xz -9 -c "$img" > "$out_dir/$name.img.xz"

python3 - "$img" "$deleted" "$work/fls.txt" "$out_dir/$name.img.json" "$fls_exit" <<'PY'
import hashlib, json, lzma, os, re, struct, subprocess, sys

img, deleted_tsv, fls_txt, out, fls_exit = sys.argv[1:]
raw = open(img, "rb").read()
u32 = lambda at: struct.unpack_from("<I", raw, at)[0]
u64 = lambda at: struct.unpack_from("<Q", raw, at)[0]
bps, spc = 1 << raw[0x6C], 1 << raw[0x6D]

def version(cmd):
    r = subprocess.run(cmd, capture_output=True, text=True)
    return (r.stdout + r.stderr).strip().splitlines()[0]

tsk = {}
for line in open(fls_txt, encoding="utf-8"):
    m = re.match(r"(\S+) \* (\S+):\t(.*)$", line.rstrip("\n"))
    if m: tsk[m.group(3)] = (m.group(1), m.group(2))

files, tsk_seen = [], set()
for line in open(deleted_tsv, encoding="utf-8"):
    path, size, digest, expect, why = line.rstrip("\n").split("\t")
    folder, _, leaf = path.rpartition("/")
    e = {"name": leaf, "dir": folder.replace("/", "\\"), "size": int(size), "sha256": digest,
         "expect": expect, "listed_name": leaf, "listed_dir": folder.replace("/", "\\")}
    if why: e["note"] = why
    found = tsk.get(path)
    if found:
        tsk_seen.add(path)
        data = subprocess.run(["icat", img, found[1]], capture_output=True).stdout
        e["tsk"] = {"found": True, "inode": found[1], "path": path, "icat_size": len(data),
                    "icat_sha256_matches": hashlib.sha256(data).hexdigest() == digest}
    else:
        e["tsk"] = {"found": False}
    files.append(e)

must_not_list = [{"name": "empty.txt", "dir": "", "reason": "zero-size deleted file"},
                 {"name": "Budget 2026.xlsx", "dir": "Documents", "size": 30000, "reason": "live file"},
                 {"name": "New scan.pdf", "dir": "Scans", "size": 40000, "reason": "live file"}]
for i in (1, 3, 6):
    must_not_list.append({"name": "IMG_000%d.JPG" % i, "dir": "DCIM\\100CANON", "size": 18000 + 7000 * i,
                          "reason": "live file"})
folders = {p for p, (kind, _) in tsk.items() if kind.startswith("d/")}
extra = [{"inode": tsk[p][1], "path": p, "explanation": "deleted folder" if p in folders else
          ("in must_not_list: zero-size deleted file" if p == "empty.txt" else "not expected")}
         for p in sorted(set(tsk) - tsk_seen)]
manifest = {
    "format_version": 1,
    "set": "shared",
    "image": os.path.basename(img) + ".xz",
    "raw_image": os.path.basename(img),
    "raw_size": len(raw),
    "raw_sha256": hashlib.sha256(raw).hexdigest(),
    "fs": "exFAT",
    "geometry": {
        "bytes_per_sector": bps, "sectors_per_cluster": spc, "cluster_size": bps * spc,
        "volume_length_sectors": u64(0x48), "fat_offset_sectors": u32(0x50),
        "cluster_heap_offset_sectors": u32(0x58), "cluster_count": u32(0x5C),
        "root_cluster": u32(0x60),
    },
    "made_with": {
        "format": "mkfs.exfat -c 4096 -L CARD",
        "populate": "exfat-fuse mount under faketime (cp, mkdir, rm, rm -r)",
        "versions": {"mkfs.exfat": version(["mkfs.exfat", "-V"]),
                     "exfat-fuse": version(["mount.exfat-fuse", "-V"])},
    },
    "scenarios": [
        "deleted photos in a live camera folder",
        "deleted files in a live folder",
        "deleted folder tree 2 levels deep (rm -r)",
        "non-ASCII name",
        "large deleted file of 37 clusters",
        "zero-size deleted file (not listed)",
        "all clusters reused by a later file (overwritten)",
    ],
    "deleted": files,
    "must_not_list": must_not_list,
    "live_same_name": [],
    "deleted_folders": [{"name": "Old", "dir": "Documents"}, {"name": "Archive", "dir": "Documents\\Old"}],
    "tsk_extra_deleted": extra,
    "tsk_version": version(["fls", "-V"]),
    "counts": {"deleted": len(files), "intact": sum(e["expect"] == "intact" for e in files),
               "overwritten": sum(e["expect"] == "overwritten" for e in files), "partial": 0,
               "must_not_list": len(must_not_list)},
    "verified": {"decompresses_to_raw_sha256":
                 hashlib.sha256(lzma.open(out[:-len(".json")] + ".xz").read()).hexdigest() ==
                 hashlib.sha256(raw).hexdigest(), "fls_exit": int(fls_exit)},
}
with open(out, "w", encoding="utf-8") as f:
    json.dump(manifest, f, indent=1, ensure_ascii=False)
    f.write("\n")
PY
