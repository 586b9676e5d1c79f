#!/usr/bin/env bash
# Installs what is missing, builds, and starts TesselWick in its own working
# folder (run/), where it keeps pad.dat, tesselwick.ini and Report.htm.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
mkdir -p run
cd run
exec ../build/dev/src/ui/tesselwick
