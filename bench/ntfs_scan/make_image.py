#!/usr/bin/env python3
"""Populates a mounted NTFS volume for the scan benchmark: FILES files spread over FOLDERS
folders (two levels deep), one in five large enough to be non-resident, then deletes about half
of them (every other file) and a tenth of the folders with everything in them."""
import os
import shutil
import sys
import time

root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
top = max(1, int(folders ** 0.5))
dirs = []
for i in range(folders):
    d = os.path.join(root, "top%03d" % (i % top), "folder%05d" % i)
    os.makedirs(d, exist_ok=True)
    dirs.append(d)
small = b"x" * 120
large = b"y" * 6000  # non-resident: two clusters
start = time.time()
paths = []
for i in range(files):
    p = os.path.join(dirs[i % folders], "file %06d.dat" % i)
    with open(p, "wb") as f:
        f.write(large if i % 10 in (4, 7) else small)
    paths.append(p)
    if i and i % 20000 == 0:
        print("  %d files, %.0f s" % (i, time.time() - start), flush=True)
removed_dirs = set(dirs[::10])
for i, p in enumerate(paths):
    if i % 2 == 0 and os.path.dirname(p) not in removed_dirs:
        os.remove(p)
for d in removed_dirs:
    shutil.rmtree(d)
print("  populated in %.0f s" % (time.time() - start), flush=True)
