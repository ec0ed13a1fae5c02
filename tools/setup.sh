#!/usr/bin/env bash
# Installs what the build needs on Debian 12 (only what is missing), then
# configures and builds into ${TAVEL_BUILD_DIR:-build}.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config ccache qt6-base-dev libgl-dev libudev-dev
          libgtest-dev googletest fonts-liberation)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build=${TAVEL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${TAVEL_BUILD_TYPE:-RelWithDebInfo} ${TAVEL_CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
