# shellcheck shell=bash
# Timing helpers for the comparison scripts beside this file; they source it.

# Prints the wall time of a command in seconds.
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

# Runs a command with its standard output into the file $1; prints its wall seconds and its CPU
# seconds: user and system time of its whole process, children included.
measure() { # output-file command...
    local out=$1 TIMEFORMAT='%3R %3U %3S' report
    shift
    report=$({ time "$@" >"$out" 2>/dev/null; } 2>&1)
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$report"
}

# Prints the median of the numbers on standard input, one a line.
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Prints what the figures depend on: the CPU model, the cores at hand, the kernel.
machine() {
    local model
    model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
    echo "${model:-unknown CPU}, $(nproc) cores, Linux $(uname -r)"
}
