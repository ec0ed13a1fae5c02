#!/usr/bin/env bash
# Installs, builds and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${TAVEL_BUILD_DIR:-build}" --output-on-failure -j2 --timeout 300
