#!/usr/bin/env bash
# Takes the README's picture of the program on Wayland: a headless sway (run as an ordinary
# user, as sway refuses root) with its bar's notification area on a private session bus, the
# built program as a native Wayland client with the tray option on, and grim's picture of the
# whole screen.
#
#   scripts/screenshot-wayland.sh [BUILD_FOLDER] [OUTPUT]
# defaults: build docs/wayland-sway.png
set -eu
export PATH=$PATH:/usr/sbin:/sbin
. "$(dirname "$0")/setup.sh"
tessaro_install sway grim qt6-wayland dbus-daemon
root=$TESSARO_ROOT
build=${1:-$root/build}
output=${2:-$root/docs/wayland-sway.png}
program=$build/TessaroLite
user=tessaro-wayland
[ -x "$program" ] || { echo "no program at $program: build first" >&2; exit 1; }
id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"

tessaro_scratch tessaro-wayland
chmod 755 "$work"
mkdir -p "$work/runtime" "$work/own-runtime" "$work/config/Tessaro/Lite" "$work/From" "$work/To"
chown "$user" "$work/runtime"
chmod 700 "$work/runtime" "$work/own-runtime"

# A session bus that the compositor's user and root may both join.
dbus-daemon --config-file="$root/tests/e2e/session-bus.conf" --nofork --print-address=1 >"$work/bus" 2>"$work/bus.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
bus=$(head -1 "$work/bus")

cat >"$work/sway.conf" <<'CONF'
output HEADLESS-1 resolution 800x500
xwayland disable
default_border normal
bar {
    position bottom
    tray_output *
    tray_padding 3
    status_command while true; do date +%H:%M; sleep 60; done
}
CONF
chmod 644 "$work/sway.conf"
runuser -u "$user" -- env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS="$bus" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$work/sway.conf" \
    >"$work/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$work/runtime/wayland-1" ] && break; sleep 0.1; done
[ -S "$work/runtime/wayland-1" ] || { cat "$work/sway.log" >&2; echo "sway did not start" >&2; exit 1; }
sleep 2

printf '[Options]\r\nSave=0\r\nQuestion=0\r\nLanguage=English\r\nShowLog=1\r\nInterval=15\r\nSysTray=1\r\nFrom=%s\r\nTo=%s\r\n' \
    "$work/From" "$work/To" >"$work/config/Tessaro/Lite/Tessaro.ini"
env -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$work/runtime/wayland-1" XDG_RUNTIME_DIR="$work/own-runtime" \
    XDG_CONFIG_HOME="$work/config" DBUS_SESSION_BUS_ADDRESS="$bus" "$program" >"$work/program.log" 2>&1 &
pids+=($!)
sleep 4
runuser -u "$user" -- env XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY=wayland-1 grim "$work/runtime/shot.png"
cp "$work/runtime/shot.png" "$output"
echo "wrote $output"
