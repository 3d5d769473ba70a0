#!/usr/bin/env bash
# Builds QEV for 64-bit Windows on Debian 12: build-windows/bin/qev.exe, one statically linked
# file, and the downloads: build-windows/qev-<version>-win64.zip (the program, a README, the
# licence and the third-party notices) and the installer build-windows/qev-<version>-setup.exe.
# The first run also builds Qt for Windows from Debian's source (scripts/qt-mingw.sh), once:
# later runs reuse it.
#   scripts/setup-windows.sh [--tests] [extra cmake arguments...]
# --tests also builds the Windows tests, to run under Wine: ctest --test-dir build-windows
# Environment: QEV_WINDOWS_BUILD_DIR (default build-windows), QEV_JOBS (default 2);
# QEV_SIGN_PFX, a PKCS#12 certificate to sign the programs and the installer with, and
# QEV_SIGN_PASSWORD, its password (see packaging/windows/sign.sh). Without them nothing is signed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/require-packages.sh

tests=OFF
if [ "${1:-}" = --tests ]; then
    tests=ON
    shift
fi

packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip nsis python3)
[ -n "${QEV_SIGN_PFX:-}" ] && packages+=(osslsigncode)
[ $tests = ON ] && packages+=(googletest wine wine64 xvfb xauth fonts-dejavu-core)
qev_require_packages "The Windows build" "${packages[@]}"

qt=$(scripts/qt-mingw.sh)
qt_source=$(scripts/qt-mingw.sh --source)
build=${QEV_WINDOWS_BUILD_DIR:-build-windows}
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQEV_QT_SOURCE_DIR="$qt_source" -DCMAKE_BUILD_TYPE=Release -DQEV_TESTS=$tests "$@"
if [ $tests = ON ]; then
    cmake --build "$build" -j"${QEV_JOBS:-2}"
fi
cmake --build "$build" -j"${QEV_JOBS:-2}" --target qev_package
