#!/usr/bin/env bash
# The main window against `cp -r`: 10 000 files of 4 KiB copied through Start (with
# DoActionOnStart "1" and the log shown) by window-bench, and by `cp -r`, each RUNS times
# (default 5), alternating, with a `sync` (not timed) before every run; the medians are
# compared. The window's time runs from the click on Start until the run is done (the
# program's own start, loading Qt and the fonts, is not part of the copy). Then the window's
# answer time while it copies one file of 1 GiB.
#
#   bench/compare-window.sh [PATH-TO-window-bench]        RUNS=7 TMPDIR=/some/disk bench/compare-window.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=timing.sh
source "$here/timing.sh"
bench=${1:-$here/../build/bench/window-bench}
runs=${RUNS:-5}
[ -x "$bench" ] || { echo "no window-bench at $bench (build the target window-bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessaro-window.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "preparing data in $work"
mkdir -p "$work/small" "$work/large"
head -c $((4096 * 10000)) /dev/urandom | split -b 4096 -a 5 -d - "$work/small/file-"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/large/big.bin"
sync

fresh_out() {
    rm -rf "$work/out"
    mkdir "$work/out"
    sync
}

cp_times="" window_times=""
for n in $(seq 1 "$runs"); do
    rm -rf "$work/out"; sync
    cp_times+="$(seconds cp -r "$work/small" "$work/out") "
    fresh_out
    window_times+="$("$bench" copy "$work/small" "$work/out" | sed -n 's/.*wall time: \([0-9.]*\) s.*/\1/p') "
done
cp_median=$(echo "$cp_times" | tr ' ' '\n' | grep . | median)
window_median=$(echo "$window_times" | tr ' ' '\n' | grep . | median)
echo "10 000 files of 4 KiB: cp -r $cp_median s, window $window_median s, ratio" \
    "$(awk -v a="$window_median" -v b="$cp_median" 'BEGIN { printf "%.2f", a / b }') (goal: at most 1.5)"

fresh_out
echo "one file of 1 GiB:"
"$bench" latency "$work/large" "$work/out"
