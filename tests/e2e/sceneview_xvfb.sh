#!/usr/bin/env bash
# End-to-end test of sceneview on a real X server (run inside xvfb-run): the
# window appears with its title and shows the demo scene exactly as
# `scenetool render` draws it at the same size and pose; Up changes the picture
# and Down brings it back; a resize keeps the view; Copy puts the client area
# on the clipboard; Exit ends the program with exit code 0.
# usage: sceneview_xvfb.sh SCENEVIEW SCENEGEN SCENETOOL IMAGE_MATCH WORKDIR
set -euo pipefail
sceneview=$1
scenegen=$2
scenetool=$3
match=$4
work=$5
rm -rf "$work"
mkdir -p "$work/scene"
"$scenegen" demo "$work/scene" >/dev/null
export QT_QPA_PLATFORM=xcb
# Under AddressSanitizer: libxkbcommon-x11 (the X keyboard map, read when Qt
# connects to the display) trips strict string checks inside strndup; that
# check is for our code, not the system's X libraries.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
title='입체 보기 ver 1.0(모라온)-Up,Down,Left,Right,PgUp,PgDn 키보드 사용'

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cd "$work/scene"
"$sceneview" &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; }
trap cleanup EXIT

window=$(timeout 30 xdotool search --sync --onlyvisible --name '입체 보기' | head -n1)
[ -n "$window" ] || fail "the sceneview window did not appear"
name=$(xdotool getwindowname "$window")
[ "$name" = "$title" ] || fail "window title is '$name'"

# Waits until a screenshot shows the picture $1 (pixel for pixel) somewhere.
shot=0
wait_for_picture() {
    for _ in $(seq 1 60); do
        shot=$((shot + 1))
        import -window root "$work/screen-$shot.png"
        if "$match" contains "$work/screen-$shot.png" "$1" >/dev/null; then
            echo "screen-$shot shows $(basename "$1")"
            return 0
        fi
        sleep 0.25
    done
    fail "the screen never showed $(basename "$1") (last: screen-$shot.png)"
}

# Copy from the Image menu, then the clipboard's picture into $1.
copy_to() {
    xdotool windowfocus --sync "$window"
    xclip -selection clipboard -i /dev/null # empty it first
    xdotool key --clearmodifiers alt+i
    sleep 0.3
    xdotool key c
    for _ in $(seq 1 40); do
        if xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -q image/png; then
            xclip -selection clipboard -t image/png -o >"$1"
            return 0
        fi
        sleep 0.25
    done
    fail "Copy put no image on the clipboard"
}

key() {
    xdotool windowfocus --sync "$window"
    xdotool key "$@"
}

render() { # render OUT SIZE [KEYS]
    "$scenetool" render "$work/scene/trans.dat" -o "$1" --size "$2" ${3:+--keys "$3"} 2>/dev/null ||
        fail "scenetool render failed for $1"
}

# 1. The scene as it opens, at the client size: Copy gives it, the screen shows it.
sleep 1
copy_to "$work/copy-0.png"
size=$(identify -format '%wx%h' "$work/copy-0.png")
echo "client area $size"
render "$work/ref-0.png" "$size"
"$match" colours "$work/ref-0.png" 1000 >/dev/null || fail "the reference picture is nearly empty"
"$match" same "$work/copy-0.png" "$work/ref-0.png" || fail "Copy differs from scenetool render"
wait_for_picture "$work/ref-0.png"

# 2. Up moves forward: a new picture, the one render draws after Up.
render "$work/ref-up.png" "$size" Up
"$match" differ "$work/ref-0.png" "$work/ref-up.png" 0.1 >/dev/null || fail "Up hardly changes the picture"
key Up
wait_for_picture "$work/ref-up.png"

# 3. Down brings the first view back.
render "$work/ref-updown.png" "$size" Up,Down
"$match" same "$work/ref-updown.png" "$work/ref-0.png" 0.001 || fail "Up then Down does not come back"
key Down
wait_for_picture "$work/ref-updown.png"

# 4. Turn, then resize: the view is kept at the new size.
key Right
render "$work/ref-right.png" "$size" Up,Down,Right
wait_for_picture "$work/ref-right.png"
xdotool windowsize --sync "$window" 700 500 || xdotool windowsize "$window" 700 500
sleep 1
copy_to "$work/copy-resized.png"
resized=$(identify -format '%wx%h' "$work/copy-resized.png")
echo "client area after resize $resized"
[ "$resized" != "$size" ] || fail "the client area kept its size"
render "$work/ref-resized.png" "$resized" Up,Down,Right
"$match" same "$work/copy-resized.png" "$work/ref-resized.png" || fail "the resize lost the view"
wait_for_picture "$work/ref-resized.png"

# 5. Exit from the File menu ends the program with 0.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key x
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
trap - EXIT
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    fail "sceneview still running after Exit"
fi
set +e
wait "$pid"
code=$?
set -e
echo "sceneview exit code $code"
[ "$code" -eq 0 ]
