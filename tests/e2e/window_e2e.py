#!/usr/bin/python3
"""The real `dravelo` window driven as a user drives it: a private X server (Xvfb), real mouse
and keyboard input (xdotool over XTEST) and the accessibility interface to read what is shown.

Covers Analyze on the sample volumes, the folder and type trees, ticking rows with clicks and
Shift-clicks, sorting by every header and reversing, the filter, Undelete into a folder that does
not exist yet with "Keep folder structure", and Stop. Screenshots of each state go to --out.

Exit codes: 0 passed, 1 a check failed, 77 the X or accessibility tools are missing (skipped).
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77


def tools_missing(faultfs):
    missing = [t for t in ("Xvfb", "dbus-daemon", "xdotool", "import", "fusermount3") if not shutil.which(t)]
    if not (faultfs and os.access(faultfs, os.X_OK)) or not os.path.exists("/dev/fuse"):
        missing.append("faultfs (libfuse3) with /dev/fuse")
    for helper in ("at-spi-bus-launcher", "at-spi2-registryd"):
        if not any(os.path.exists(os.path.join(d, helper)) for d in ("/usr/libexec", "/usr/lib/at-spi2-core")):
            missing.append(helper)
    try:
        import gi  # noqa: F401
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
    except Exception:
        missing.append("python3-gi with gir1.2-atspi-2.0")
    return missing


class Failures:
    def __init__(self):
        self.items = []

    def check(self, ok, what):
        print(("ok    " if ok else "FAIL  ") + what, flush=True)
        if not ok:
            self.items.append(what)
        return ok


def poll(fn, timeout=30.0, interval=0.2):
    """fn() until it gives something true, or its last value after timeout seconds."""
    deadline = time.time() + timeout
    value = fn()
    while not value and time.time() < deadline:
        time.sleep(interval)
        value = fn()
    return value


# --- what the samples hold, from their manifests -------------------------------------------

def manifest(samples_src, image):
    with open(os.path.join(samples_src, image + ".json"), encoding="utf-8") as f:
        return json.load(f)


def shown_name(entry):
    # A recycle-bin data file is listed under the name it had before it was moved there.
    return entry.get("original_name") or entry["listed_name"]


def volume_label(m):
    """The label that the sample's mkfs was given (-n for mkfs.fat, -L for mkntfs)."""
    found = re.search(r"-[nL] (\S+)", m["made_with"]["format"])
    return found.group(1) if found else ""


def listed_path(letter, entry):
    d = entry["listed_dir"]
    return letter + ":\\" + (d.replace("/", "\\") + "\\" if d else "")


SIZE_RE = re.compile(r"^([0-9.]+) (b|Kb|Mb)$")


def size_key(text):
    m = SIZE_RE.match(text)
    if not m:
        return None
    # The size text rounds: compare by the bytes it stands for.
    return float(m.group(1)) * {"b": 1, "Kb": 1024, "Mb": 1000000}[m.group(2)]


STATUS_ORDER = {"Overwritten": 0, "Bad": 1, "Middle": 2, "Good": 3, "Very Good": 4}


def ordered(values, key, descending):
    keys = [key(v) for v in values]
    pairs = list(zip(keys, keys[1:]))
    return all((a >= b) if descending else (a <= b) for a, b in pairs)


# --- a volume for Stop ---------------------------------------------------------------------

STOP_FILE_BYTES = 1_500_000_000


def make_stop_volume(folder):
    """A FAT32 image with 512-byte clusters holding one deleted file of one and a half gigabytes, made
    as Windows leaves a delete: the entry's first byte is 0xE5 and its clusters are free. The
    file's data are never written (the image stays sparse, a few megabytes on disk); only its
    directory entry claims the size. Returns the image's path and the byte offset of its data
    region, where the deleted file's clusters lie."""
    path = os.path.join(folder, "stop_fat32.img")
    seed = os.path.join(folder, "seed.bin")
    subprocess.run(["mkfs.fat", "-C", "-F", "32", "-s", "1", "-S", "512", "-n", "STOPTEST", path, "1700000"],
                   check=True, capture_output=True)
    with open(seed, "wb") as fh:
        fh.write(b"x")
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    subprocess.run(["mcopy", "-i", path, seed, "::big.bin"], check=True, env=env)
    subprocess.run(["mdel", "-i", path, "::big.bin"], check=True, env=env)
    os.remove(seed)
    import struct
    with open(path, "r+b") as img:
        boot = img.read(512)
        bps, spc, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
        fat_size, root = struct.unpack_from("<I", boot, 36)[0], struct.unpack_from("<I", boot, 44)[0]
        root_at = (reserved + fats * fat_size) * bps + (root - 2) * spc * bps
        img.seek(root_at)
        entries = img.read(spc * bps)
        for i in range(0, len(entries), 32):
            e = entries[i:i + 32]
            if e[0] == 0xE5 and e[11] != 0x0F and e[8:11] == b"BIN":
                img.seek(root_at + i + 28)
                img.write(struct.pack("<I", STOP_FILE_BYTES))
                break
        else:
            raise RuntimeError("the deleted entry was not found in " + path)
    return path, (reserved + fats * fat_size) * bps


