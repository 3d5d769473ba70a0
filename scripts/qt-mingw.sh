#!/usr/bin/env bash
# Builds a static Qt for 64-bit Windows (mingw-w64) from Debian's own qt6-base source, once,
# and prints its prefix. The result is cached outside the tree and reused while it is whole.
#   scripts/qt-mingw.sh            build when needed, print the prefix
#   scripts/qt-mingw.sh --source   fetch the source when needed, print its folder (the licences
#                                  and attributions of what the Windows programs link are in it)
# Environment: QEV_QT_CACHE (default ~/.cache/qev), QEV_QT_JOBS (default: all cores).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

version=6.4.2
# Everything that changes the result goes into the options, and the options into the cache key.
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
    -DFEATURE_vulkan=OFF
)
key=$(printf '%s\n' "$version" "${options[@]}" | sha256sum | cut -c1-10)
cache=${QEV_QT_CACHE:-$HOME/.cache/qev}
prefix=$cache/qt-$version-mingw-static-$key
work=$cache/qt-$version-mingw-work
src=$work/qt6-base-$version+dfsg

# Debian's source package, with the packages the build needs; as root, as only apt-get can.
fetch_source() {
    local packages=(g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev qt6-base-dev) missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    if [ -d "$src" ] && ! ((${#missing[@]})); then
        return 0
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "Building Qt for Windows needs Debian's qt6-base source and these packages; run this" >&2
        echo "script as root once, or install them: ${missing[*]:-none}" >&2
        exit 1
    fi
    list=/etc/apt/sources.list.d/qev-qt-source.sources
    if [ ! -f "$list" ]; then
        echo "Adding $list (Debian's source packages, to fetch Qt's source)" >&2
        cat >"$list" <<'SRC'
# Added by QEV's scripts/qt-mingw.sh: Qt's source package, to build Qt for Windows.
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    fi
    apt-get update -qq
    ((${#missing[@]})) && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    mkdir -p "$work"
    (cd "$work" && apt-get source -qq "qt6-base=$version+dfsg-10" >/dev/null 2>&1 ||
        (cd "$work" && apt-get source -qq qt6-base >/dev/null))
    src=$(ls -d "$work"/qt6-base-$version* | head -n1)
}

if [ "${1:-}" = --source ]; then
    [ -d "$src" ] || fetch_source
    echo "$src"
    exit 0
fi
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
fetch_source

echo "Building Qt $version for Windows into $prefix (about 25 minutes on 2 cores, once)" >&2
build=$work/build-$key
rm -rf "$build" "$prefix"
cmake -S "$src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure-$key.log" 2>&1 ||
    { tail -n 40 "$work/configure-$key.log" >&2; exit 1; }
cmake --build "$build" -j"${QEV_QT_JOBS:-$(nproc)}" >"$work/build-$key.log" 2>&1 ||
    { tail -n 40 "$work/build-$key.log" >&2; exit 1; }
cmake --install "$build" >/dev/null
touch "$prefix/.complete"
rm -rf "$build"
echo "$prefix"
