# Shared set-up of scripts/run, scripts/test and scripts/fuzz: installs the Debian packages
# that are missing, then configures and builds a preset's folder. Quiet when nothing is
# missing. Sourced, not run.

TESSARO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

tessaro_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # the frames that the window manager draws, asked of the X server (ui/FrameExtents)
    libxcb1-dev
    libgtest-dev
    xvfb xauth openbox trayer xdotool x11-utils
    # native Wayland (Qt's plugin, a headless compositor with a tray bar, its screenshots) and
    # the session bus with the desktop's stand-ins for the StatusNotifier tray and notifications
    qt6-wayland sway grim dbus-daemon python3-dbus python3-gi
    # Qt's own texts (question buttons, folder picker) in the program's language
    qt6-translations-l10n
    # making the Debian package (cpack asks dpkg-shlibdeps and file) and checking what it ships
    dpkg-dev file desktop-file-utils appstream lintian
    # what a screen reader reads over AT-SPI: a session bus, the accessibility bus and a client
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi
    # faults from outside for the reliability tests: failing system calls, a vfat image
    strace fusefat dosfstools
    # the sticks and shares that tests and benchmarks mount through FUSE: an exFAT image (on a
    # loop device), bindfs, sshfs to an sshd of the test's own, rclone; ACLs and extended
    # attributes looked at by hand and by the benchmarks
    fuse3 exfat-fuse exfatprogs bindfs sshfs openssh-client openssh-server rclone acl attr util-linux
    # a power cut made on an ext4 image (xfs_io shuts it down); rsync beside the run in the
    # benchmarks of durable copies
    e2fsprogs xfsprogs rsync
)

# libFuzzer comes with clang's runtime libraries.
tessaro_fuzz_packages=(clang libclang-rt-14-dev)

tessaro_missing_packages() {
    local p missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]}"
}

tessaro_install() {
    local missing
    missing=$(tessaro_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing: $missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "These packages are missing and I am not root (and there is no sudo): $missing" >&2
            return 1
        fi
    fi
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# The build folder of a preset: build/ for the default one, build-PRESET/ for the others.
tessaro_build_dir() {
    if [ "$1" = default ]; then echo "$TESSARO_ROOT/build"; else echo "$TESSARO_ROOT/build-$1"; fi
}

# tessaro_build PRESET [TARGET...]: configure once, then build everything or the targets
# named (ninja is silent when nothing changed).
tessaro_build() {
    local preset=${1:-default}
    shift || true
    local dir
    dir=$(tessaro_build_dir "$preset")
    cd "$TESSARO_ROOT" || return 1
    if [ ! -f "$dir/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null || return 1
    fi
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$dir" "${targets[@]}" -- --quiet | { grep -v '^ninja: no work to do' || true; }
    return "${PIPESTATUS[0]}"
}

# Run-time options of the sanitizer build: the first report ends the program with a stack
# trace, and leaks are reported, except the one-off allocations of system libraries listed in
# tests/sanitizers/lsan.supp. Options already in the environment come last and so win.
tessaro_sanitizer_environment() {
    local asan=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1
    asan=$asan:check_initialization_order=1:strict_init_order=1
    export ASAN_OPTIONS="$asan${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
    local lsan="suppressions=$TESSARO_ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"
    export LSAN_OPTIONS="$lsan${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

# A scratch folder, in $work, for a script that starts helper processes and adds their pids to
# the array pids: when the script exits they are ended and the folder goes.
tessaro_scratch() { # name
    work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
    pids=()
    trap tessaro_end_scratch EXIT
}

tessaro_end_scratch() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
