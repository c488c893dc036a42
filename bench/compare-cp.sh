#!/usr/bin/env bash
# Times the transfer run (transfer-bench, the real run with its log and date prefix, from the
# listing to the last file) against the whole of `cp -a` (which, like the run, keeps times and
# modes), `cp -r`, and `mv` for moves.
#
# Where: a tmpfs folder (TMPFS, default /dev/shm), and a journaled ext4 file system that the
# script makes in an image file and loop-mounts when it runs as root (or EXT4=/some/folder on
# one). The shared /tmp of some machines is ext4 without a journal, where creating files right
# after deleting many is up to ten times slower and varies wildly: it is not used.
# What: 10 000 files of 4 KiB, 10 000 of 64 KiB and 100 of 10 MiB copied within the file
# system; 10 000 of 4 KiB moved within it. The run (tessaro) copies with one worker, and with a
# second while the files are large or slow, or while the first waits for a flush. floor-1 and
# floor-2 (floor-bench, beside transfer-bench) make the run's system calls for each copied file in
# a plain loop, with one thread or two: what the run costs above them is the program's own, what
# they cost above `cp -a` is the price of the run's checks and of its unnamed files.
# On the journaled ext4 image the run makes every copy durable (its data is flushed, one flush
# of the file system for a batch of files, before any name points at it): there the rows are
# "copy, durable", beside `cp -a && sync` (cp-a-sync), `rsync -a --fsync` (rsync-fsync, which
# flushes every file), plain `cp -a`, and floor-1 with the same flushes (floor-durable). With
# root and mkfs.btrfs (btrfs-progs) or mkfs.xfs (xfsprogs), one file of 1 GiB copied within a
# btrfs or xfs image, against `cp -a --reflink=auto`.
# Sticks and shares, through FUSE as a desktop mounts them (root and the tools of
# scripts/setup.sh): a FAT image (fusefat), an exFAT image (exfat-fuse on a loop device), sshfs
# to an sshd that the script starts on the loopback interface, and rclone mount of a local
# folder (its default --vfs-cache-mode off, and "writes"). 200 files of 64 KiB and 5 of 20 MiB
# copied from a local folder onto each, and the 200 moved, against `cp -a`, `cp -r` and `mv`.
# `cp -a` says it cannot keep permissions or attributes on some of them; its time counts all
# the same.
# How: RUNS runs of each command (default 5), interleaved; before every run the destination is
# removed and `sync` called, neither timed; the medians are compared. Wall time: for the run,
# what transfer-bench prints as "seconds:"; for the others, the whole command. CPU time: user
# and system time of all threads; for the run, over the same span as its wall time (what
# transfer-bench prints as "cpu seconds:"), for the others, of the whole process. The run's
# rows also give the CPU time of the whole transfer-bench process, from its start to its end:
# Qt's start and the bench's own count and check of the files included. Every row gives the
# wall and the CPU ratio of the run to the first other command, and each run's figures (wall,
# CPU and, for the run, the whole process's CPU); the output names the machine
# (CPU, cores, kernel) and the file system of each place, on which the figures depend.
#
#   bench/compare-cp.sh [PATH-TO-transfer-bench]
#   RUNS=7 ONLY=tmpfs|ext4|btrfs|xfs|fusefat|exfat|sshfs|rclone|rclone-writes bench/compare-cp.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=timing.sh
source "$here/timing.sh"
bench=$(realpath "${1:-$here/../build/bench/transfer-bench}")
floor=$(dirname "$bench")/floor-bench
runs=${RUNS:-5}
[ -x "$bench" ] || { echo "no transfer-bench at $bench (build the target transfer-bench)" >&2; exit 1; }
[ -x "$floor" ] || { echo "no floor-bench at $floor (build the target floor-bench)" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaro-compare.XXXXXX")
mounts=()
fuse_mounts=()
servers=()
loops=()
cleanup() {
    local m
    for m in "${fuse_mounts[@]}"; do fusermount3 -u -z "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
    for m in "${servers[@]}"; do kill "$m" 2>/dev/null || true; done
    for m in "${loops[@]}"; do losetup -d "$m" 2>/dev/null || true; done
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

# Mounts a fresh file system of type $1 made in an image of size $2 on $scratch/$1 (not in a
# subshell: the clean-up must know the mount).
make_image_fs() {
    local type=$1 size=$2 image="$scratch/$1.img" folder="$scratch/$1"
    mkdir -p "$folder"
    truncate -s "$size" "$image"
    case $type in
        ext4) mkfs.ext4 -q -F -O has_journal "$image" ;;
        btrfs) mkfs.btrfs -q -f "$image" >/dev/null ;;
        xfs) mkfs.xfs -q -f "$image" ;;
    esac
    mount -o loop "$image" "$folder"
    mounts+=("$folder")
}

