#!/usr/bin/env bash
# Installs what building and testing Roradaza needs on Debian 12, when missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libxcb1-dev
    libbenchmark-dev faketime remind xvfb xauth xdotool x11-apps imagemagick trayer strace
    python3 dpkg-dev appstream desktop-file-utils
    libical-dev python3-icalendar
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installo: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
