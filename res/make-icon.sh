#!/usr/bin/env bash
# Draws the program's icon (a key over a struck-out registry list) at the
# sizes Windows asks for, and packs them into QMUninstallKeysOnly.ico.
# Needs ImageMagick; the .ico it makes is committed, so builds do not.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 32 48 256; do
  convert -size 256x256 xc:none \
    -fill '#2f5d8a' -draw 'roundrectangle 16,16 240,240 36,36' \
    -fill '#ffffff' -draw 'rectangle 52,64 204,82' -draw 'rectangle 52,110 204,128' -draw 'rectangle 52,156 150,174' \
    -stroke '#d9472b' -strokewidth 18 -draw 'line 48,214 212,44' \
    -stroke none -fill '#f2c14e' -draw 'circle 176,186 176,212' -draw 'rectangle 96,178 176,194' \
    -draw 'rectangle 104,194 116,212' -draw 'rectangle 124,194 136,206' \
    -resize ${size}x${size} "$tmp/icon-$size.png"
done
convert "$tmp"/icon-16.png "$tmp"/icon-32.png "$tmp"/icon-48.png "$tmp"/icon-256.png QMUninstallKeysOnly.ico