make_files() { # folder count bytes
    mkdir -p "$1"
    head -c $(($2 * $3)) /dev/urandom | split -b "$3" -a 5 -d - "$1/file-"
}

# One run of transfer-bench: the wall and the CPU seconds of the transfer run itself, as the
# bench measures them (from the listing of the source to the last file, as in the window, where
# the program is already running), and the CPU seconds of its whole process.
run_figures() { # source out [--move]
    local report figures
    report=$(mktemp "$scratch/report.XXXXXX")
    figures=$(measure "$report" "$bench" "$@")
    echo "$(sed -n 's/^seconds: //p' "$report") $(sed -n 's/^cpu seconds: //p' "$report") ${figures#* }"
    rm -f "$report"
}

# Prints the wall and the CPU seconds of one run; the destination goes first, untimed.
time_copy() { # tool source out
    rm -rf "$3"
    [[ $1 == tessaro* || $1 == floor-* ]] && mkdir "$3"
    sync
    case $1 in
        tessaro) run_figures "$2" "$3" ;;
        tessaro-*) run_figures "$2" "$3" --workers "${1#tessaro-}" ;;
        floor-durable) measure /dev/null "$floor" "$2" "$3" 1 --durable ;;
        floor-*) measure /dev/null "$floor" "$2" "$3" "${1#floor-}" ;;
        cp-a) measure /dev/null cp -a "$2" "$3" ;;
        cp-a-sync) measure /dev/null bash -c 'cp -a "$1" "$2" && sync' _ "$2" "$3" ;;
        rsync-fsync) measure /dev/null rsync -a --fsync "$2/" "$3" ;;
        cp-r) measure /dev/null cp -r "$2" "$3" ;;
        reflink) measure /dev/null cp -a --reflink=auto "$2" "$3" ;;
    esac
}

time_move() { # tool source out
    rm -rf "$3" "$2.moving"
    cp -a "$2" "$2.moving"
    mkdir "$3"
    sync
    case $1 in
        tessaro) run_figures "$2.moving" "$3" --move ;;
        mv) measure /dev/null bash -c 'mv -t "$1" "$2"/*' _ "$3" "$2.moving" ;;
    esac
}

# The median of field $1 of the "wall cpu" pairs on standard input, one pair a line.
pair_median() { awk -v f="$1" '{ print $f }' | median; }

