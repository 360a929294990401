#!/usr/bin/env python3
"""Turns volume images into fuzz_scan_recover inputs: the size, then every run of sectors that are
not all zeros (a run of one repeated byte as a fill). Usage: make_seeds.py IMAGE... OUTDIR
(.xz images are read through xz)."""
import lzma
import os
import struct
import sys

SECTOR = 512


def pieces(image):
    n = len(image) // SECTOR
    s = 0
    while s < n:
        sector = image[s * SECTOR:(s + 1) * SECTOR]
        if sector.count(0) == SECTOR:
            s += 1
            continue
        if sector.count(sector[0]) == SECTOR:
            e = s + 1
            while e < n and e - s < 0xFFFF and image[e * SECTOR:(e + 1) * SECTOR] == sector:
                e += 1
            yield struct.pack("<IHBB", s, e - s, 1, sector[0])
        else:
            e = s + 1
            while e < n and e - s < 0xFFFF:
                nxt = image[e * SECTOR:(e + 1) * SECTOR]
                if nxt.count(nxt[0]) == SECTOR:
                    break
                e += 1
            yield struct.pack("<IHB", s, e - s, 0) + image[s * SECTOR:e * SECTOR]
        s = e


def main():
    *images, out = sys.argv[1:]
    os.makedirs(out, exist_ok=True)
    for path in images:
        data = lzma.open(path).read() if path.endswith(".xz") else open(path, "rb").read()
        name = os.path.basename(path).removesuffix(".xz").removesuffix(".img")
        with open(os.path.join(out, name), "wb") as f:
            f.write(struct.pack("<I", len(data) // SECTOR))
            for p in pieces(data):
                f.write(p)


if __name__ == "__main__":
    main()
