#!/usr/bin/env bash
# Makes app/ostrelle.ico again: its 16- and 32-pixel images are kept as they
# are (drawn for those sizes); the 48- and 256-pixel images are rendered from
# the same design drawn as vectors below (a blue rounded square with a white
# magnifier), 4 times larger and scaled down. Needs ImageMagick.
#   bash tools/make-icon.sh
set -euo pipefail
cd "$(dirname "$0")/.."
icon=app/ostrelle.ico
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The kept images, found by their size (the icon may already hold the others).
for size in 16 32; do
  index=$(identify -format '%p %w\n' "$icon" | awk -v s="$size" '$2 == s { print $1; exit }')
  [ -n "$index" ] || { echo "no ${size}-pixel image in $icon" >&2; exit 1; }
  convert "$icon[$index]" "PNG32:$work/$size.png"
done

# The design on a 1024-pixel canvas: at 32 pixels the square spans 2 to 30
# with corners of radius 6, the ring is centred at 14.5 with radii 4.25 to
# 8.5, the handle runs at 45 degrees to about 26.
convert -size 1024x1024 xc:none \
  -fill '#1D4F91' -stroke none -draw 'roundrectangle 64,64 959,959 192,192' \
  -fill none -stroke white -strokewidth 136 -draw 'circle 464,464 464,668' \
  -strokewidth 136 -draw 'stroke-linecap round line 640,640 824,824' \
  "PNG32:$work/1024.png"
for size in 48 256; do
  convert "$work/1024.png" -filter Lanczos -resize "${size}x${size}" "PNG32:$work/$size.png"
done

# Windows reads the 256-pixel image of an icon as PNG, the others as bitmaps.
convert "$work/16.png" "$work/32.png" "$work/48.png" "$work/256.png" "$icon"
identify "$icon"