# Runs each tool RUNS times in turn, the order turning each round; prints the medians, the
# ratios of the run and of the floor to the first other tool, and every run's wall and CPU
# seconds.
compare() { # label kind(copy|move) source out tools...
    local label=$1 kind=$2 source=$3 out=$4
    shift 4
    local tools=("$@") n i t
    declare -A runs_of=() wall=() cpu=() process=()
    for n in $(seq 1 "$runs"); do
        for i in "${!tools[@]}"; do
            t=${tools[$(((i + n) % ${#tools[@]}))]}
            runs_of[$t]+="$("time_$kind" "$t" "$source" "$out")"$'\n'
        done
    done
    rm -rf "$out"
    local line="$label ($runs runs, medians, wall/CPU):" base=""
    for t in "${tools[@]}"; do
        wall[$t]=$(grep . <<<"${runs_of[$t]}" | pair_median 1)
        cpu[$t]=$(grep . <<<"${runs_of[$t]}" | pair_median 2)
        [[ $t == tessaro* ]] && process[$t]=$(grep . <<<"${runs_of[$t]}" | pair_median 3)
        line+=" $t ${wall[$t]}/${cpu[$t]} s,"
        [ -z "$base" ] && [ "$t" != tessaro ] && base=$t
    done
    echo "${line%,}"
    local floor=""
    for t in "${tools[@]}"; do [[ $t == floor-1 || $t == floor-durable ]] && floor=$t; done
    for t in "${tools[@]}"; do
        [[ $t == tessaro* || $t == floor-* ]] || continue
        awk -v t="$t" -v w="${wall[$t]}" -v bw="${wall[$base]}" -v c="${cpu[$t]}" -v bc="${cpu[$base]}" \
            -v p="${process[$t]:-}" -v n="$base" 'BEGIN {
                printf "    %s / %s: wall %.2f, CPU %.2f", t, n, w / bw, c / bc
                if (p != "") printf " (the whole process %.3f s: %.2f)", p, p / bc
                printf "\n" }'
        # What the run costs above its own system calls.
        if [[ $t == tessaro && -n $floor ]]; then
            awk -v w="${wall[$t]}" -v fw="${wall[$floor]}" -v c="${cpu[$t]}" -v fc="${cpu[$floor]}" -v f="$floor" \
                'BEGIN { printf "    tessaro / %s: wall %.2f, CPU %.2f\n", f, w / fw, c / fc }'
        fi
    done
    for t in "${tools[@]}"; do
        local fields="wall/CPU"
        [[ $t == tessaro* ]] && fields+="/process CPU"
        echo "    $t runs ($fields s): $(grep . <<<"${runs_of[$t]}" | tr ' \n' '/ ' | sed 's/ $//')"
    done
}

# The file system that holds a folder and its mount options (the topmost of stacked mounts).
mounted_as() { findmnt -n -o FSTYPE,OPTIONS --target "$1" | tail -1 | tr -s ' '; }

# On a disk every copy of the run is durable: beside it there what makes other tools' copies so.
measure_in() { # place-name folder [durable]
    local name=$1 dir=$2 durable=${3:-} tools row=""
    echo "== $name ($dir; $(mounted_as "$dir"))"
    make_files "$dir/small" 10000 4096
    make_files "$dir/medium" 10000 65536
    make_files "$dir/large" 100 $((10 * 1024 * 1024))
    sync
    tools=(cp-a tessaro floor-1)
    if [ -n "$durable" ]; then
        row=", durable"
        tools=(cp-a-sync tessaro floor-durable cp-a rsync-fsync)
        command -v rsync >/dev/null || { unset 'tools[4]'; echo "(rsync is not installed)"; }
    fi
    compare "10 000 x 4 KiB, copy$row" copy "$dir/small" "$dir/out" "${tools[@]}"
    compare "10 000 x 64 KiB, copy$row" copy "$dir/medium" "$dir/out" "${tools[@]}"
    [ -z "$durable" ] && tools+=(floor-2)
    compare "100 x 10 MiB, copy$row" copy "$dir/large" "$dir/out" "${tools[@]}"
    compare "10 000 x 4 KiB, move" move "$dir/small" "$dir/out" mv tessaro
    rm -rf "$dir/small" "$dir/medium" "$dir/large" "$dir/small.moving"
}

echo "on $(machine); $runs runs of each"

want() { [ -z "${ONLY:-}" ] || [ "$ONLY" = "$1" ]; }

if want tmpfs; then
    place=$(mktemp -d "${TMPFS:-/dev/shm}/tessaro-compare.XXXXXX")
    measure_in tmpfs "$place"
    rm -rf "$place"
fi

if want ext4; then
    if [ -n "${EXT4:-}" ]; then
        measure_in "ext4 (given)" "$(mktemp -d "$EXT4/tessaro-compare.XXXXXX")" durable
    elif [ "$(id -u)" -eq 0 ]; then
        make_image_fs ext4 4G
        measure_in "ext4 with journal, loop image" "$scratch/ext4" durable
    else
        echo "== ext4: left out (run as root to make a journaled image, or set EXT4=/folder)"
    fi
fi

# Copy-on-write file systems: a copy within one of them shares the blocks of its source.
for fs in btrfs xfs; do
    want "$fs" || continue
    if [ "$(id -u)" -ne 0 ] || ! command -v "mkfs.$fs" >/dev/null; then
        echo "== $fs: left out (needs root and mkfs.$fs, from btrfs-progs or xfsprogs)"
        continue
    fi
    make_image_fs "$fs" 3G
    dir="$scratch/$fs"
    echo "== $fs, loop image ($dir; $(mounted_as "$dir"))"
    mkdir "$dir/one"
    head -c $((1024 * 1024 * 1024)) /dev/urandom >"$dir/one/big.bin"
    sync
    compare "1 GiB in one file, copy" copy "$dir/one" "$dir/out" reflink tessaro
done

# -- Sticks and shares through FUSE -------------------------------------------------------------

# Waits until something is mounted on the folder.
await_mount() { # folder
    local i
    for i in $(seq 1 200); do mountpoint -q "$1" && return 0; sleep 0.05; done
    return 1
}

# Mounts a file system of the kind on $scratch/fuse-KIND (not in a subshell: the clean-up must
# know the mount); fails with a word on what is missing.
mount_fuse() { # kind
    local kind=$1 dir="$scratch/fuse-$1" image="$scratch/fuse-$1.img" port loop
    mkdir -p "$dir"
    case $kind in
        fusefat)
            truncate -s 1G "$image" && mkfs.vfat "$image" >/dev/null && fusefat -o rw+ "$image" "$dir" 2>/dev/null ;;
        exfat)
            truncate -s 1G "$image" && mkfs.exfat "$image" >/dev/null && loop=$(losetup -f --show "$image") || return 1
            loops+=("$loop")
            mount.exfat-fuse "$loop" "$dir" >/dev/null ;;
        sshfs)
            mkdir -p "$scratch/ssh" "$scratch/shared" /run/sshd
            ssh-keygen -q -t ed25519 -N '' -f "$scratch/ssh/host" && ssh-keygen -q -t ed25519 -N '' -f "$scratch/ssh/client" || return 1
            cp "$scratch/ssh/client.pub" "$scratch/ssh/authorized_keys"
            printf '%s\n' "HostKey $scratch/ssh/host" "AuthorizedKeysFile $scratch/ssh/authorized_keys" \
                "ListenAddress 127.0.0.1" "PasswordAuthentication no" "PermitRootLogin prohibit-password" \
                "StrictModes no" "UsePAM no" "PidFile none" "Subsystem sftp internal-sftp" >"$scratch/ssh/config"
            port=$((20000 + RANDOM % 20000))
            "$(command -v sshd || echo /usr/sbin/sshd)" -D -f "$scratch/ssh/config" -p "$port" 2>/dev/null &
            servers+=($!)
            sleep 0.5
            sshfs -p "$port" -o "IdentityFile=$scratch/ssh/client,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes" \
                "$(id -un)@127.0.0.1:$scratch/shared" "$dir" 2>/dev/null ;;
        rclone | rclone-writes)
            mkdir -p "$scratch/$kind-under" "$scratch/$kind-cache"
            rclone mount --config /dev/null --cache-dir "$scratch/$kind-cache" \
                --vfs-cache-mode "$([ "$kind" = rclone ] && echo off || echo writes)" \
                ":local:$scratch/$kind-under" "$dir" 2>/dev/null &
            servers+=($!) ;;
    esac || return 1
    await_mount "$dir" || return 1
    fuse_mounts+=("$dir")
}

measure_on_fuse() { # kind
    local kind=$1 dir="$scratch/fuse-$1" from="$scratch/local-files"
    echo "== $kind, through FUSE ($dir; $(mounted_as "$dir"))"
    if [ ! -d "$from" ]; then
        make_files "$from/small" 200 65536
        make_files "$from/large" 5 $((20 * 1024 * 1024))
    fi
    sync
    compare "200 x 64 KiB, copy" copy "$from/small" "$dir/out" cp-a tessaro cp-r
    compare "5 x 20 MiB, copy" copy "$from/large" "$dir/out" cp-a tessaro cp-r
    compare "200 x 64 KiB, move" move "$from/small" "$dir/out" mv tessaro
}

for kind in fusefat exfat sshfs rclone rclone-writes; do
    want "$kind" || continue
    if [ "$(id -u)" -ne 0 ] || [ ! -e /dev/fuse ]; then
        echo "== $kind: left out (needs root and /dev/fuse)"
        continue
    fi
    if ! mount_fuse "$kind"; then
        echo "== $kind: left out (could not mount it; scripts/setup.sh installs the tools)"
        continue
    fi
    measure_on_fuse "$kind"
done
