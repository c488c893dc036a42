#!/usr/bin/env bash
# The main window against `cp -a`: files copied through Start (with DoActionOnStart "1" and the
# log shown) by window-bench, and by `cp -a`, each RUNS times (default 5), interleaved, with the
# destination removed and a `sync` before every run (not timed); the medians are compared. The
# window's time runs from the click on Start until the run is done (the program's own start,
# loading Qt and the fonts, is not part of the copy). Rows (ROWS, COUNTxBYTES): 10 000 files of
# 4 KiB, 300 000 and 1 000 000 files of one byte. For each row also, from the window's runs:
# how much its peak resident memory grew per file (VmHWM after the run less VmRSS before it),
# what the log kept per line (the heap that clearing the log gives back), and the longest gap
# between the window's events (the worst lateness of a 10 ms timer from the click to the end).
# CPU time: user and system time of each whole process, window-bench's own start included.
# All of it in a tmpfs folder (TMPFS, default /dev/shm).
#
# Then the window's answer time while it copies one file of 1 GiB within the tmpfs, and while
# it moves one from the tmpfs to a disk: a journaled ext4 image that the script makes and
# loop-mounts when it runs as root, otherwise DISK=/folder (default /var/tmp); LARGE=0 leaves
# both out.
#
#   bench/compare-window.sh [PATH-TO-window-bench]
#   RUNS=3 ROWS=1000000x1 LARGE=0 bench/compare-window.sh
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

# One run of the window; prints its figures: wall seconds, peak growth in bytes per file, bytes
# per kept log line, worst lateness of the 10 ms timer in ms, and the CPU seconds of the whole
# window-bench process (its start with Qt's included).
window_run() { # source out
    local report figures
    rm -rf "$2"
    mkdir "$2"
    sync
    report=$(mktemp "$work/report.XXXXXX")
    figures=$(measure "$report" "$bench" copy "$1" "$2")
    echo "$(sed -n 's/.*wall time: \([0-9.]*\) s.*/\1/p' "$report")" \
        "$(sed -n 's/.* \([0-9]*\) bytes per file.*/\1/p' "$report")" \
        "$(sed -n 's/the log kept \([0-9.]*\) bytes per line.*/\1/p' "$report")" \
        "$(sed -n 's/.*lateness worst \([0-9.]*\) ms.*/\1/p' "$report")" \
        "${figures#* }"
    rm -f "$report"
}

# The wall and the CPU seconds of one `cp -a`.
cp_figures() { # source out
    rm -rf "$2"
    sync
    measure /dev/null cp -a "$1" "$2"
}

# The median of field $1 of the lines on standard input.
field_median() { awk -v f="$1" '{ print $f }' | median; }

compare() { # count bytes goal
    local count=$1 bytes=$2 goal=$3 source="$work/files-$1" n cp_runs="" window_runs=""
    local label="$count files of $bytes bytes"
    [ "$bytes" -eq 1 ] && label="$count files of 1 byte"
    mkdir -p "$source"
    if [ "$bytes" -eq 1 ]; then
        head -c "$count" /dev/zero | split -b 1 -a 7 -d - "$source/file-"
    else
        head -c $((bytes * count)) /dev/urandom | split -b "$bytes" -a 7 -d - "$source/file-"
    fi
    sync
    for n in $(seq 1 "$runs"); do
        if [ $((n % 2)) -eq 1 ]; then
            cp_runs+="$(cp_figures "$source" "$work/out")"$'\n'
            window_runs+="$(window_run "$source" "$work/out")"$'\n'
        else
            window_runs+="$(window_run "$source" "$work/out")"$'\n'
            cp_runs+="$(cp_figures "$source" "$work/out")"$'\n'
        fi
    done
    window_runs=$(grep . <<<"$window_runs")
    cp_runs=$(grep . <<<"$cp_runs")
    local cp_wall cp_cpu window_wall window_cpu
    cp_wall=$(field_median 1 <<<"$cp_runs")
    cp_cpu=$(field_median 2 <<<"$cp_runs")
    window_wall=$(field_median 1 <<<"$window_runs")
    window_cpu=$(field_median 5 <<<"$window_runs")
    echo "$label ($runs runs, medians, wall/CPU): cp -a $cp_wall/$cp_cpu s, window $window_wall/$window_cpu s," \
        "$(awk -v a="$window_wall" -v b="$cp_wall" -v c="$window_cpu" -v d="$cp_cpu" \
            'BEGIN { printf "ratio wall %.2f, CPU %.2f", a / b, c / d }') (goal: wall at most $goal)"
    echo "    window's peak memory grew by $(field_median 2 <<<"$window_runs") bytes per file" \
        "(goal: at most 150, the log included); the log kept $(field_median 3 <<<"$window_runs")" \
        "bytes per line; the longest gap between the window's events: $(field_median 4 <<<"$window_runs")" \
        "ms (goal: at most 100)"
    echo "    cp -a runs (wall/CPU s): $(tr ' \n' '/ ' <<<"$cp_runs" | sed 's/ $//')"
    echo "    window runs (s, bytes per file, bytes per log line, longest gap ms, CPU s):" \
        "$(tr '\n' ';' <<<"$window_runs" | sed 's/;/; /g')"
    rm -rf "$source" "$work/out"
}

echo "in $work ($(stat -f -c %T "$work")), on $(machine)"
for row in ${ROWS:-10000x4096 300000x1 1000000x1}; do
    count=${row%x*}
    goal=1.1
    [ "$count" -le 10000 ] && goal=1.0
    compare "$count" "${row#*x}" "$goal"
done

[ "${LARGE:-1}" = 1 ] || exit 0
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
# The image goes with the clean-up; a folder given on a disk goes here.
if [ -z "$disk_image" ]; then rm -rf "$disk"; fi
