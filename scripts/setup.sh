#!/usr/bin/env bash
# Installs the Debian packages QEV needs (when run as root), then configures and builds it.
#   scripts/setup.sh [extra cmake arguments...]
# The build folder is ./build, or $QEV_BUILD_DIR when set.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/require-packages.sh

packages=(cmake ninja-build g++ pkgconf qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libxcb1-dev clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core
          systemd desktop-file-utils appstream ser2net)
qev_require_packages "QEV" "${packages[@]}"

build=${QEV_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja "$@"
# QEV_TARGETS limits the build to some targets (the thread-sanitizer run needs only a few).
cmake --build "$build" -j"$(nproc)" ${QEV_TARGETS:+--target $QEV_TARGETS}
