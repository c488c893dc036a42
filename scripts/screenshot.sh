#!/usr/bin/env bash
# Takes the picture of the main window for the README: starts the built program on a private
# virtual display (Xvfb with openbox) with a prepared configuration, lets it copy three files
# so that the log has lines, and writes docs/main-window.png (the window with its frame).
#
#   scripts/screenshot.sh [BUILD_FOLDER] [LANGUAGE] [OUTPUT]
# defaults: build English docs/main-window.png
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
language=${2:-English}
output=${3:-$root/docs/main-window.png}
program=$build/TessaroLite
[ -x "$program" ] || { echo "no program at $program: build first" >&2; exit 1; }
for tool in Xvfb openbox xdotool xwininfo xprop import; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/test installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessaro-shot.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config/Tessaro/Lite" "$work/Documents" "$work/Backup"
for name in report-2024.pdf holiday-photos.zip notes.txt; do
    head -c 4096 /dev/zero >"$work/Documents/$name"
done
cat >"$work/config/Tessaro/Lite/Tessaro.ini" <<INI
[Options]
Save=0
Question=0
DoActionOnStart=1
CheckDestination=1
From=$work/Documents
To=$work/Backup
Interval=15
Action=Copy
ShowLog=1
Overwrite=0
Language=$language
ShowDateAndTime=1
SysTray=1
INI

exec 3< <(Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r -t 10 display <&3 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

XDG_CONFIG_HOME=$work/config "$program" /s >/dev/null 2>&1 &
pids+=($!)
window=""
for _ in $(seq 50); do
    window=$(xdotool search --onlyvisible --name 'Tessaro Lite' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
xdotool mousemove 0 0
sleep 1.5

# The frame that openbox puts around the window belongs in the picture.
read -r x y w h < <(xwininfo -id "$window" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
IFS=, read -r left right top bottom <<<"${extents:-0,0,0,0}"
geometry="$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))"
mkdir -p "$(dirname "$output")"
import -silent -window root -crop "$geometry" +repage "$output"
echo "wrote $output ($geometry)"
