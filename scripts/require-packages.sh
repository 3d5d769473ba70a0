# Sourced by the set-up scripts.
#   qev_require_packages "<what needs them>" package...
# Installs the Debian packages that are missing when run as root; otherwise names them, with the
# command that installs them, and stops.
qev_require_packages() {
    local what=$1 p
    shift
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "$what needs these Debian packages; install them, then run this script again:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
}
