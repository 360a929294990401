#!/usr/bin/env python3
"""Turns the sample manifests into one table of the files a recovery must produce.

Each line: image, expect, folder ("/" between names, empty for the root), the name the catalogue
lists (a recycle-bin file under its original name), size, sha256, stream ("" for the file's own
data, else the stream's name).
"""
import json
import sys


def main():
    out_path, manifests = sys.argv[1], sys.argv[2:]
    lines = []
    for path in manifests:
        with open(path, encoding="utf-8") as f:
            manifest = json.load(f)
        image = manifest["raw_image"]
        for e in manifest["deleted"]:
            folder = e["listed_dir"].replace("\\", "/")
            name = e.get("original_name") or e["listed_name"]
            lines.append([image, e["expect"], folder, name, str(e["size"]), e["sha256"], ""])
            for stream, s in sorted(e.get("streams", {}).items()):
                lines.append([image, e["expect"], folder, name, str(s["size"]), s["sha256"], stream])
    with open(out_path, "w", encoding="utf-8") as f:
        for line in lines:
            f.write("\t".join(line) + "\n")


if __name__ == "__main__":
    main()
