#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the pictures the program shows into png/ (ImageMagick reads the
# SVG files through rsvg-convert, from librsvg2-bin): plain pictures load
# without the SVG plugin, which would cost a good part of the start-up.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p png
render() { convert -background none -density 384 "$1.svg" -resize "$2x$2" "png/$1-$2.png"; }
for size in 16 32 48; do render roradaza "$size"; done
for size in 16 22 32; do render tray "$size"; done
# The button's picture at scale 1, 1.5 and 2, each drawn for its size.
for size in 16 24 32; do
    render exit "$size"
    render exit-disabled "$size"
done
