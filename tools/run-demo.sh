#!/usr/bin/env bash
# Installs and builds, starts the sensor simulator on the virtual port COM100,
# then the tool; the simulator stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bin="${TAVEL_BUILD_DIR:-build}/bin"
"$bin/tavel-sensor-sim" --com 100 --quiet &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
sleep 0.5
"$bin/tavel-tool"
