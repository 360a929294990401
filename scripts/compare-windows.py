#!/usr/bin/env python3
"""Compares what the Windows build (dravelo-cli.exe under wine) and the Linux build give for
each fixture image: the rows of `scan --json`, and the files that `recover --all` writes
(names, folders and bytes). Names that Windows refuses are expected under the substitute that
the recovery writes on Windows.

usage: compare-windows.py LINUX_CLI WINDOWS_CLI WORK_DIR IMAGE...
WINDOWS_CLI is run through $WINE (wine64 or wine); WINEPREFIX and WINEDEBUG come from the caller.
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

WINE = os.environ.get("WINE", "wine")
# An image whose found files add up to more than this is compared by its scan alone: a crafted
# volume may list files of gigabytes that a recovery would write out in full, twice.
RECOVER_LIMIT = 256 << 20
REFUSED = set(':*?"<>|\\/') | {chr(c) for c in range(0x20)}
DEVICE = re.compile(r"^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *$", re.IGNORECASE)


def windows_name(name):
    """The substitute that windows_safe_name (src/catalogue/windows_names.cpp) gives."""
    out = "".join("_" if c in REFUSED else c for c in name)
    stripped = out.rstrip(". ")
    out = stripped + "_" * (len(out) - len(stripped))
    if DEVICE.match(out.split(".", 1)[0]):
        out = "_" + out
    return out


def windows_path(relative):
    return "/".join(windows_name(part) for part in relative.split("/"))


def win_path(path):
    return "Z:" + os.path.abspath(path)


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def tree(root):
    """relative path -> sha256 of every file below root."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root).replace(os.sep, "/")] = hashlib.sha256(f.read()).hexdigest()
    return files


def compare_image(linux_cli, windows_cli, work, image):
    problems = []
    name = os.path.basename(image)
    code_l, out_l, err_l = run([linux_cli, "scan", "--json", image])
    code_w, out_w, err_w = run([WINE, windows_cli, "scan", "--json", win_path(image)])
    if code_l != code_w:
        problems.append(f"{name}: scan exit status {code_l} on Linux, {code_w} on Windows ({err_w.strip()})")
    try:
        rows_l, rows_w = json.loads(out_l), json.loads(out_w)
    except ValueError as e:
        return problems + [f"{name}: scan --json is no JSON: {e}"]
    if rows_l != rows_w:
        problems.append(f"{name}: scan --json differs ({len(rows_l)} rows on Linux, {len(rows_w)} on Windows)")
        for a, b in zip(rows_l, rows_w):
            if a != b:
                problems.append(f"  first difference: {a} / {b}")
                break

    listed = sum(max(row.get("size", 0), 0) for row in rows_l)
    if listed > RECOVER_LIMIT:
        print(f"{name}: {len(rows_l)} rows" + (", the same" if not problems else "") +
              f"; not recovered ({listed >> 20} MiB listed)")
        return problems

    out_linux = os.path.join(work, name + ".linux")
    out_windows = os.path.join(work, name + ".windows")
    for folder in (out_linux, out_windows):
        shutil.rmtree(folder, ignore_errors=True)
    code_l, _, err_l = run([linux_cli, "recover", "--all", "--keep-folders", "--to", out_linux, image])
    code_w, _, err_w = run([WINE, windows_cli, "recover", "--all", "--keep-folders", "--to", win_path(out_windows),
                            win_path(image)])
    if code_l != code_w:
        problems.append(f"{name}: recover exit status {code_l} on Linux, {code_w} on Windows ({err_w.strip()})")
    files_l = {windows_path(p): h for p, h in tree(out_linux).items()}
    files_w = tree(out_windows)
    if files_l != files_w:
        only_l = sorted(set(files_l) - set(files_w))
        only_w = sorted(set(files_w) - set(files_l))
        changed = sorted(p for p in set(files_l) & set(files_w) if files_l[p] != files_w[p])
        problems.append(f"{name}: recovered files differ: only on Linux {only_l[:5]}, only on Windows {only_w[:5]}, "
                        f"other bytes {changed[:5]}")
    for folder in (out_linux, out_windows):
        shutil.rmtree(folder, ignore_errors=True)
    print(f"{name}: {len(rows_l)} rows, {len(files_w)} files recovered" + ("" if problems else ", the same"))
    return problems


def main():
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    linux_cli, windows_cli, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    problems = []
    for image in sys.argv[4:]:
        problems += compare_image(linux_cli, windows_cli, work, image)
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
