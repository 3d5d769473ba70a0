#!/usr/bin/env bash
# Makes the Debian package from the build folder and checks it: lintian, the desktop entry,
# the AppStream description and the systemd units. With --install (as root) it then installs
# the package with apt-get, runs "qev --version", checks the installed units and manual page,
# and removes the package again. With --fresh (as root) it installs the package on a fresh
# minimal Debian 12 made with debootstrap in a scratch folder instead, where nothing but its
# declared dependencies can help it run, and runs "qev --version" there (a few minutes).
#   scripts/package.sh [--install] [--fresh]
# The build folder is ./build, or $QEV_BUILD_DIR when set; it is configured when it is not yet.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/require-packages.sh

install=false fresh=false
for arg in "$@"; do
    case $arg in
        --install) install=true ;;
        --fresh) fresh=true ;;
        *) echo "usage: scripts/package.sh [--install] [--fresh]" >&2; exit 2 ;;
    esac
done

packages=(lintian desktop-file-utils appstream systemd dpkg-dev file man-db)
qev_require_packages "Packaging" "${packages[@]}"

build=${QEV_BUILD_DIR:-build}
[ -f "$build/CPackConfig.cmake" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" -j"$(nproc)" --target qev qev_manpage qev_deb_doc
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$build/qev_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB)
echo "== $deb"
dpkg-deb --info "$deb"

lintian --allow-root --fail-on error "$deb"

unpacked=$(mktemp -d)
runtime=$(mktemp -d)
trap 'rm -rf "$unpacked" "$runtime"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/qev.desktop"
# The component id is the program's name, not a reverse domain name: a hint, not a fault.
appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info \
    "$unpacked/usr/share/metainfo/qev.metainfo.xml"
grep -qx 'ExecStart=/usr/bin/qev sync --require-synced' "$unpacked/usr/lib/systemd/user/qev-sync.service"
grep -qx 'ExecStart=/usr/bin/qev send-zones --if-changed' "$unpacked/usr/lib/systemd/user/qev-zones.service"
dpkg-deb --field "$deb" Depends | grep -q tzdata

if $install; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
    qev --version
    man -w qev >/dev/null
    XDG_RUNTIME_DIR=$runtime systemd-analyze verify --user \
        /usr/lib/systemd/user/qev-sync.service /usr/lib/systemd/user/qev-sync.timer \
        /usr/lib/systemd/user/qev-zones.service /usr/lib/systemd/user/qev-zones.timer
    # Every :00 and :30 of UTC, as the zones' changes fall.
    systemd-analyze calendar --iterations=3 '*-*-* *:00,30:00 UTC' >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq --purge qev
fi
if $fresh; then
    command -v debootstrap >/dev/null ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
    root=$(mktemp -d)
    # Never removed while its /proc is still mounted.
    trap 'umount "$root/proc" 2>/dev/null; rm -rf "$unpacked" "$runtime"
          mountpoint -q "$root/proc" || rm -rf "$root"' EXIT
    debootstrap --variant=minbase bookworm "$root" >/dev/null
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    cp "$deb" "$root/root/"
    mount -t proc proc "$root/proc"
    chroot "$root" sh -ec "cd /root && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./$(basename "$deb") >/dev/null &&
        qev --version && test -f /usr/share/man/man1/qev.1.gz"
fi
echo "== package checks passed: $deb"
