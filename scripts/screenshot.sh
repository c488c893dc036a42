#!/usr/bin/env bash
# Takes the pictures of the windows for the README: starts the built program on a private
# virtual display (Xvfb with openbox) with a prepared configuration, lets it copy three files
# so that the log has lines, and writes the main window (OUTPUT), then opens the options and
# the about dialog from its buttons; last it starts the program once more on a fresh
# configuration, where the language dialog comes first. Every picture holds the window with
# its frame; the dialogs go beside OUTPUT as options-dialog.png, about-dialog.png and
# language-dialog.png.
#
#   scripts/screenshot.sh [BUILD_FOLDER] [LANGUAGE] [OUTPUT]
# defaults: build English docs/main-window.png
set -eu
. "$(dirname "$0")/setup.sh"
# import, of ImageMagick, cuts the pictures out of the virtual screen.
tessaro_install xvfb openbox xdotool x11-utils imagemagick
root=$TESSARO_ROOT
build=${1:-$root/build}
language=${2:-English}
output=${3:-$root/docs/main-window.png}
pictures=$(dirname "$output")
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

mkdir -p "$work/config/Tessaro/Lite" "$work/fresh" "$work/Documents" "$work/Backup"
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

# The id of a visible window whose title matches the pattern and that is not one of the
# windows named after it; waits up to ten seconds.
wait_for_window() {
    local pattern=$1 found
    shift
    for _ in $(seq 50); do
        for found in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null || true); do
            case " $* " in *" $found "*) ;; *) echo "$found"; return 0 ;; esac
        done
        sleep 0.2
    done
    return 1
}

# Writes the window, with the frame that openbox puts around it, into a picture.
capture() {
    local window=$1 picture=$2 x y w h extents left right top bottom geometry
    read -r x y w h < <(xwininfo -id "$window" | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
    extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    IFS=, read -r left right top bottom <<<"${extents:-0,0,0,0}"
    geometry="$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))"
    mkdir -p "$(dirname "$picture")"
    import -silent -window root -crop "$geometry" +repage "$picture"
    echo "wrote $picture ($geometry)"
}

# Clicks a picture button of the main window, opens the dialog it shows and takes its
# picture. The buttons sit at fixed places of the window (96 dpi).
capture_dialog() {
    local main=$1 x=$2 y=$3 picture=$4 dialog
    xdotool mousemove --window "$main" "$x" "$y" click 1
    dialog=$(wait_for_window 'Tessaro Lite' "$main") || { echo "no dialog for $picture" >&2; exit 1; }
    xdotool mousemove 0 0
    sleep 1
    capture "$dialog" "$picture"
    xdotool key Escape
    sleep 0.5
}

XDG_CONFIG_HOME=$work/config "$program" /s >/dev/null 2>&1 &
main_pid=$!
pids+=($main_pid)
window=$(wait_for_window 'Tessaro Lite') || { echo "the window did not appear" >&2; exit 1; }
xdotool mousemove 0 0
sleep 1.5
capture "$window" "$output"
capture_dialog "$window" 85 224 "$pictures/options-dialog.png"
capture_dialog "$window" 25 224 "$pictures/about-dialog.png"
kill "$main_pid"

XDG_CONFIG_HOME=$work/fresh "$program" >/dev/null 2>&1 &
pids+=($!)
welcome=$(wait_for_window 'Tessaro Lite - ') || { echo "the language dialog did not appear" >&2; exit 1; }
sleep 1
capture "$welcome" "$pictures/language-dialog.png"
