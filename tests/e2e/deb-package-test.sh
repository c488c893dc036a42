#!/usr/bin/env bash
# Makes the Debian package from the build folder and checks what it ships (the files, the
# declared dependencies, desktop-file-validate, appstreamcli, and lintian, which must report
# no error and no warning); then, as root, installs it with apt, starts the installed
# TessaroLite headless with /s over two folders, checks the copy, and purges the package
# again. Without root, apt or dpkg the installation is skipped (exit 77) after the checks.
# The machine is left as it was found: on every way out the package, and any package apt
# brought in for it, are purged.
#   deb-package-test.sh BUILD_FOLDER
set -eu
build=$1
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
# shellcheck source-path=SCRIPTDIR source=installed-run.sh
. "$(dirname "$0")/installed-run.sh"

command -v dpkg-deb >/dev/null || skip "no dpkg-deb: this is not a Debian system"
for tool in cpack dpkg-shlibdeps dpkg-parsechangelog file desktop-file-validate appstreamcli lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/test installs it)"
done

work=$(mktemp -d)
# apt reads the package as its own unprivileged user.
chmod 755 "$work"
pid=""
installing=""
before=""
brought=""

installed_packages() {
    dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 == "installed" { print $2 }' | sort
}

# The packages that the installation brought: taken right after it, so that what others
# install on this machine later is never purged here.
packages_brought() {
    comm -13 <(echo "$before") <(installed_packages) | tr '\n' ' '
}

purge_brought_packages() {
    [ -z "${brought// /}" ] && return 0
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=120 $brought >"$work/purge.log" 2>&1 ||
        { cat "$work/purge.log" >&2; echo "could not purge: $brought" >&2; return 1; }
}

cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; fi
    if [ -n "$installing" ]; then
        [ -n "$brought" ] || brought=$(packages_brought)
        purge_brought_packages || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# ---- the package as made and what it ships ----------------------------------------------

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
debs=("$work"/package/tessaro-lite_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single tessaro-lite_*.deb: ${debs[*]}"
deb=${debs[0]}
chmod 644 "$deb"

depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6core6 libqt6gui6 libqt6widgets6 qt6-translations-l10n; do
    [[ ", $depends," == *", $dependency "* || ", $depends," == *", $dependency,"* ]] ||
        fail "the package does not depend on $dependency: Depends: $depends"
done
# Qt runs natively on Wayland only with its plugin.
[[ ", $(dpkg-deb -f "$deb" Recommends)," == *", qt6-wayland,"* ]] ||
    fail "the package does not recommend qt6-wayland: Recommends: $(dpkg-deb -f "$deb" Recommends)"

root=$work/root
dpkg-deb -x "$deb" "$root"
program=usr/lib/tessaro-lite
desktop=usr/share/applications/example.ulvenor.TessaroLite.desktop
autostart=usr/share/tessaro-lite/tessaro-lite-autostart.desktop
metainfo=usr/share/metainfo/example.ulvenor.TessaroLite.metainfo.xml
for f in usr/bin/TessaroLite usr/bin/TessaroUpdate $program/TessaroLite $program/TessaroUpdate \
    $program/lang/English.dat $program/lang/Deutsch.dat \
    $program/bin/scheduler-blinker-on.ico $program/bin/scheduler-blinker-off.ico \
    $desktop $autostart $metainfo usr/share/icons/hicolor/48x48/apps/tessaro-lite.png \
    usr/share/man/man1/TessaroLite.1.gz usr/share/man/man1/TessaroUpdate.1.gz \
    usr/share/doc/tessaro-lite/copyright usr/share/doc/tessaro-lite/changelog.gz; do
    [ -e "$root/$f" ] || fail "the package lacks /$f"
done
grep -q "\"/$program/TessaroLite\"" "$root/usr/bin/TessaroLite" ||
    fail "the launcher does not name /$program: $(cat "$root/usr/bin/TessaroLite")"

desktop-file-validate "$root/$desktop" "$root/$autostart" || fail "desktop-file-validate refused an entry"
# --no-net: the maker's web site is not reachable from a build machine.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli refused the metainfo"
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$root/$metainfo" || fail "the metainfo has no release $version"
changelog=$(zcat "$root/usr/share/doc/tessaro-lite/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[ "$changelog" = "$version" ] || fail "the changelog's newest entry is $changelog, the package is $version"

# Debian's own checks of a package: any error (E:) or warning (W:) fails, the notes (I:, P:)
# are shown.
status=0
lintian --fail-on error,warning --tag-display-limit 0 --display-info "$deb" >"$work/lintian.log" 2>&1 || status=$?
cat "$work/lintian.log"
# Status 2: a tag of a kind named by --fail-on; 1: lintian itself failed.
[ "$status" -ne 2 ] || fail "lintian reports errors or warnings"
[ "$status" -eq 0 ] || fail "lintian could not check the package (status $status)"

# ---- installed with apt, run, purged ----------------------------------------------------

[ "$(id -u)" -eq 0 ] || skip "the package was made and checked; installing it needs root"
command -v apt-get >/dev/null || skip "the package was made and checked; there is no apt-get to install it"
# One installation at a time on this machine, also from other build folders.
exec 9>/run/lock/tessaro-lite-package-test.lock
flock -w 600 9 || fail "another run of this test held the machine's package lock for ten minutes"
status=$(dpkg-query -W -f='${db:Status-Status}' tessaro-lite 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] ||
    fail "tessaro-lite is already on this machine ($status); this test installs and purges it, so purge it first: apt-get purge tessaro-lite"

before=$(installed_packages)
installing=1
# No recommended packages: what is declared must be enough.
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=120 "$deb" \
    >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt could not install the package"; }
brought=$(packages_brought)
[ "$(dpkg-query -W -f='${db:Status-Status}' tessaro-lite)" = installed ] || fail "apt did not install tessaro-lite"
[ -e /usr/share/qt6/translations/qtbase_de.qm ] || fail "Qt's German texts did not come with the package"

check_installed_run /usr/bin/TessaroLite Deutsch de
kill "$pid" && wait "$pid" 2>/dev/null || true
pid=""

purge_brought_packages || fail "apt could not purge the package"
installing=""
left=$(comm -12 <(echo "$brought" | tr ' ' '\n' | sort) <(installed_packages) | tr '\n' ' ')
[ -z "${left// /}" ] || fail "still installed after the purge: $left"
[ ! -e /$program ] && [ ! -e /usr/bin/TessaroLite ] || fail "the purge left files behind"
echo "tessaro-lite $version ($(stat -c %s "$deb") bytes) installed with apt, ran from /$program, purged"
