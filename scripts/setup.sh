#!/usr/bin/env bash
# Installs the Debian packages QEV needs (when run as root), then configures and builds it.
#   scripts/setup.sh [extra cmake arguments...]
# The build folder is ./build, or $QEV_BUILD_DIR when set.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ pkgconf qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libxcb1-dev clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core
          systemd desktop-file-utils appstream)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "QEV needs these Debian packages; install them, then run this script again:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
fi

build=${QEV_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja "$@"
# QEV_TARGETS limits the build to some targets (the thread-sanitizer run needs only a few).
cmake --build "$build" -j"$(nproc)" ${QEV_TARGETS:+--target $QEV_TARGETS}
