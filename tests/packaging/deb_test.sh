#!/usr/bin/env bash
# The Debian package as CPack builds it: its control data (name, version,
# dependencies on the Qt 6 runtime and the CJK fonts), its file list and
# modes, and a full install and purge in a scratch dpkg root that leaves
# nothing behind. Leaves the package in WORKDIR/deb for the window test.
# usage: deb_test.sh BUILD_DIR EXPECTED_FILES VERSION WORKDIR
set -euo pipefail
build=$1
expected=$2
version=$3
work=$4

. "$(dirname "$0")/file_list.sh"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work/deb"
cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
debs=("$work"/deb/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages: ${debs[*]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "sceneview-tegulo_${version}-1_${arch}.deb" ] || fail "package file is named $(basename "$deb")"
echo "ok: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# 1. Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = sceneview-tegulo ] || fail "Package: $(field Package)"
[ "$(field Version)" = "${version}-1" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
depends=$(field Depends)
for dep in libqt6widgets6 libqt6gui6 libqt6core6 fonts-noto-cjk; do
    # A whole package name in the comma-separated list, with or without a version.
    echo ", $depends," | grep -Eq "[ ,]$dep( \([^)]*\))?," || fail "Depends lacks $dep: $depends"
done
[ -n "$(field Description)" ] || fail "no Description"
echo "ok: control data (Depends: $depends)"

# 2. File list: the expected files under /usr, executables 0755 and data 0644,
#    all owned by root.
dpkg-deb -c "$deb" >"$work/contents.txt"
awk '$1 !~ /^d/ { print $6 }' "$work/contents.txt" | sed 's|^\./usr/||' | LC_ALL=C sort >"$work/files.txt"
check_file_list "$work/files.txt" "$expected" || fail "package files differ from $expected"
while read -r mode owner _ _ _ path _; do
    [ "$owner" = root/root ] || fail "$path is owned by $owner"
    case $mode:$path in
    d*) ;;
    -rwxr-xr-x:./usr/bin/*) ;;
    -rw-r--r--:./usr/share/*) ;;
    *) fail "$path has mode $mode" ;;
    esac
done <"$work/contents.txt"
echo "ok: $(wc -l <"$work/files.txt") files with the right modes"

# 3. The executables are stripped ELF programs for this machine.
dpkg-deb -x "$deb" "$work/root"
for exe in "$work"/root/usr/bin/*; do
    case $(basename "$exe") in sceneview-open) continue ;; esac
    file -b "$exe" | grep -q '^ELF .*, stripped$' || fail "$(basename "$exe"): $(file -b "$exe")"
done
echo "ok: executables are stripped"

# 4. Install and purge in a scratch dpkg root (dpkg only records what it
#    installed there; nothing of this machine's own package list is touched).
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: install and purge in a scratch dpkg root need root (dpkg --root)"
    exit 0
fi
root=$work/dpkg-root
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
dpkg --root="$root" --force-depends --log=/dev/null -i "$deb" >"$work/dpkg-install.log" 2>&1 || {
    cat "$work/dpkg-install.log" >&2
    fail "dpkg could not install the package"
}
dpkg-query --admindir="$admin" -W -f='${Status}\n' sceneview-tegulo | grep -qx 'install ok installed' ||
    fail "package not recorded as installed"
[ -x "$root/usr/bin/sceneview" ] && [ -x "$root/usr/bin/Tegulo" ] || fail "programs not installed"
dpkg --root="$root" --force-depends --log=/dev/null --purge sceneview-tegulo >"$work/dpkg-purge.log" 2>&1 || {
    cat "$work/dpkg-purge.log" >&2
    fail "dpkg could not purge the package"
}
left=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg' ! -path './var/lib/dpkg/*')
[ -z "$left" ] || fail "purge left behind: $left"
echo "ok: installs and purges cleanly in a scratch dpkg root"
