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

config=$work/config
mkdir -p "$config/Tessaro/Lite" "$work/from" "$work/to"
for n in one two three; do echo "file $n" >"$work/from/$n.txt"; done
printf '[Options]\r\nSave=0\r\nQuestion=0\r\nDoActionOnStart=1\r\nCheckDestination=1\r\nFrom=%s\r\nTo=%s\r\nInterval=5\r\nAction=Copy\r\nShowLog=1\r\nOverwrite=0\r\nLanguage=English\r\nShowDateAndTime=1\r\n' \
    "$work/from" "$work/to" >"$config/Tessaro/Lite/Tessaro.ini"

QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$config "$prefix/bin/TessaroLite" /s >"$work/out.txt" 2>&1 &
pid=$!

for _ in $(seq 1 100); do
    [ "$(ls "$work/to" | wc -l)" -eq 3 ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/out.txt" >&2; fail "the installed program ended early"; }
    sleep 0.1
done
for n in one two three; do
    cmp -s "$work/from/$n.txt" "$work/to/$n.txt" || fail "$n.txt was not copied by the installed program"
done
kill -0 "$pid" 2>/dev/null || fail "the installed program did not keep running"

store=$config/Ulvenor/Tessaro.conf
grep -q '^Version=3.01.00' "$store" || fail "no Version in $store"
grep -q '^Language=en' "$store" || fail "no Language in $store"
echo "installed program ran from $prefix/lib/tessaro-lite"
