#!/usr/bin/env bash
# Signs Windows programs in place with osslsigncode (Authenticode, SHA-256).
#   packaging/windows/sign.sh FILE...
# Environment: QEV_SIGN_PFX, the certificate and its private key as a PKCS#12 file;
# QEV_SIGN_PASSWORD, its password (may be empty); QEV_SIGN_TIMESTAMP, a time-stamping server's
# address (optional: without one the signature lapses with the certificate).
set -euo pipefail
: "${QEV_SIGN_PFX:?names no certificate}"
if [ ! -r "$QEV_SIGN_PFX" ]; then
    echo "QEV_SIGN_PFX: cannot read $QEV_SIGN_PFX" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password goes through a file of our own, never on a command line that others can see.
pass=()
if [ -n "${QEV_SIGN_PASSWORD:-}" ]; then
    (umask 077 && printf '%s' "$QEV_SIGN_PASSWORD" >"$work/pass")
    pass=(-readpass "$work/pass")
fi
stamp=()
[ -n "${QEV_SIGN_TIMESTAMP:-}" ] && stamp=(-ts "$QEV_SIGN_TIMESTAMP")
for file in "$@"; do
    osslsigncode sign -pkcs12 "$QEV_SIGN_PFX" "${pass[@]}" "${stamp[@]}" -h sha256 \
        -n QEV -in "$file" -out "$work/signed" >/dev/null
    mv "$work/signed" "$file"
    echo "signed $file"
done
