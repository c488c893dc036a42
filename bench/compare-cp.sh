#!/usr/bin/env bash
# Times the transfer run (transfer-bench) against `cp -r` on the same data:
# 10 000 files of 4 KiB, then 4 files of 256 MiB. Each is run RUNS times (default 5),
# alternating the two, with the page cache left as it is and a `sync` (not timed) before
# every run; the median of each is compared.
#
#   bench/compare-cp.sh [PATH-TO-transfer-bench]        RUNS=7 TMPDIR=/some/disk bench/compare-cp.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=timing.sh
source "$here/timing.sh"
bench=${1:-$here/../build/bench/transfer-bench}
runs=${RUNS:-5}
[ -x "$bench" ] || { echo "no transfer-bench at $bench (build the target transfer-bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessaro-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "preparing data in $work"
mkdir -p "$work/small" "$work/large"
head -c $((4096 * 10000)) /dev/urandom | split -b 4096 -a 5 -d - "$work/small/file-"
for n in 1 2 3 4; do
    head -c $((256 * 1024 * 1024)) /dev/urandom >"$work/large/big-$n.bin"
done
sync

run_cp() {
    rm -rf "$work/out"
    sync
    seconds cp -r "$1" "$work/out"
}

run_bench() {
    rm -rf "$work/out"
    mkdir "$work/out"
    sync
    seconds "$bench" "$1" "$work/out"
}

compare() {
    local label=$1 source=$2 cp_times="" bench_times="" n
    for n in $(seq 1 "$runs"); do
        if [ $((n % 2)) -eq 1 ]; then
            cp_times+="$(run_cp "$source") "
            bench_times+="$(run_bench "$source") "
        else
            bench_times+="$(run_bench "$source") "
            cp_times+="$(run_cp "$source") "
        fi
    done
    local cp_median bench_median
    cp_median=$(echo "$cp_times" | tr ' ' '\n' | grep . | median)
    bench_median=$(echo "$bench_times" | tr ' ' '\n' | grep . | median)
    echo "$label"
    echo "  cp -r          runs: $cp_times  median $cp_median s"
    echo "  transfer-bench runs: $bench_times  median $bench_median s"
    awk -v b="$bench_median" -v c="$cp_median" 'BEGIN { printf "  ratio transfer-bench / cp -r: %.2f\n", b / c }'
}

compare "10 000 files of 4 KiB" "$work/small"
compare "4 files of 256 MiB" "$work/large"
