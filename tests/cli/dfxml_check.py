#!/usr/bin/env python3
"""dravelo-cli scan --dfxml over volume images: the XML validates against the minimal DFXML
schema beside this script, and each file's byte runs give back its bytes: the same bytes as
icat (The Sleuth Kit) for every file listed Very Good (where the runs lie), and the same bytes as dravelo-cli recover
writes for every file that has byte runs. Images ending in .xz are unpacked first.

usage: dfxml_check.py DRAVELO_CLI IMAGE...   (exit 77: a tool is missing)"""
import lzma
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = {"d": "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML", "x": "https://dravelo.example/dfxml"}
HERE = os.path.dirname(os.path.abspath(__file__))


def tsk_inodes(image, sector):
    """Deleted files by path, as fls -rdp names them: path -> [inode]."""
    out = {}
    listing = subprocess.run(["fls", "-o", str(sector), "-rdp", image], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        m = re.match(r"^\S+ \* (\d+)(?:-\S+)?:\t(.*)$", line)
        if m:
            out.setdefault(m.group(2), []).append(m.group(1))
    return out


def check(cli, image, work):
    failures = []
    xml_path = os.path.join(work, "scan.xml")
    with open(xml_path, "wb") as f:
        subprocess.run([cli, "scan", "--dfxml", image], stdout=f, check=False)
    lint = subprocess.run(["xmllint", "--noout", "--schema", os.path.join(HERE, "dfxml_minimal.xsd"), xml_path],
                          capture_output=True, text=True)
    if lint.returncode != 0:
        failures.append("schema: " + lint.stderr.strip()[-500:])
    out = os.path.join(work, "out")
    subprocess.run([cli, "recover", "--to", out, "--all", "--keep-folders", image], capture_output=True)
    data = open(image, "rb").read()
    root = ET.parse(xml_path).getroot()
    volumes = root.findall("d:volume", NS)
    counts = {"icat": 0, "recovered": 0}
    fs = ",".join(v.find("d:ftype_str", NS).text for v in volumes)
    for volume in volumes:
        check_volume(image, data, volume, out, len(volumes) == 1, counts, failures)
    print("%s (%s): %d files checked against icat, %d against the recovery" %
          (os.path.basename(image), fs, counts["icat"], counts["recovered"]))
    if counts["icat"] == 0 or (len(volumes) == 1 and counts["recovered"] == 0):
        failures.append("nothing was compared")
    return failures


def check_volume(image, data, volume, out, whole_image, counts, failures):
    """The byte runs of one volume's files against icat, and (for an image that is one volume)
    against what the recovery wrote."""
    fs = volume.find("d:ftype_str", NS).text
    # A partition of a disk image: The Sleuth Kit is told where it starts, in 512-byte sectors.
    sector = int(volume.find("d:partition_offset", NS).text) // 512
    by_path = tsk_inodes(image, sector)
    names = [fo.find("d:filename", NS).text for fo in volume.findall("d:fileobject", NS)]
    for fo in volume.findall("d:fileobject", NS):
        name = fo.find("d:filename", NS).text
        size = int(fo.find("d:filesize", NS).text)
        runs = fo.find("d:byte_runs", NS)
        if runs is None:
            continue
        content = bytearray(size)
        for r in runs:
            at, img, length = int(r.get("file_offset")), int(r.get("img_offset")), int(r.get("len"))
            content[at:at + length] = data[img:img + length]
        content = bytes(content)
        # What the recovery wrote under the same path (names met twice are told apart by the
        # recovery's renaming: left out here).
        written = os.path.join(out, *name.split("/"))
        if whole_image and names.count(name) == 1 and os.path.isfile(written):
            counts["recovered"] += 1
            if open(written, "rb").read() != content:
                failures.append("%s: byte runs differ from the recovered file" % name)
        if fo.find("x:status", NS).get("percent") != "100":
            continue
        inode = fo.find("d:inode", NS).text if fs == "ntfs" else None
        if inode is None:
            found = by_path.get(name, [])
            if len(found) != 1:
                continue
            inode = found[0]
        # Compared where the runs lie: the holes between them are zeros the recovery writes
        # (past exFAT's valid data length, for one), where icat gives whatever the clusters hold.
        icat = subprocess.run(["icat", "-o", str(sector), image, inode], capture_output=True).stdout
        counts["icat"] += 1
        for r in runs:
            at, length = int(r.get("file_offset")), int(r.get("len"))
            if icat[at:at + length] != content[at:at + length]:
                failures.append("%s: byte run at %d differs from icat %s" % (name, at, inode))


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    for tool in ("fls", "icat", "xmllint"):
        if shutil.which(tool) is None:
            print("%s is missing" % tool)
            return 77
    cli = sys.argv[1]
    failures = []
    for source in sys.argv[2:]:
        with tempfile.TemporaryDirectory(prefix="dravelo-dfxml-") as work:
            image = os.path.join(work, os.path.basename(source).removesuffix(".xz"))
            if source.endswith(".xz"):
                with lzma.open(source) as src, open(image, "wb") as dst:
                    shutil.copyfileobj(src, dst)
            else:
                shutil.copyfile(source, image)
            failures += ["%s: %s" % (os.path.basename(source), f) for f in check(cli, image, work)]
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
