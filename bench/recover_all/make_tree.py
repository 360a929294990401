#!/usr/bin/env python3
"""Writes the files of the whole-volume recovery benchmark into ROOT (a mounted volume or a plain
folder) and names those to delete.

  make_tree.py ROOT FILES FOLDERS BLOCK_FILE MANIFEST [--delete] [--big N]

Folders are made deep and wide (a random parent at depth up to 12); many folders hold the same
few names (index.js, package.json, README.md, ...). Sizes run from a few bytes to hundreds of MB
(--big N files of 100-300 MB). Contents are slices of BLOCK_FILE (16 MiB of random bytes, made here
when missing), so that the floor program can write the very same bytes without the volume.
Every file to delete goes to MANIFEST as "offset<TAB>size<TAB>relative path"; with --delete the
files are deleted here (and a few whole folders with them), else the caller deletes them from
the manifest's paths.
"""
import os
import random
import sys

root, files, folders, block_file, manifest = sys.argv[1:6]
files, folders = int(files), int(folders)
delete_here = "--delete" in sys.argv
big = int(sys.argv[sys.argv.index("--big") + 1]) if "--big" in sys.argv else 0
BLOCK = 16 << 20
rng = random.Random(12)
if not os.path.exists(block_file):
    with open(block_file, "wb") as f:
        f.write(random.Random(5).randbytes(BLOCK))
block = open(block_file, "rb").read()
assert len(block) == BLOCK

folder_pool = ["node_modules", "lib", "src", "dist", "test", "docs", "assets", "build", "images", "Mes documents"]
name_pool = ["index.js", "package.json", "README.md", "LICENSE", "index.d.ts", "main.css", "util.js", "logo.png",
             "Thumbs.db", "Übersicht 2021.xlsx"]

dirs = [""]          # relative paths, "" is the root
depth = [0]
children = [set()]
subdirs = [0]
for i in range(folders):
    while True:
        p = rng.randrange(len(dirs)) if rng.random() < 0.7 else rng.randrange(max(1, len(dirs) - 50), len(dirs))
        if depth[p] < 12:
            break
    name = rng.choice(folder_pool)
    if name in children[p]:
        name = "d%05d" % i
    children[p].add(name)
    rel = os.path.join(dirs[p], name) if dirs[p] else name
    os.makedirs(os.path.join(root, rel))
    dirs.append(rel)
    depth.append(depth[p] + 1)
    children.append(set())
    subdirs.append(0)
    subdirs[p] += 1


def size_of():
    r = rng.random()
    if r < 0.78:
        return rng.randint(1, 4096)
    if r < 0.99:
        return rng.randint(4097, 48 << 10)
    return rng.randint(48 << 10, 1536 << 10)


def write(path, offset, size):
    with open(path, "wb") as f:
        done = 0
        while done < size:
            at = (offset + done) % BLOCK
            n = min(size - done, BLOCK - at)
            f.write(block[at:at + n])
            done += n


made = []  # (offset, size, rel)
for i in range(files + big):
    d = rng.randrange(len(dirs))
    name = rng.choice(name_pool) if rng.random() < 0.35 else "file_%06d%s" % (i, rng.choice([".dat", ".txt", ".jpg", ""]))
    if name in children[d]:
        name = "file_%06d.bin" % i
    children[d].add(name)
    size = rng.randint(100 << 20, 300 << 20) if i >= files else size_of()
    offset = rng.randrange(BLOCK)
    rel = os.path.join(dirs[d], name) if dirs[d] else name
    write(os.path.join(root, rel), offset, size)
    made.append((offset, size, rel, d))
    if i and i % 20000 == 0:
        print("  %d files" % i, flush=True)

# Whole leaf folders go (with their files), and 45% of the other files, the big ones every other.
gone_dirs = set(d for d in range(1, len(dirs)) if subdirs[d] == 0 and rng.random() < 0.04)
deleted = []
for k, (offset, size, rel, d) in enumerate(made):
    if d in gone_dirs or (rng.random() < 0.45 if k < files else k % 2 == 0):
        deleted.append((offset, size, rel))
with open(manifest, "w", encoding="utf-8") as m:
    for offset, size, rel in deleted:
        m.write("%d\t%d\t%s\n" % (offset, size, rel))
if delete_here:
    for offset, size, rel in deleted:
        os.remove(os.path.join(root, rel))
    for d in sorted(gone_dirs, key=lambda d: -depth[d]):
        os.rmdir(os.path.join(root, dirs[d]))
print("  %d files in %d folders, %d deleted (%d folders gone), %.1f MB deleted" %
      (len(made), len(dirs), len(deleted), len(gone_dirs), sum(s for _, s, _ in deleted) / 1e6), flush=True)
