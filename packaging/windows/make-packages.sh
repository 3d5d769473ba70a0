#!/usr/bin/env bash
# Makes the Windows downloads from the programs of a build: qev-<version>-win64.zip and the
# installer qev-<version>-setup.exe, both with the licence and the third-party notices, the
# programs and the installer signed when a certificate is configured (packaging/windows/sign.sh).
# Run by the build's qev_package target, which passes everything below:
#   make-packages.sh OUT VERSION VERSION_QUAD PUBLISHER COPYRIGHT QT_SOURCE QT_PREFIX PROGRAM...
# Each PROGRAM.exe must have its link map beside it (PROGRAM.map), for the notices.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
out=$(cd "$1" && pwd) version=$2 quad=$3 publisher=$4 copyright=$5 qt_source=$6 qt_prefix=$7
shift 7
programs=("$@")

if [ ! -d "$qt_source/src" ]; then
    echo "No Qt source at '$qt_source': the notices are taken from it (scripts/qt-mingw.sh --source)" >&2
    exit 1
fi

stage=$out/package
zip=$out/qev-$version-win64.zip
setup=$out/qev-$version-setup.exe
# Nothing of an earlier run may pass for this one's, should this one fail.
rm -rf "$stage" "$zip" "$setup"
mkdir -p "$stage"
maps=()
for exe in "${programs[@]}"; do
    # One file each: nothing but the system's own DLLs may be needed beside them.
    if x86_64-w64-mingw32-objdump -p "$exe" | grep -iE "DLL Name: *(qt6|lib(stdc|gcc|winpthread))"; then
        echo "$exe needs the DLLs above; it must be linked statically" >&2
        exit 1
    fi
    cp "$exe" "$stage/"
    maps+=("${exe%.exe}.map")
done

# Text files in Windows' line ends.
crlf() { sed 's/\r*$/\r/'; }
sed "s/@VERSION@/$version/" "$here/README.txt" | crlf >"$stage/README.txt"
crlf <"$top/LICENSE" >"$stage/LICENSE.txt"
python3 -B "$here/third_party_notices.py" --qt-source "$qt_source" --qt-prefix "$qt_prefix" \
    --version "$version" --out "$stage/notices.tmp" "${maps[@]}"
crlf <"$stage/notices.tmp" >"$stage/THIRD-PARTY-NOTICES.txt"
rm "$stage/notices.tmp"

sign=()
if [ -n "${QEV_SIGN_PFX:-}" ]; then
    echo "Signing with the certificate in QEV_SIGN_PFX ($QEV_SIGN_PFX)"
    for exe in "${programs[@]}"; do
        "$here/sign.sh" "$stage/$(basename "$exe")"
    done
    sign=("-DSIGN=$here/sign.sh")
else
    echo "Not signing: no certificate configured (set QEV_SIGN_PFX, and QEV_SIGN_PASSWORD, to sign)"
fi

files=()
for f in "$stage"/*; do
    files+=("$(basename "$f")")
done
(cd "$stage" && zip -q -X -9 "$zip" "${files[@]}")

# The installer installs the staged files and its uninstaller removes exactly those.
nsh=$out/nsis
mkdir -p "$nsh"
printf 'File "%s"\n' "${files[@]/#/$stage/}" >"$nsh/files.nsh"
printf 'Delete "$INSTDIR\\%s"\n' "${files[@]}" >"$nsh/unfiles.nsh"
makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DVERSION_QUAD=$quad" \
    "-DPUBLISHER=$publisher" "-DCOPYRIGHT=$copyright" "-DICON=$top/src/app/win/qev.ico" \
    "-DSTAGE=$stage" "-DFILES_NSH=$nsh/files.nsh" "-DUNFILES_NSH=$nsh/unfiles.nsh" \
    "-DOUTFILE=$setup" "${sign[@]}" "$here/qev.nsi"
[ -n "${QEV_SIGN_PFX:-}" ] && "$here/sign.sh" "$setup"

for exe in "${programs[@]}"; do
    echo "$stage/$(basename "$exe") ($(stat -c %s "$stage/$(basename "$exe")") bytes)"
done
echo "$zip"
echo "$setup"
