#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Roradaza needs on Debian 12, when missing: by default what
# building and running it needs; with --package also what making the .deb
# needs; with --test also the tools of the tests, the benchmarks and CI.
set -euo pipefail

run_packages=(
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools fonts-liberation2 libical-dev qt6-wayland
    qt6-translations-l10n qtkeychain-qt6-dev
)
package_packages=(
    dpkg-dev
)
test_packages=(
    clang libclang-rt-14-dev qt6-image-formats-plugins libxcb1-dev
    libbenchmark-dev faketime remind xvfb xauth xdotool x11-apps imagemagick trayer strace
    python3 appstream desktop-file-utils lintian man-db openbox x11-utils python3-icalendar
    dbus dbus-daemon at-spi2-core python3-pyatspi python3-dbus python3-gi weston
    radicale openssl
)

packages=("${run_packages[@]}")
case "${1:-}" in
'') ;;
--package) packages+=("${package_packages[@]}") ;;
--test) packages+=("${package_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "Uso: scripts/setup.sh [--package | --test]" >&2
    exit 2
    ;;
esac

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
