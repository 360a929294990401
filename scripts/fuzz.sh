#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build ($FUZZ_BUILD_DIR, built by scripts/sanitize.sh) for
# $FUZZ_SECONDS seconds each (60 unless set) over a copy of its seed corpus, so that the kept
# corpus stays as committed. A crash stops the script with the input that caused it in the
# target's artifacts folder in the build tree.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:?set FUZZ_BUILD_DIR to a fuzz build}"
seconds="${FUZZ_SECONDS:-60}"
# Each target with the longest input worth mutating.
for entry in lznt1:65536 ntfs_record:8192 fat_walk:65536 scan_recover:262144 carve_formats:16384; do
  target="${entry%%:*}"
  exe="$build/fuzz/$target/fuzz_$target"
  work="$build/fuzz-runs/$target"
  rm -rf "$work/corpus"
  mkdir -p "$work/corpus" "$work/artifacts"
  seeds=()
  [ -d "$root/fuzz/$target/corpus" ] && seeds=("$root/fuzz/$target/corpus")
  echo "fuzz_$target: ${seconds}s"
  "$exe" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -max_len="${entry##*:}" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "${seeds[@]}" 2>"$work/log" ||
    { tail -n 60 "$work/log"; echo "fuzz_$target found a fault; input in $work/artifacts/"; exit 1; }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/log" | sed "s/^/  /"
done
