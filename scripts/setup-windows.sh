#!/usr/bin/env bash
# Builds QEV for 64-bit Windows on Debian 12: build-windows/bin/qev.exe, one statically linked
# file, and build-windows/qev-<version>-win64.zip with it and a short README. The first run
# also builds Qt for Windows from Debian's source (scripts/qt-mingw.sh), once: later runs reuse it.
#   scripts/setup-windows.sh [--tests] [extra cmake arguments...]
# --tests also builds the Windows tests, to run under Wine: ctest --test-dir build-windows
# Environment: QEV_WINDOWS_BUILD_DIR (default build-windows), QEV_JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/require-packages.sh

tests=OFF
if [ "${1:-}" = --tests ]; then
    tests=ON
    shift
fi

packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip)
[ $tests = ON ] && packages+=(googletest wine wine64 xvfb xauth fonts-dejavu-core)
qev_require_packages "The Windows build" "${packages[@]}"

qt=$(scripts/qt-mingw.sh)
build=${QEV_WINDOWS_BUILD_DIR:-build-windows}
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DQEV_TESTS=$tests "$@"
if [ $tests = ON ]; then
    cmake --build "$build" -j"${QEV_JOBS:-2}"
else
    cmake --build "$build" -j"${QEV_JOBS:-2}" --target qev
fi

exe=$build/bin/qev.exe
# One file: nothing but the system's own DLLs may be needed beside it.
if x86_64-w64-mingw32-objdump -p "$exe" | grep -iE "DLL Name: *(qt6|lib(stdc|gcc|winpthread))"; then
    echo "$exe needs the DLLs above; it must be linked statically" >&2
    exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
stage=$build/package
rm -rf "$stage"
mkdir -p "$stage"
cp "$exe" "$stage/qev.exe"
sed "s/@VERSION@/$version/" packaging/windows/README.txt | sed 's/$/\r/' >"$stage/README.txt"
zip=$build/qev-$version-win64.zip
rm -f "$zip"
(cd "$stage" && zip -q -X -9 "../$(basename "$zip")" qev.exe README.txt)
echo "$exe ($(stat -c %s "$exe") bytes)"
echo "$zip"
