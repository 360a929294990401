#!/usr/bin/env bash
# The Windows build: installs the cross compiler and wine, builds the core, dravelo-cli.exe and
# the core tests for Windows into build-win/ (or $WIN_BUILD_DIR), runs the tests under wine, and
# compares `scan --json` and `recover --all` of every fixture image with the Linux build in
# build/ (or $BUILD_DIR), which scripts/test.sh makes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_win="${WIN_BUILD_DIR:-$root/build-win}"
build_linux="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" "$root/scripts/packages-windows.txt"

cmake -S "$root" -B "$build_win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_win" -j"$(nproc)"

# Wine keeps its own Windows installation here, away from the user's, and says nothing of its own.
export WINEPREFIX="$build_win/wineprefix" WINEDEBUG=-all
WINE="$(command -v wine64 || command -v wine)"
export WINE
"$WINE" cmd /c exit >/dev/null 2>&1 || true   # makes the prefix once, before the tests time anything

cd "$build_win"
ctest --output-on-failure -j"$(nproc)" --timeout 600

cli_linux="$build_linux/src/cli/dravelo-cli"
if [ ! -x "$cli_linux" ]; then
  echo "test-windows: $cli_linux is missing: build the Linux program first (scripts/build.sh)" >&2
  exit 1
fi
mapfile -t images < <(find "$build_win/samples" "$build_win/fixtures" -name '*.img' | sort)
python3 "$root/scripts/compare-windows.py" "$cli_linux" "$build_win/src/cli/dravelo-cli.exe" \
  "$build_win/compare" "${images[@]}"
