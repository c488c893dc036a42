# shellcheck shell=bash
# Sourced by the install and package tests: runs an installed TessaroLite with /s, headless,
# over two folders of its own in $work, and checks that the run at start copied the files
# and that start-up recorded version and language for the update launcher. Needs $work, a
# variable pid (the caller's clean-up kills the program) and fail().
#   check_installed_run PROGRAM LANGUAGE CODE       e.g. /usr/bin/TessaroLite Deutsch de
check_installed_run() {
    local program=$1 language=$2 code=$3 config=$work/config n
    mkdir -p "$config/Tessaro/Lite" "$work/from" "$work/to"
    for n in one two three; do echo "file $n" >"$work/from/$n.txt"; done
    printf '[Options]\r\nSave=0\r\nQuestion=0\r\nDoActionOnStart=1\r\nCheckDestination=1\r\nFrom=%s\r\nTo=%s\r\nInterval=5\r\nAction=Copy\r\nShowLog=1\r\nOverwrite=0\r\nLanguage=%s\r\nShowDateAndTime=1\r\n' \
        "$work/from" "$work/to" "$language" >"$config/Tessaro/Lite/Tessaro.ini"

    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$config "$program" /s >"$work/out.txt" 2>&1 &
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

    local store=$config/Ulvenor/Tessaro.conf
    grep -q '^Version=3.01.00' "$store" || fail "no Version in $store"
    grep -q "^Language=$code" "$store" || fail "no Language=$code in $store"
}
