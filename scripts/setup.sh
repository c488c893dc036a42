# Shared set-up of scripts/run and scripts/test: installs the Debian packages that are
# missing, then configures and builds the programs in build/. Quiet when nothing is missing.
# Sourced, not run.

TESSARO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

tessaro_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev
    xvfb xauth openbox trayer xdotool x11-utils
)

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

# tessaro_build PRESET: configure once, then build (ninja is silent when nothing changed).
tessaro_build() {
    local preset=${1:-default}
    local dir=build
    [ "$preset" != default ] && dir="build-$preset"
    cd "$TESSARO_ROOT" || return 1
    if [ ! -f "$dir/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null || return 1
    fi
    cmake --build "$dir" -- --quiet | grep -v '^ninja: no work to do' || true
    return "${PIPESTATUS[0]}"
}
