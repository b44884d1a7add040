#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: exactly the expected files; every
# executable answers --version with the project version; desktop entries are
# valid and point at installed programs and icons; the type database maps
# trans.dat to sceneview; every manual page formats without a warning; the
# launcher starts sceneview in the right folder; the installed demo scene is
# complete (scenetool checks and renders it from the installed files).
# usage: install_tree_test.sh BUILD_DIR EXPECTED_FILES VERSION WORKDIR
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
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2
    fail "cmake --install failed"
}

# 1. The file list.
(cd "$prefix" && find . -mindepth 1 ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$work/files.txt"
check_file_list "$work/files.txt" "$expected" || fail "installed files differ from $expected"
doc=$prefix/share/doc/sceneview-tegulo
for picture in $(grep -o '(docs/[^)]*\.png)' "$doc/README.md" | tr -d '()'); do
    [ -f "$doc/$picture" ] || fail "the installed README shows $picture, which is not installed"
done
echo "ok: $(wc -l <"$work/files.txt") files installed as expected"

# 2. --version of every installed executable.
for exe in "$prefix"/bin/*; do
    name=$(basename "$exe")
    [ -x "$exe" ] || fail "$name is not executable"
    out=$("$exe" --version 2>&1) || fail "$name --version exits with an error: $out"
    [ "$out" = "$name $version" ] || fail "$name --version prints '$out', not '$name $version'"
done
echo "ok: every executable prints its name and $version"

# 3. Desktop entries: valid, and what they name is installed.
for entry in "$prefix"/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "$(basename "$entry") is not a valid desktop entry"
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    program=${exec_line%% *}
    [ -x "$prefix/bin/$program" ] || fail "$(basename "$entry") runs '$program', which is not installed"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "$prefix/share/icons/hicolor/48x48/apps/$icon.png" ] ||
        fail "$(basename "$entry"): no 48x48 icon '$icon' (the size every desktop must find)"
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "$(basename "$entry"): no scalable icon '$icon'"
done
grep -qx 'Exec=sceneview-open %f' "$prefix/share/applications/sceneview.desktop" ||
    fail "sceneview's entry must start it through the launcher with the file (%f)"
echo "ok: desktop entries valid, programs and icons present"

# 4. The type database built from the installed type maps trans.dat to our
#    type, and the desktop database offers sceneview for it.
XDG_DATA_DIRS=$prefix/share update-mime-database "$prefix/share/mime"
grep -Eq '^[0-9]+:application/x-sceneview-scene:trans\.dat(:|$)' "$prefix/share/mime/globs2" || {
    cat "$prefix/share/mime/globs2" >&2
    fail "the type database does not know files named trans.dat"
}
grep -q 'application/x-sceneview-scene' "$prefix/share/mime/types" || fail "type not registered"
update-desktop-database "$prefix/share/applications"
grep -qx 'application/x-sceneview-scene=sceneview.desktop;' "$prefix/share/applications/mimeinfo.cache" ||
    fail "the desktop database does not open trans.dat with sceneview"
echo "ok: trans.dat is application/x-sceneview-scene and opens with sceneview"

# 5. Manual pages: one per executable, formatting without a warning, named right.
for exe in "$prefix"/bin/*; do
    name=$(basename "$exe")
    page=$prefix/share/man/man1/$name.1.gz
    [ -f "$page" ] || fail "no manual page for $name"
    warnings=$(gzip -dc "$page" | groff -k -t -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "manual page of $name: $warnings"
    gzip -dc "$page" | sed -n 1p | grep -q "^\.TH .* $version\"" || fail "manual page of $name is not of version $version"
    gzip -dc "$page" | groff -k -t -man -Tutf8 2>/dev/null | sed 's/.\x08//g' |
        grep -A1 '^NAME' | tail -n1 | grep -q "^ *$name - " || fail "manual page of $name does not name it"
done
echo "ok: manual pages"

# 6. The launcher, with a stand-in sceneview beside it that reports its folder.
fake=$work/fake-bin
mkdir -p "$fake" "$work/share/sceneview/demo"
cp "$prefix/bin/sceneview-open" "$fake/"
printf '#!/bin/sh\npwd -P\n' >"$fake/sceneview"
chmod +x "$fake/sceneview"
touch "$work/share/sceneview/demo/trans.dat"
scenes=$work/scenes
mkdir -p "$scenes/a b" "$scenes/-dash" "$scenes/empty" "$scenes/plain"
touch "$scenes/a b/trans.dat" "$scenes/-dash/trans.dat" "$scenes/plain/trans.dat" "$scenes/plain/other.dat"
real() { (cd "$1" && pwd -P); }
demo=$(real "$work/share/sceneview/demo")
# folder to run in | arguments (one per ;) | expected exit | expected folder or message
cases=(
    "$scenes/empty|$scenes/a b/trans.dat|0|$(real "$scenes/a b")"
    "$scenes/empty|$scenes/a b|0|$(real "$scenes/a b")"
    "$scenes|-dash/trans.dat|0|$(real "$scenes/-dash")"
    "$scenes/plain||0|$(real "$scenes/plain")"
    "$scenes/empty||0|$demo"
    "$scenes/plain|other.dat|2|named trans.dat"
    "$scenes/plain|missing/trans.dat|2|no such file or folder"
    "$scenes/plain|trans.dat;trans.dat|2|usage:"
    "$scenes/plain|--help|0|usage: sceneview-open"
)
for c in "${cases[@]}"; do
    IFS='|' read -r dir args code want <<<"$c"
    argv=()
    [ -n "$args" ] && IFS=';' read -r -a argv <<<"$args"
    set +e
    got=$(cd "$dir" && "$fake/sceneview-open" "${argv[@]}" 2>&1)
    status=$?
    set -e
    [ "$status" -eq "$code" ] || fail "sceneview-open ${argv[*]} in $dir: exit $status, expected $code ($got)"
    case $got in
    *"$want"*) ;;
    *) fail "sceneview-open ${argv[*]} in $dir: '$got', expected '$want'" ;;
    esac
done
echo "ok: launcher (${#cases[@]} cases)"

# 7. The installed demo scene is well-formed and every texture it names is there.
"$prefix/bin/scenetool" check "$prefix/share/sceneview/demo/trans.dat" ||
    fail "the installed demo scene is malformed"
"$prefix/bin/scenetool" render "$prefix/share/sceneview/demo/trans.dat" -o "$work/demo.png" --size 160x120 ||
    fail "the installed demo scene cannot be shown"
echo "ok: installed demo scene renders"
