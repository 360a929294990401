#!/usr/bin/env bash
# Usage: install_test.sh BUILD_DIR HAVE_GUI(0|1)
# Installs the build into a scratch prefix, checks that every file lands in its usual place, and
# runs the installed programs on the installed sample volumes, far from the build tree.
set -euo pipefail
build=$1
gui=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
  bin/dravelo-cli
  share/man/man1/dravelo.1 share/man/man1/dravelo-cli.1
  share/dravelo/samples/fat12_floppy.img share/dravelo/samples/fat16_16m.img
  share/dravelo/samples/fat32_66m.img share/dravelo/samples/exfat_16m.img
  share/dravelo/samples/ntfs_24m.img
  share/applications/example.dravelo.Dravelo.desktop
  share/icons/hicolor/scalable/apps/dravelo.svg
  share/metainfo/example.dravelo.Dravelo.metainfo.xml
)
[ "$gui" = 1 ] && expected+=(bin/dravelo share/dravelo/manual/index.html share/dravelo/manual/style.css
  share/dravelo/manual/screenshots/window-analysed.png)
for f in "${expected[@]}"; do [ -f "$prefix/$f" ] || fail "not installed: $f"; done

# The desktop files are valid where the validators are at hand.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/example.dravelo.Dravelo.desktop" || fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/example.dravelo.Dravelo.metainfo.xml" >/dev/null ||
    fail "metainfo"
fi
if command -v groff >/dev/null; then
  for page in dravelo dravelo-cli; do
    warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/$page.1" 2>&1)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
  done
fi

# The installed command line on an installed sample.
cli="$prefix/bin/dravelo-cli"
[ "$("$cli" --version)" = "Dravelo 3.3.5.0" ] || fail "dravelo-cli --version"
out=$("$cli" scan "$prefix/share/dravelo/samples/ntfs_24m.img") || fail "scan of the installed sample"
grep -q "C:\\\\hello.txt" <<<"$out" || fail "scan lists no hello.txt: $out"

if [ "$gui" = 1 ]; then
  gui_bin="$prefix/bin/dravelo"
  [ "$("$gui_bin" --version)" = "Dravelo 3.3.5.0" ] || fail "dravelo --version"
  "$gui_bin" --help | grep -q -- "--samples" || fail "dravelo --help"
  # --samples finds the samples beside the installed program: the window comes up and stays
  # (the timeout ends it), with nothing said on stderr about missing samples.
  status=0
  timeout 5 "$gui_bin" --samples 2>"$work/err" || status=$?
  [ "$status" = 124 ] || fail "dravelo --samples ended with $status: $(cat "$work/err")"
  ! grep -q "no sample volumes" "$work/err" || fail "dravelo --samples found no samples"
  # A program copied where no samples lie beside it says so.
  mkdir -p "$work/elsewhere/bin"
  cp "$gui_bin" "$work/elsewhere/bin/"
  status=0
  "$work/elsewhere/bin/dravelo" --samples 2>"$work/err" || status=$?
  [ "$status" = 1 ] || fail "dravelo --samples without samples ended with $status"
  grep -q "no sample volumes found" "$work/err" || fail "no word about the missing samples"
  # Without a display (as over ssh) it says so and how to get one, before Qt can abort; a
  # platform named on the command line is left to Qt.
  for case in "1 " "124 -platform offscreen"; do
    status=0
    # shellcheck disable=SC2086
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 5 "$gui_bin" ${case#* } --samples \
      2>"$work/err" || status=$?
    [ "$status" = "${case%% *}" ] || fail "dravelo ${case#* } without a display ended with $status: $(cat "$work/err")"
  done
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$gui_bin" 2>"$work/err" || true
  grep -q "the window needs a display" "$work/err" && grep -q "ssh -X" "$work/err" ||
    fail "no word about the missing display: $(cat "$work/err")"
fi
echo "install layout ok"
