#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job on the bundled sample volumes: lists
# them, finds their deleted files, and recovers every one of them into out/recovered.
# With --gui the window opens on the same volumes instead (needs a display).
# Each step says itself in one line; the output of apt and of the build goes to out/run.log and
# is shown when its step fails.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
gui=0
case "${1:-}" in
  "") ;;
  --gui) gui=1 ;;
  *)
    echo "usage: bash scripts/run.sh [--gui]" >&2
    exit 2
    ;;
esac

# Said before anything is installed or built: without a display Qt can only abort.
if ((gui)) && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'TEXT'
The window needs a display, and this session has none (neither DISPLAY nor WAYLAND_DISPLAY is set).
- Run it on the machine's own desktop, or
- over ssh, connect with 'ssh -X' (the machine needs the xauth package), or
- show it in a VNC viewer: QT_QPA_PLATFORM=vnc bash scripts/run.sh --gui, then connect the
  viewer to this machine's port 5900.
Without --gui, scripts/run.sh does the same job on the command line.
TEXT
  exit 1
fi

source "$root/scripts/steps.sh"
steps_log "$root/out/run.log"
step "Installing packages (scripts/packages-run.txt)" bash "$root/scripts/install-deps.sh"
# A build tree that scripts/test.sh has set up keeps its tests; otherwise they are left out,
# since their packages are not installed here.
tests=OFF
grep -qx 'DRAVELO_BUILD_TESTS:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null && tests=ON
step "Building (into ${build#"$root"/})" bash "$root/scripts/build.sh" -DDRAVELO_BUILD_TESTS="$tests"

samples=("$build"/samples/*.img)
if ((gui)); then
  echo "Opening the window on the ${#samples[@]} sample volumes"
  exec "$build/src/ui/dravelo" "${samples[@]}"
fi
cli="$build/src/cli/dravelo-cli"
echo "Scanning the ${#samples[@]} sample volumes (${build#"$root"/}/samples)"
echo
"$cli" volumes "${samples[@]}" || true
echo
"$cli" scan "${samples[@]}"
echo
echo "Recovering their deleted files into out/recovered"
rm -rf "$root/out/recovered"
mkdir -p "$root/out/recovered"
status=0
"$cli" recover --to "$root/out/recovered" --keep-folders --all "${samples[@]}" || status=$?
# Exit status 1 says that some files were written but are probably not the original: the samples
# hold overwritten files on purpose. Anything else is a failure.
if ((status > 1)); then exit "$status"; fi
echo
echo "The recovered files are in out/recovered, one folder per sample volume."
