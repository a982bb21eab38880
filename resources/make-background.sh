#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates background.jpg: a soft dark-blue to teal gradient with a few
# blurred light spots and two gentle waves. Kept medium-dark so that the white
# labels and the red heading drawn over it stay readable.
# Needs ImageMagick's convert. Usage: resources/make-background.sh [output]
set -eu

out=${1:-"$(dirname "$0")/background.jpg"}
size=417x457

convert \
    -size "$size" gradient:'#12203d'-'#17505a' \
    \( -size "$size" xc:none \
       -fill 'rgba(120,200,210,0.07)' \
       -draw "path 'M 0,318 C 90,282 190,352 300,318 S 380,290 417,300 L 417,457 L 0,457 Z'" \
       -fill 'rgba(150,220,230,0.06)' \
       -draw "path 'M 0,372 C 110,340 220,402 330,368 S 400,352 417,360 L 417,457 L 0,457 Z'" \
       -fill none -stroke 'rgba(190,235,240,0.10)' -strokewidth 2 \
       -draw "path 'M 0,318 C 90,282 190,352 300,318 S 380,290 417,300'" \
       -draw "path 'M 0,372 C 110,340 220,402 330,368 S 400,352 417,360'" \
       -blur 0x4 \) -composite \
    \( -size "$size" xc:none -stroke none \
       -fill 'rgba(190,225,255,0.13)' \
       -draw 'circle 338,74 338,112' \
       -draw 'circle 62,168 62,196' \
       -draw 'circle 300,236 300,254' \
       -fill 'rgba(170,240,235,0.11)' \
       -draw 'circle 118,62 118,80' \
       -draw 'circle 372,188 372,214' \
       -draw 'circle 196,290 196,322' \
       -fill 'rgba(220,240,255,0.09)' \
       -draw 'circle 36,292 36,312' \
       -draw 'circle 250,128 250,142' \
       -draw 'circle 160,206 160,216' \
       -blur 0x9 \) -composite \
    -seed 417 -attenuate 0.2 +noise Gaussian \
    -strip -interlace none -sampling-factor 2x2 -quality 85 \
    "jpeg:$out"
