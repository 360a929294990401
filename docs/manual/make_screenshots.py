#!/usr/bin/python3
"""Takes the manual's screenshots from the real window under Xvfb, through the GUI probe (a
program that drives Qt windows over the accessibility interface; not part of this project).

    /usr/bin/python3 docs/manual/make_screenshots.py PROBE BUILD_DIR OUT_DIR [LANG...]

PROBE is the probe's probe.py, BUILD_DIR a build tree with src/ui/dravelo and samples/. For
each language code (default: en) it analyses two sample volumes, ticks three files and opens
the undelete options, and writes OUT_DIR/window-analysed-LANG.png and OUT_DIR/options-LANG.png
(and the language menu for English). The manual uses the English ones."""
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
STRINGS = os.path.join(HERE, "..", "..", "resources", "strings")
BASES = {"en": 10000, "ja": 12000, "nl": 14000, "fr": 16000, "el": 18000, "ru": 20000, "id": 22000,
         "it": 24000, "es": 26000, "tr": 28000, "de": 30000, "ca": 32000, "pl": 34000}


def table(code):
    texts = {}
    path = os.path.join(STRINGS, code + ".txt")
    if not os.path.exists(path):
        return texts
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        m = re.match(r"(\d+)\t(.*)$", line)
        if m:
            texts[int(m.group(1))] = m.group(2)
    return texts


def shoot(probe, build, out, code):
    english, own = table("en"), table(code)
    text = lambda i: own.get(i) or english[i]
    home = tempfile.mkdtemp(prefix="dravelo-shots-")
    os.makedirs(os.path.join(home, ".config", "Dravelo"))
    with open(os.path.join(home, ".config", "Dravelo", "Dravelo.ini"), "w") as f:
        f.write("[General]\npath=/media/backup/recovered\n")
        if code != "en":
            f.write("language=%d\n" % BASES[code])
    # English keeps the original accessible names; the other languages name controls by caption.
    analyze = "Analyze the ticked drives" if code == "en" else text(8)
    undelete = "Undelete the ticked files" if code == "en" else text(9)
    window = {"role": "frame", "name_re": "^Dravelo - "}
    steps = [
        {"wait_for": analyze},
        {"toggle": {"in": "Drives", "row": 2}, "value": True},
        {"click": analyze},
        {"wait_for": {"name": undelete, "states": ["enabled"]}, "timeout": 60},
        {"toggle": {"in": {"name": "Found files", "role": "tree"}, "row": 1}, "value": True},
        {"toggle": {"in": {"name": "Found files", "role": "tree"}, "row": 2}, "value": True},
        {"toggle": {"in": {"name": "Found files", "role": "tree"}, "row": 4}, "value": True},
        {"sleep": 0.5},
        {"screenshot": "window-analysed-%s.png" % code, "crop": window},
        {"click": undelete},
        {"wait_for": {"role": "dialog"}},
        {"sleep": 0.5},
        {"screenshot": "options-%s.png" % code, "crop": {"role": "dialog"}},
        {"click": {"name": text(39), "role": "push button"}},
    ]
    if code == "en":
        steps += [{"click": "Language: English", "via": "mouse"}, {"sleep": 0.5}, {"screenshot": "language-menu-en.png"},
                  {"key": "Escape"}]
    cmd = [probe, "run", "--out", out, "--env", "HOME=" + home, "--env", "LANG=C.UTF-8",
           "--steps", json.dumps(steps), "--",
           os.path.join(build, "src", "ui", "dravelo"),
           os.path.join(build, "samples", "fat16_16m.img"), os.path.join(build, "samples", "ntfs_24m.img")]
    return subprocess.call(cmd)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    probe, build, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    failed = [code for code in (sys.argv[4:] or ["en"]) if shoot(probe, build, out, code) != 0]
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
