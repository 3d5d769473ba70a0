#!/bin/sh
# Runs a Windows program under Wine in a private prefix, making the prefix first when needed.
#   cmake/wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Wine never asks to install anything and prints no debug output. No test reaches a serial port
# of this machine: COM1 to COM255 are taken by empty entries before Wine's own detection can
# hand one of them to a real /dev/ttyS* (which it then puts at COM256, a name no test uses),
# and a port test maps COM1 to its own pty.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"

if [ ! -f "$prefix/.qev-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$prefix/.qev-ready" ]; then
        rm -rf "$prefix"
        wineboot -i >/dev/null 2>&1
        ports="$prefix/qev-ports.reg"
        {
            printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
            n=1
            while [ $n -le 256 ]; do
                printf '"COM%d"=""\r\n' $n
                n=$((n + 1))
            done
        } >"$ports"
        wine reg import "$ports" >/dev/null 2>&1
        # The port devices are made when the server starts: start it again with the names taken.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w
        touch "$prefix/.qev-ready"
    fi
    exec 9>&-
fi
# Qt's offscreen platform on Windows reads font files from one folder (as Windows sees it).
if [ -z "${QT_QPA_FONTDIR:-}" ] && [ -d /usr/share/fonts/truetype/dejavu ]; then
    export QT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu
fi
exec wine "$@"
