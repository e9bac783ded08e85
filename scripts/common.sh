# Sourced by the scripts: installs missing packages and builds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVEX_BUILD_DIR:-$root/build}

install_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$root/scripts/packages")
    for package in $wanted; do
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
