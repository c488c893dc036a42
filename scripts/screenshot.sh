#!/usr/bin/env bash
# Takes the pictures of the windows for the README: starts the built program on a private
# virtual display (Xvfb with openbox) with a prepared configuration, lets it copy three files
# so that the log has lines, and writes the main window (OUTPUT), then opens the options and
# the about dialog from its buttons, asks to quit while the schedule runs, stops it, opens the
# folder picker and quits with the save question; last it starts the program once more on a
# fresh configuration, where the language dialog comes first. Every picture holds the window
# with its frame; the others go beside OUTPUT as options-dialog.png, about-dialog.png,
# quit-question.png, folder-picker.png, save-question.png and language-dialog.png.
#
#   scripts/screenshot.sh [BUILD_FOLDER] [LANGUAGE] [OUTPUT]
# defaults: build English docs/main-window.png
#
# QT_SCALE_FACTOR and QT_FONT_DPI (a larger font, as a desktop's text scaling sets it) are
# passed to the program; SCREEN gives the virtual screen's size (default 800x600), INTERVAL
# the interval in minutes (default 15). THEME=dark gives the program a dark palette the way a
# KDE desktop does (Qt's KDE platform theme reading the colours of ~/.config/kdeglobals), and
# BGCOLOR a stored window colour, as F11 ("&H00FFFFFF") or F12 ("&H8000000F") store it.
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

tessaro_scratch tessaro-shot
# The log file of the pictures' runs stays in the scratch folder.
export XDG_STATE_HOME=$work/state

mkdir -p "$work/config/Tessaro/Lite" "$work/fresh" "$work/Documents" "$work/Backup"
for name in report-2024.pdf holiday-photos.zip notes.txt; do
    head -c 4096 /dev/zero >"$work/Documents/$name"
done
cat >"$work/config/Tessaro/Lite/Tessaro.ini" <<INI
[Options]
Save=0
Question=1
DoActionOnStart=1
CheckDestination=1
From=$work/Documents
To=$work/Backup
Interval=${INTERVAL:-15}
Action=Copy
ShowLog=1
Overwrite=0
Language=$language
ShowDateAndTime=1
SysTray=1
INI
if [ "${THEME:-}" = dark ]; then
    # Breeze Dark's colours.
    cat >"$work/config/kdeglobals" <<KDE
[Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=239,240,241
[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=252,252,252
[Colors:Tooltip]
BackgroundNormal=49,54,59
ForegroundNormal=239,240,241
[Colors:View]
BackgroundNormal=35,38,41
BackgroundAlternate=49,54,59
ForegroundNormal=239,240,241
ForegroundInactive=161,169,177
ForegroundLink=29,153,243
ForegroundVisited=155,89,182
[Colors:Window]
BackgroundNormal=49,54,59
ForegroundNormal=239,240,241
ForegroundInactive=161,169,177
KDE
    cp "$work/config/kdeglobals" "$work/fresh/kdeglobals"
    export QT_QPA_PLATFORMTHEME=kde KDE_SESSION_VERSION=5 QT_STYLE_OVERRIDE=Fusion
fi
if [ -n "${BGCOLOR:-}" ]; then
    mkdir -p "$work/config/Ulvenor"
    printf '[Options]\nBGColor=%s\n' "$BGCOLOR" >"$work/config/Ulvenor/TessaroLite.conf"
fi

exec 3< <(Xvfb -displayfd 1 -screen 0 "${SCREEN:-800x600}x24" -nolisten tcp 2>/dev/null)
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

# The window's pixels per pixel of the forms (96 dpi, no scaling): the buttons are clicked there.
factor=$(awk -v s="${QT_SCALE_FACTOR:-1}" -v d="${QT_FONT_DPI:-96}" 'BEGIN { print s * d / 96 }')

# Clicks the main window at a place of its form (in form pixels).
click_at() {
    local main=$1 x=$2 y=$3
    xdotool mousemove --window "$main" "$(awk -v v="$x" -v f="$factor" 'BEGIN { printf "%d", v * f }')" \
        "$(awk -v v="$y" -v f="$factor" 'BEGIN { printf "%d", v * f }')" click 1
}

# Clicks a button of the main window, waits for the window it opens and takes its picture;
# the picture's window stays open.
capture_opened() {
    local main=$1 x=$2 y=$3 picture=$4 opened
    click_at "$main" "$x" "$y"
    opened=$(wait_for_window '.' "$main") || { echo "no window for $picture" >&2; exit 1; }
    xdotool mousemove 0 0
    sleep 1
    capture "$opened" "$picture"
    echo "$opened"
}

# Closes a dialog with Escape (No, for a question).
dismiss() {
    xdotool windowfocus "$1" key Escape 2>/dev/null || true
    sleep 0.5
}

# The buttons of the main window, in form pixels: Info, Options, Start/Stop, Quit, and the
# source folder's "...".
info=(25 224) options=(85 224) stopstart=(291 224) quit=(381 224) from=(383 38)

XDG_CONFIG_HOME=$work/config "$program" /s >/dev/null 2>&1 &
main_pid=$!
pids+=($main_pid)
window=$(wait_for_window 'Tessaro Lite') || { echo "the window did not appear" >&2; exit 1; }
xdotool mousemove 0 0
sleep 1.5
capture "$window" "$output"
dismiss "$(capture_opened "$window" "${options[@]}" "$pictures/options-dialog.png" | tail -1)"
dismiss "$(capture_opened "$window" "${info[@]}" "$pictures/about-dialog.png" | tail -1)"
dismiss "$(capture_opened "$window" "${quit[@]}" "$pictures/quit-question.png" | tail -1)"
click_at "$window" "${stopstart[@]}"
sleep 0.5
dismiss "$(capture_opened "$window" "${from[@]}" "$pictures/folder-picker.png" | tail -1)"
dismiss "$(capture_opened "$window" "${quit[@]}" "$pictures/save-question.png" | tail -1)"
wait "$main_pid" 2>/dev/null || true

XDG_CONFIG_HOME=$work/fresh "$program" >/dev/null 2>&1 &
pids+=($!)
welcome=$(wait_for_window 'Tessaro Lite - ') || { echo "the language dialog did not appear" >&2; exit 1; }
sleep 1
capture "$welcome" "$pictures/language-dialog.png"
