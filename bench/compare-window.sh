#!/usr/bin/env bash
# The main window against `cp -a`: 10 000 and 100 000 files of 4 KiB copied through Start
# (with DoActionOnStart "1" and the log shown) by window-bench, and by `cp -a`, each RUNS times
# (default 5), interleaved, with the destination removed and a `sync` before every run (not
# timed); the medians are compared. The window's time runs from the click on Start until the
# run is done (the program's own start, loading Qt and the fonts, is not part of the copy).
# All of it in a tmpfs folder (TMPFS, default /dev/shm).
#
# Then the window's answer time (how late a 10 ms timer fires) while it copies one file of
# 1 GiB within the tmpfs, and while it moves one from the tmpfs to a disk: a journaled ext4
# image that the script makes and loop-mounts when it runs as root, otherwise DISK=/folder
# (default /var/tmp).
#
#   bench/compare-window.sh [PATH-TO-window-bench]        RUNS=7 bench/compare-window.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=timing.sh
source "$here/timing.sh"
bench=$(realpath "${1:-$here/../build/bench/window-bench}")
runs=${RUNS:-5}
[ -x "$bench" ] || { echo "no window-bench at $bench (build the target window-bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPFS:-/dev/shm}/tessaro-window.XXXXXX")
disk_image=""
cleanup() {
    [ -n "$disk_image" ] && umount "$disk_image.mnt" 2>/dev/null || true
    [ -n "$disk_image" ] && rm -rf "$disk_image" "$disk_image.mnt"
    rm -rf "$work"
}
trap cleanup EXIT

window_seconds() { # source out
    rm -rf "$2"
    mkdir "$2"
    sync
    "$bench" copy "$1" "$2" 2>/dev/null | sed -n 's/.*wall time: \([0-9.]*\) s.*/\1/p'
}

cp_seconds() { # source out
    rm -rf "$2"
    sync
    seconds cp -a "$1" "$2"
}

compare() { # label count goal
    local label=$1 count=$2 goal=$3 source="$work/files-$2" n cp_times="" window_times=""
    mkdir -p "$source"
    head -c $((4096 * count)) /dev/urandom | split -b 4096 -a 6 -d - "$source/file-"
    sync
    for n in $(seq 1 "$runs"); do
        if [ $((n % 2)) -eq 1 ]; then
            cp_times+="$(cp_seconds "$source" "$work/out") "
            window_times+="$(window_seconds "$source" "$work/out") "
        else
            window_times+="$(window_seconds "$source" "$work/out") "
            cp_times+="$(cp_seconds "$source" "$work/out") "
        fi
    done
    local cp_median window_median
    cp_median=$(echo "$cp_times" | tr ' ' '\n' | grep . | median)
    window_median=$(echo "$window_times" | tr ' ' '\n' | grep . | median)
    echo "$label ($runs runs, medians): cp -a $cp_median s, window $window_median s, ratio" \
        "$(awk -v a="$window_median" -v b="$cp_median" 'BEGIN { printf "%.2f", a / b }') (goal: at most $goal)"
    rm -rf "$source" "$work/out"
}

echo "in $work"
compare "10 000 files of 4 KiB" 10000 1.0
compare "100 000 files of 4 KiB" 100000 1.1
echo "the log of the last run:"
mkdir -p "$work/files" && head -c $((4096 * 100000)) /dev/urandom | split -b 4096 -a 6 -d - "$work/files/file-"
mkdir -p "$work/out" && "$bench" copy "$work/files" "$work/out" 2>/dev/null | tail -2
rm -rf "$work/files" "$work/out"

mkdir -p "$work/large" "$work/out"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/large/big.bin"
sync
echo "one file of 1 GiB copied within the tmpfs:"
"$bench" latency "$work/large" "$work/out" 2>/dev/null | tail -1
rm -rf "$work/out"

if [ "$(id -u)" -eq 0 ] && [ -z "${DISK:-}" ]; then
    disk_image=$(mktemp "${TMPDIR:-/tmp}/tessaro-disk.XXXXXX")
    truncate -s 3G "$disk_image"
    mkfs.ext4 -q -F -O has_journal "$disk_image"
    mkdir -p "$disk_image.mnt"
    mount -o loop "$disk_image" "$disk_image.mnt"
    disk="$disk_image.mnt"
    where="a journaled ext4 image"
else
    disk=$(mktemp -d "${DISK:-/var/tmp}/tessaro-window.XXXXXX")
    where="$disk"
fi
mkdir -p "$disk/out"
echo "one file of 1 GiB moved from the tmpfs to a disk ($where):"
"$bench" latency "$work/large" "$disk/out" --move 2>/dev/null | tail -1
[ -z "$disk_image" ] && rm -rf "$disk"
