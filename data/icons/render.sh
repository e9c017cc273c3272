#!/usr/bin/env bash
# Renders the PNG sizes of the icon and the Windows .ico from tavoren.svg.
# Run by hand after changing the SVG (needs ImageMagick); the results are
# checked in, so building never needs it.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(16 32 48 64 128 256)
for s in "${sizes[@]}"; do
  mkdir -p "${s}x${s}"
  convert -background none -density 96 tavoren.svg -resize "${s}x${s}" "PNG32:${s}x${s}/tavoren.png"
done
# The .ico of tavoren.exe: the sizes Windows asks for most.
convert 16x16/tavoren.png 32x32/tavoren.png 48x48/tavoren.png 256x256/tavoren.png ../tavoren.ico
# The window icon of the SDL build, built into the program: a 32-bit BMP with
# alpha, which SDL reads without an image library.
convert 64x64/tavoren.png ../tavoren-window.bmp
