#!/usr/bin/env bash
# Both programs start from the files of the Debian package, run inside an X
# server (xvfb-run): sceneview through the installed launcher on a trans.dat,
# in that file's folder, showing a picture, and ending by File > Exit with 0;
# then through the launcher with no scene around, on the installed demo;
# Tegulo showing its window and ending by its OK button with 0.
# usage: deb_xvfb_test.sh DEB_DIR WORKDIR
set -euo pipefail
debdir=$1
work=$2
export QT_QPA_PLATFORM=xcb

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
debs=("$debdir"/*.deb)
[ -f "${debs[0]}" ] || fail "no package in $debdir"
dpkg-deb -x "${debs[0]}" "$work/root"
bin=$work/root/usr/bin

pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null || true; }
trap cleanup EXIT

# Waits for a visible window whose name contains $1; prints its id.
find_window() {
    timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n1
}

# Number of distinct colours in the window $1 (a blank window has one or two).
colours_of() {
    import -window "$1" "$work/shot.png"
    convert "$work/shot.png" -format '%k' info:
}

# Waits up to 10 s for $pid to end; checks its exit code is 0.
expect_exit_0() {
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "$1 still running"
    set +e
    wait "$pid"
    local code=$?
    set -e
    pid=
    [ "$code" -eq 0 ] || fail "$1 ended with $code"
}

# Runs sceneview through the launcher with the arguments given, from $work;
# expects its window in the folder $1 with a drawn scene, then ends it by File > Exit.
sceneview_in() {
    local folder=$1
    shift
    (cd "$work" && exec "$bin/sceneview-open" "$@") &
    pid=$!
    local window
    window=$(find_window '입체 보기')
    [ -n "$window" ] || fail "the sceneview window did not appear"
    [ "$(readlink -f /proc/"$pid"/cwd)" = "$(readlink -f "$folder")" ] ||
        fail "sceneview runs in $(readlink -f /proc/"$pid"/cwd), not in $folder"
    local n=0
    for _ in $(seq 1 40); do
        n=$(colours_of "$window")
        [ "$n" -gt 50 ] && break
        sleep 0.25
    done
    [ "$n" -gt 50 ] || fail "the sceneview window shows no scene ($n colours)"
    echo "ok: sceneview from the package shows the scene in $folder ($n colours)"
    # File > Exit; a menu that opened too slowly under load to take the x is
    # closed with Escape and tried again.
    for attempt in 1 2 3; do
        xdotool windowfocus --sync "$window" 2>/dev/null || break
        xdotool key --clearmodifiers alt+f
        sleep $((attempt))
        xdotool key x
        for _ in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break 2
            sleep 0.1
        done
        xdotool key Escape
    done
    expect_exit_0 sceneview
}

"$bin/scenegen" demo "$work/scene" >/dev/null
sceneview_in "$work/scene" "$work/scene/trans.dat"
sceneview_in "$work/root/usr/share/sceneview/demo"

"$bin/Tegulo" &
pid=$!
window=$(find_window '비트맵 변형')
[ -n "$window" ] || fail "the Tegulo window did not appear"
sleep 1 # let it paint
n=$(colours_of "$window")
[ "$n" -gt 2 ] || fail "the Tegulo window is blank ($n colours)"
echo "ok: Tegulo from the package shows its window ($n colours)"
eval "$(xdotool getwindowgeometry --shell "$window")"
# The OK button: client 8,232, size 241 x 49.
xdotool mousemove --sync $((X + 8 + 120)) $((Y + 232 + 24)) click 1
expect_exit_0 Tegulo
echo "ok: both programs started from the package and ended normally"
