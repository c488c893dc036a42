#!/usr/bin/env bash
# Draws the shipped pictures again (assets/icons/*.png and *.bmp, assets/bin/*.ico) with
# draw-icons.cpp. The pictures are committed; run this only after changing the drawing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -O1 -o "$work/draw-icons" "$here/draw-icons.cpp" $(pkg-config --cflags --libs Qt6Gui)
"$work/draw-icons" "$here/.."
