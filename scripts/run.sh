#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job on the bundled sample volumes: lists
# them, finds their deleted files, and recovers every one of them into out/recovered.
# With --gui the window opens on the same volumes instead (needs a display).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
samples=("$build"/samples/*.img)
if [ "${1:-}" = "--gui" ]; then
  exec "$build/src/ui/dravelo" "${samples[@]}"
fi
cli="$build/src/cli/dravelo-cli"
echo "== Volumes"
"$cli" volumes "${samples[@]}" || true
echo
echo "== Deleted files"
"$cli" scan "${samples[@]}"
echo
echo "== Recovery into $root/out/recovered"
rm -rf "$root/out/recovered"
mkdir -p "$root/out/recovered"
"$cli" recover --to "$root/out/recovered" --keep-folders --all "${samples[@]}"
