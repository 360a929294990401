#!/usr/bin/env bash
# The sanitizer build: everything built with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (halting at the first report) into build-sanitize/ (or $SANITIZE_BUILD_DIR), the whole test
# suite run there, then every fuzz target (built in the same tree) run for a bounded time
# (scripts/fuzz.sh). DRAVELO_SANITIZE_GUI=OFF leaves the window and its tests out. Installs
# first what it needs: the packages of the build, of the tests and of the sanitizers.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh" "$root/scripts/packages-run.txt" "$root/scripts/packages.txt" \
  "$root/scripts/packages-sanitize.txt"
build="${SANITIZE_BUILD_DIR:-$root/build-sanitize}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVELO_SANITIZE=ON \
  -DDRAVELO_BUILD_FUZZ=ON -DDRAVELO_BUILD_GUI="${DRAVELO_SANITIZE_GUI:-ON}" "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 1200)
FUZZ_BUILD_DIR="$build" bash "$root/scripts/fuzz.sh"
