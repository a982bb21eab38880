#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the program's icon into hicolor/ at the sizes desktop menus ask for.
# The pictures are kept in the repository so that building needs no renderer.
set -euo pipefail
cd "$(dirname "$0")"
render() {
    if command -v rsvg-convert >/dev/null; then
        rsvg-convert --width "$2" --height "$2" --output "$3" "$1"
    else
        convert -background none -density 384 "$1" -resize "$2x$2" "$3"
    fi
}
for size in 16 22 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    render roradaza.svg "$size" "hicolor/${size}x${size}/apps/roradaza.png"
done
