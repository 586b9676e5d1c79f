#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every
# test; the GUI tests run under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset"
