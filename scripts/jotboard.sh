#!/usr/bin/env bash
# Sets up a Debian 12 machine for Zorvik Jotboard, builds it, then either installs and
# starts the program ("run") or runs every test ("test"). A second run installs nothing
# and rebuilds only what changed.
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVJ_BUILD_DIR:-$root/build}
prefix=${ZVJ_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/zorvik-jotboard}

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev
    libsqlite3-dev libpugixml-dev zlib1g-dev
    xdg-utils
    xvfb openbox wmctrl x11-utils xdotool trayer xclip imagemagick poppler-utils sqlite3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing Debian packages: ${missing[*]}"
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix" -DZVJ_WERROR=$werror
cmake --build "$build" -j2

case "$mode" in
run)
    cmake --install "$build"
    exec "$prefix/jotboard"
    ;;
test)
    cd "$build"
    exec ctest --output-on-failure -j2
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
