#!/bin/sh
# Saving and reopening the results of the NTFS bench volume (bench/ntfs_scan builds it once
# into BUILD_DIR/bench-ntfs/).
#   bench/saved_results/run_bench.sh BUILD_DIR [IMAGE]
# BUILD_DIR configured with -DDRAVELO_BUILD_BENCH=ON. Runs three times, page cache warm.
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
image=${2:-$build/bench-ntfs/ntfs_200000_2000.img}
[ -f "$image" ] || sh "$here/../ntfs_scan/run_bench.sh" "$build" >/dev/null
cmake --build "$build" --target bench_saved_results -j2 >/dev/null
cat "$image" >/dev/null
for pass in 1 2 3; do
  QT_QPA_PLATFORM=offscreen "$build/bench/saved_results/bench_saved_results" "$image" "$build/bench-ntfs/results.dravelo"
done