class FaultMount:
    """An image served through faultfs (tests/faultfs) with its options: reads that fail, or
    reads that wait once switched on (slow_down)."""

    def __init__(self, faultfs, image, folder, options):
        self.mountpoint = os.path.join(folder, "served")
        os.makedirs(self.mountpoint, exist_ok=True)
        self.path = os.path.join(self.mountpoint, os.path.basename(image))
        self.server = subprocess.Popen([faultfs] + options + [image, self.mountpoint], stdout=subprocess.DEVNULL)
        if not poll(lambda: os.path.exists(self.path), timeout=15):
            self.close()
            raise RuntimeError("faultfs did not serve " + image)

    def slow_down(self):
        import signal
        self.server.send_signal(signal.SIGUSR1)

    def close(self):
        subprocess.run(["fusermount3", "-u", "-z", self.mountpoint], capture_output=True)
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()


def _walk(folder):
    for _, _, names in os.walk(folder):
        yield from names


# --- the run ---------------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--samples", required=True, help="folder of the decompressed sample images")
    ap.add_argument("--samples-src", required=True, help="folder of the samples' manifests")
    ap.add_argument("--out", required=True, help="folder for screenshots and the probe's records")
    ap.add_argument("--faultfs", required=True, help="the slow-device file system (tests/faultfs), or none")
    args = ap.parse_args()

    missing = tools_missing(args.faultfs)
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return SKIP
    sys.path.insert(0, HERE)
    import probe
    from probe import _extents

    shutil.rmtree(args.out, ignore_errors=True)
    os.makedirs(args.out)
    shots = lambda name: os.path.join(args.out, name)  # noqa: E731
    home = tempfile.mkdtemp(prefix="dravelo-e2e-home-")
    f = Failures()

    fat = manifest(args.samples_src, "fat16_16m.img")
    ntfs = manifest(args.samples_src, "ntfs_24m.img")
    exfat = manifest(args.samples_src, "exfat_16m.img")
    expected = ([("C", e) for e in fat["deleted"]] + [("D", e) for e in ntfs["deleted"]]
                + [("E", e) for e in exfat["deleted"]])
    total = len(expected)

    env = {"HOME": home, "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "XDG_CONFIG_HOME": os.path.join(home, ".config")}
    cmd = [args.program] + [os.path.join(args.samples, n) for n in ("fat16_16m.img", "ntfs_24m.img", "exfat_16m.img")]
    slow = None
    try:
        with probe.Session(call_timeout=10.0) as s:
            app = s.launch(cmd, env=env, timeout=60)

            def files_label():
                return app.read({"name_re": r"^Files:", "role": "label"})["text"]

            def list_table():
                return app.find({"name": "Found files", "role": "tree"}, timeout=10)

            def rows(first=-1):
                return app.table({"name": "Found files", "role": "tree"}, first=first)

            def cells(column):
                return [r["cells"][column] for r in rows()["row_data"]]

            def header_click(column):
                t = list_table()
                h = probe.Atspi.Table.get_column_header(t, column)
                x, y, w, hh = _extents(h)
                s.click_at(x + w // 2, y + hh // 2)

            def tick_click(row, shift=False):
                t = list_table()
                cell = app._cell(t, {"row": row, "column": 0})
                x, y, w, h = app._scroll_into_view(cell, t)
                if shift:
                    s.xdo("keydown", "shift")
                try:
                    s.click_at(x + 8, y + h // 2)
                finally:
                    if shift:
                        s.xdo("keyup", "shift")

            # Start: C: is ticked, D: and E: are not; nothing found yet.
            app.wait_for("Analyze the ticked drives", timeout=30)
            s.screenshot(shots("01-start.png"))
            # The images come first (C:, D:, E:); the machine's own volumes may follow, unticked.
            def drives_ok(d):
                names = [r["cells"][0] for r in d["row_data"]]
                return (len(names) >= 4 and names[1].startswith("C:\\  FAT") and names[2].startswith("D:\\  NTFS")
                        and names[3].startswith("E:\\  exFAT") and d["checked_rows"] == [1])
            drives = poll(lambda: (d := app.table("Drives")) and drives_ok(d) and d, timeout=15) or app.table("Drives")
            f.check(drives_ok(drives), f"start: C: ticked, D: and E: not ({[r['cells'][0] for r in drives['row_data']]}, "
                    f"ticked {drives['checked_rows']})")
            f.check(files_label() == "Files: 0", "start: files label reads 'Files: 0'")

            # Tick D: and E: with a click on their lines, then Analyze with the mouse.
            app.toggle({"in": "Drives", "row": 2}, value=True)
            app.toggle({"in": "Drives", "row": 3}, value=True)
            app.click("Analyze the ticked drives", via="mouse")
            label = poll(lambda: files_label() == f"Files: {total}" and files_label(), timeout=60)
            f.check(label == f"Files: {total}", f"after Analyze the label reads 'Files: {total}' ({files_label()!r})")
            app.wait_for({"name": "Show the file types", "states": ["enabled"]}, timeout=30)
            s.screenshot(shots("02-analyzed.png"))
            got = rows()
            listed = sorted((r["cells"][1], r["cells"][0]) for r in got["row_data"])
            want = sorted((listed_path(letter, e), shown_name(e)) for letter, e in expected)
            f.check(got["rows"] == total, f"list shows {total} rows ({got['rows']})")
            f.check(listed == want, "list shows every deleted file of the three samples with its folder: "
                    f"missing {sorted(set(want) - set(listed))}, unexpected {sorted(set(listed) - set(want))}")
            f.check(got["headers"][:6] == ["Filename", "Path", "Status", "Size", "Date Created", "Date Modified"],
                    "list headers")
            types = app.table("File types", first=-1)
            counts = {}
            for r in types["row_data"][1:]:
                m = re.match(r"^(.*) \((\d+)\)$", r["cells"][0])
                if f.check(m is not None, f"type node {r['cells'][0]!r} ends with its count"):
                    counts[m.group(1)] = int(m.group(2))
            f.check(sum(counts.values()) == total, "type counts add up to the files found")
            f.check(not any(re.search(r"Lisp|Musepack|Nikon|MP2 audio", n) for n in counts),
                    f"no type is named after another format ({sorted(counts)})")

            # A type node: the list shows that group only, the label says how many of all it shows.
            other = next((r["cells"][0] for r in types["row_data"] if r["cells"][0].startswith("Other Files (")), None)
            if f.check(other is not None, "types tree has 'Other Files'"):
                app.select({"in": "File types", "row_name": other})
                n = counts["Other Files"]
                f.check(poll(lambda: rows(first=0)["rows"] == n, timeout=15), f"'Other Files' shows its {n} files")
                f.check(files_label().startswith(f"Files: {n} / {total}"),
                        f"label shows shown / total in a type view ({files_label()!r})")
                s.screenshot(shots("03-type-node.png"))

            # A folder node: D:\Documents.
            app.click("Show the folders", via="mouse")
            app.select({"in": {"name": "Folders", "role": "tree"}, "path": ["My Computer", "D:\\", "Documents"]})
            in_docs = [e for letter, e in expected if letter == "D" and e["listed_dir"] == "Documents"]
            f.check(poll(lambda: rows(first=0)["rows"] == len(in_docs), timeout=15),
                    f"D:\\Documents shows its {len(in_docs)} files")
            f.check(set(cells(1)) == {"D:\\Documents\\"}, "every row of the folder view lies in D:\\Documents")
            s.screenshot(shots("04-folder-node.png"))

            # Back to all files by the folder tree's root.
            app.select({"in": {"name": "Folders", "role": "tree"}, "path": ["My Computer"]})
            f.check(poll(lambda: rows(first=0)["rows"] == total, timeout=15), "the root shows all files again")

            # Sorting: every header with a real click, and the reverse on a second click.
            keys = {0: lambda v: v.upper(), 1: lambda v: v.upper(), 2: lambda v: STATUS_ORDER.get(v, -1),
                    3: size_key, 4: lambda v: v, 5: lambda v: v}
            for column in range(6):
                header_click(column)
                first = poll(lambda: (t := list_table()) and
                             probe.Atspi.Table.get_column_header(t, column) is not None and cells(column), timeout=10)
                up = ordered(first, keys[column], descending=False)
                down = ordered(first, keys[column], descending=True)
                f.check(up or down, f"a click on header {got['headers'][column]!r} sorts by it")
                if column == 3:
                    s.screenshot(shots("05-sorted-by-size.png"))
                header_click(column)
                second = poll(lambda: cells(column) != first and cells(column), timeout=10) or cells(column)
                f.check(ordered(second, keys[column], descending=up and not down) and second[0] == first[-1],
                        f"a second click on {got['headers'][column]!r} reverses the order")
            s.screenshot(shots("06-sorted-by-date-reversed.png"))

            # Ticks: a click in the check box zone, then a Shift-click further down.
            header_click(0)  # by name again, for a known order
            before = rows()
            tick_click(1)
            tick_click(4, shift=True)
            after = poll(lambda: (r := rows()) and r["checked_rows"] == [1, 2, 3, 4] and r, timeout=10) or rows()
            f.check(after["checked_rows"] == [1, 2, 3, 4], f"click on row 1, Shift-click on row 4 tick rows 1-4 "
                    f"({after['checked_rows']})")
            f.check(before["checked_rows"] == [], "nothing was ticked before")
            # A click on the name selects the row without ticking it; the selection stays readable.
            app.select({"in": {"name": "Found files", "role": "tree"}, "row": 6, "column": 1})
            sel = rows()
            f.check(sel["row_data"][6]["selected"] and 6 not in sel["checked_rows"], "a click on a name selects its row")
            s.screenshot(shots("07-ticked-and-selected.png"))

            # The filter: names holding "txt"; the label says how many of all it shows.
            app.toggle("All or part of the file name:", value=True, via="mouse")
            app.type_text("All or part of the file name", "txt")
            app.click("Set Filter", via="mouse")
            want_txt = sum(1 for _, e in expected if "TXT" in shown_name(e).upper())
            f.check(poll(lambda: rows(first=0)["rows"] == want_txt, timeout=15), f"the name filter keeps {want_txt} rows")
            f.check(all("txt" in n.lower() for n in cells(0)), "every filtered row's name holds 'txt'")
            f.check(files_label().startswith(f"Files: {want_txt} / {total}"),
                    f"label shows shown / total under a filter ({files_label()!r})")
            s.screenshot(shots("08-filtered.png"))
            app.click("Clear the filter", via="mouse")
            f.check(poll(lambda: rows(first=0)["rows"] == total, timeout=15), "Clear shows all files again")

            # Undelete the four ticked files into the documents folder of a fresh account, which
            # does not exist yet, keeping the folder structure.
            ticked_rows = [r for r in rows()["row_data"] if r["checked"]]
            ticked = [(r["cells"][1], r["cells"][0]) for r in ticked_rows]
            overwritten = sum(1 for r in ticked_rows if r["cells"][2] == "Overwritten")
            f.check(len(ticked) == 4, f"four files ticked before Undelete ({len(ticked)})")
            target = os.path.join(home, "Documents")
            f.check(not os.path.exists(target), "the proposed folder does not exist yet")
            app.click("Undelete the ticked files", via="mouse")
            app.wait_for({"name": "Dravelo - Undelete"}, timeout=15)
            field = app.read({"role": "text", "window": "Dravelo - Undelete"})
            f.check(field["text"] == target, f"the dialog proposes {target} ({field['text']!r})")
            app.toggle({"name": "Keep folder structure", "role": "check box"}, value=True, via="mouse")
            s.screenshot(shots("09-options.png"))
            app.click({"name": "Ok", "window": "Dravelo - Undelete"}, via="mouse")
            box = poll(lambda: next((w for w in app.windows() if probe._role(w) == "alert"), None), timeout=60)
            msg = app.message_box(press="OK", timeout=30) if box else {"text": ""}
            # The files undeleted well, and apart those written that are probably not the original
            # (every file listed as Overwritten among them, and the samples' files of random bytes
            # that the smart recovery names); together the four.
            m = re.match(r"^End undelete\. Undeleted successfully:  (\d+)"
                         r"(?:\nWritten, but probably not the original \(overwritten\): (\d+))?(?:\n  .*)*$", msg["text"])
            f.check(m is not None and int(m.group(1)) + int(m.group(2) or 0) == 4
                    and int(m.group(2) or 0) >= overwritten, f"closing message ({msg['text']!r})")
            by_name = {(listed_path(l, e), shown_name(e)): e for l, e in expected}
            # Files of several volumes go below one top folder per volume: its letter and label.
            labels = {"C": volume_label(fat), "D": volume_label(ntfs), "E": volume_label(exfat)}
            several = len({path[0] for path, _ in ticked}) > 1
            for path, name in ticked:
                e = by_name.get((path, name))
                rel = path[3:].replace("\\", "/")
                if several:
                    rel = os.path.join(path[0] + "_" + (" " + labels[path[0]] if labels[path[0]] else ""), rel)
                out = os.path.join(target, rel, name)
                ok = os.path.isfile(out)
                f.check(ok, f"{path}{name} written to {out}")
                if ok and e and e.get("expect") == "intact":
                    with open(out, "rb") as fh:
                        f.check(hashlib.sha256(fh.read()).hexdigest() == e["sha256"], f"{out} holds the deleted data")
            f.check(poll(lambda: rows()["checked_rows"] == [], timeout=10), "the ticks are cleared after the undelete")
            s.screenshot(shots("10-undeleted.png"))

            app.close()

            # Stop: a volume whose one deleted file is read slowly (faultfs delays every read of
            # its data once the copy is asked for), so that the copy is still running when Stop
            # is pressed, however fast the machine; Stop is pressed (the Undelete button then
            # reads "Stop") once the copy's file has appeared on the target.
            stop_image, data_offset = make_stop_volume(args.out)
            # Reads of the file's data wait 20 ms each once switched on: the copy lasts minutes on
            # any machine until Stop ends it.
            slow = FaultMount(args.faultfs, stop_image, args.out, ["--delays-off", "--delay", f"{data_offset}:0:20"])
            app = s.launch([args.program, slow.path], env=env, timeout=60)
            app.click("Analyze the ticked drives", via="mouse")
            f.check(poll(lambda: files_label() == "Files: 1", timeout=60), "the stop volume holds one deleted file")
            tick_click(0)
            f.check(poll(lambda: rows()["checked_rows"] == [0], timeout=10), "its row is ticked")
            # Where the button is, found while the window is idle: during the copy the window
            # answers the accessibility interface only between clusters.
            bx, by, bw, bh = _extents(app.find("Undelete the ticked files"))
            s.click_at(bx + bw // 2, by + bh // 2)
            app.wait_for({"name": "Dravelo - Undelete"}, timeout=15)
            slow.slow_down()
            started = time.time()
            app.click({"name": "Ok", "window": "Dravelo - Undelete"}, via="mouse")
            copying = poll(lambda: any(n.upper().endswith("IG.BIN") for n in _walk(target)), timeout=60, interval=0.05)
            f.check(copying, "the copy is under way (its file is on the target)")
            s.click_at(bx + bw // 2, by + bh // 2)  # the button now reads "Stop"
            print(f"Stop clicked {time.time() - started:.2f} s after Ok", flush=True)
            box = poll(lambda: next((w for w in app.windows() if probe._role(w) == "alert"), None), timeout=120)
            print(f"closing message {time.time() - started:.2f} s after Ok", flush=True)
            s.screenshot(shots("11-stopped.png"))
            msg = app.message_box(press="OK", timeout=30) if box else {"text": ""}
            f.check(msg["text"] == "Undelete process interrupted. Undeleted successfully:  0",
                    f"Stop ends the undelete ({msg['text']!r})")
            f.check(not any(n.upper().endswith("IG.BIN") for n in _walk(target)),
                    "nothing of the stopped copy is left in the target folder")
            f.check(poll(lambda: rows()["checked_rows"] == [0], timeout=10), "the stopped file keeps its tick")
            f.check(bool(poll(lambda: app.find({"name": "Analyze the ticked drives", "states": ["enabled"]}),
                              timeout=10)), "the window is back in its idle state")
            app.close()
            slow.close()
            slow = None
            os.remove(stop_image)

            # A damaged volume: the FAT16 sample with one sector that cannot be read inside the
            # deleted "Holiday video clip.mp4" (its clusters 55 to 74; sector 100 + 55 * 4 + 1 =
            # 321 holds its bytes 4608 to 5119). The file is written with zeros there, and the
            # closing message counts it apart.
            slow = FaultMount(args.faultfs, os.path.join(args.samples, "fat16_16m.img"), args.out,
                              ["--eio", f"{321 * 512}:512"])
            app = s.launch([args.program, slow.path], env=env, timeout=60)
            app.click("Analyze the ticked drives", via="mouse")
            f.check(poll(lambda: files_label() == f"Files: {len(fat['deleted'])}", timeout=60),
                    "the damaged volume lists every deleted file")
            names = cells(0)
            holiday = names.index("Holiday video clip.mp4") if "Holiday video clip.mp4" in names else -1
            f.check(holiday >= 0, "the damaged file is listed")
            if holiday >= 0:
                tick_click(holiday)
                f.check(poll(lambda: rows()["checked_rows"] == [holiday], timeout=10), "its row is ticked")
                app.click("Undelete the ticked files", via="mouse")
                app.wait_for({"name": "Dravelo - Undelete"}, timeout=15)
                app.click({"name": "Ok", "window": "Dravelo - Undelete"}, via="mouse")
                box = poll(lambda: next((w for w in app.windows() if probe._role(w) == "alert"), None), timeout=60)
                s.screenshot(shots("12-damaged.png"))
                msg = app.message_box(press="OK", timeout=30) if box else {"text": ""}
                f.check("Written, with parts that could not be read (zeros): 1" in msg["text"],
                        f"the closing message counts the file with unreadable parts ({msg['text']!r})")
            app.close()
            slow.close()
            slow = None

            # A whole-disk image with an MBR table: each partition is a drive of its own, its
            # label naming the image and the partition; all three scanned together list the
            # three deleted files of each.
            disk_dir = tempfile.mkdtemp(prefix="dravelo-e2e-disk-")
            disk = os.path.join(disk_dir, "disk_mbr.img")
            with open(disk, "wb") as out:
                subprocess.run(["xz", "-dc", os.path.join(HERE, "..", "fixtures", "disk", "disk_mbr.img.xz")],
                               stdout=out, check=True)
            app = s.launch([args.program, disk], env=env, timeout=60)
            app.wait_for("Analyze the ticked drives", timeout=30)

            def partitions_ok(d):
                names = [r["cells"][0] for r in d["row_data"]]
                return (len(names) >= 4 and names[1].startswith("C:\\  FAT32")
                        and names[1].endswith("disk_mbr.img, partition 1")
                        and names[2].startswith("D:\\  exFAT") and names[2].endswith("disk_mbr.img, partition 5")
                        and names[3].startswith("E:\\  NTFS") and names[3].endswith("disk_mbr.img, partition 6"))
            drives = poll(lambda: (d := app.table("Drives")) and partitions_ok(d) and d, timeout=15) or app.table("Drives")
            f.check(partitions_ok(drives), f"the partitions are drives ({[r['cells'][0] for r in drives['row_data']]})")
            s.screenshot(shots("13-partition-drives.png"))
            app.toggle({"in": "Drives", "row": 2}, value=True)
            app.toggle({"in": "Drives", "row": 3}, value=True)
            app.click("Analyze the ticked drives", via="mouse")
            f.check(poll(lambda: files_label() == "Files: 9", timeout=60),
                    f"the three partitions list nine deleted files ({files_label()!r})")
            s.screenshot(shots("14-partitions-analyzed.png"))
            app.close()
            shutil.rmtree(disk_dir, ignore_errors=True)
    except Exception as e:  # a probe failure is a failed check, with its story
        traceback.print_exc()
        f.check(False, f"the run ended early: {e}")
    finally:
        if slow:
            slow.close()
        shutil.rmtree(home, ignore_errors=True)

    print(f"{len(f.items)} failed" if f.items else "all checks passed", flush=True)
    return 1 if f.items else 0


if __name__ == "__main__":
    sys.exit(main())
