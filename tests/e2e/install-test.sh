#!/usr/bin/env bash
# Installs the built programs into a temporary prefix and starts the installed TessaroLite
# (through its launcher, without a display) with a prepared configuration and /s: the
# schedule starts, the run at start copies the source files, and start-up records version
# and language in the per-user store. Usage: install-test.sh BUILD_FOLDER
set -eu
build=$1
work=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
# shellcheck source-path=SCRIPTDIR source=installed-run.sh
. "$(dirname "$0")/installed-run.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/TessaroLite bin/TessaroUpdate lib/tessaro-lite/TessaroLite lib/tessaro-lite/TessaroUpdate \
    lib/tessaro-lite/lang/English.dat lib/tessaro-lite/lang/Deutsch.dat \
    lib/tessaro-lite/bin/scheduler-blinker-on.ico lib/tessaro-lite/bin/scheduler-blinker-off.ico \
    share/applications/example.ulvenor.TessaroLite.desktop share/metainfo/example.ulvenor.TessaroLite.metainfo.xml \
    share/tessaro-lite/tessaro-lite-autostart.desktop share/icons/hicolor/48x48/apps/tessaro-lite.png; do
    [ -e "$prefix/$f" ] || fail "the installation lacks $f"
done
grep -q '^Exec=TessaroLite$' "$prefix/share/applications/example.ulvenor.TessaroLite.desktop" || fail "desktop entry without Exec"

check_installed_run "$prefix/bin/TessaroLite" English en
echo "installed program ran from $prefix/lib/tessaro-lite"
