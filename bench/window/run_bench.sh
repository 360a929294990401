#!/bin/sh
# Analyze in the window against `dravelo-cli scan` on the same image, page cache warm.
#   bench/window/run_bench.sh BUILD_DIR IMAGE
# BUILD_DIR configured with -DDRAVELO_BUILD_BENCH=ON. Runs each three times.
set -eu
build=$(cd "$1" && pwd)
image=$2
cmake --build "$build" --target dravelo-cli bench_window_analyze -j2 >/dev/null
cat "$image" >/dev/null
for pass in 1 2 3; do
  QT_QPA_PLATFORM=offscreen "$build/bench/window/bench_window_analyze" "$image"
  /usr/bin/time -f "cli scan: %e s wall, %U s user, %S s system, peak %M KiB" \
    "$build/src/cli/dravelo-cli" scan "$image" >/dev/null
done
