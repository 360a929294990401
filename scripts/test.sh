#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. The installing and building say
# themselves in one line each (their output is in out/test.log, shown when they fail); ctest's
# own output comes to the console.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/steps.sh"
steps_log "$root/out/test.log"
step "Installing packages (scripts/packages-run.txt, scripts/packages.txt)" \
  bash "$root/scripts/install-deps.sh" "$root/scripts/packages-run.txt" "$root/scripts/packages.txt"
step "Building with the tests" bash "$root/scripts/build.sh" -DDRAVELO_BUILD_TESTS=ON
echo "Running the tests"
cd "${BUILD_DIR:-$root/build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600
