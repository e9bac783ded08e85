# Sourced by the scripts: installs missing packages and builds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVEX_BUILD_DIR:-$root/build}

# The packages of the named sections of scripts/packages (all sections when none is named).
packages() {
    awk -v want=" $* " '
        /^\[/ { section = substr($1, 2, length($1) - 2); next }
        /^[[:space:]]*(#|$)/ { next }
        want == "  " || index(want, " " section " ") { print $1 }' "$root/scripts/packages"
}

# Installs what is missing of the named sections; prints what it installs.
install_packages() {
    local missing=()
    for package in $(packages "$@"); do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_program() {
    cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
    cmake --build "$build"
}
