#!/usr/bin/env bash
# A real window on a real X server (Xvfb, no window manager): its Korean title, key presses
# from xdotool as WM_KEYDOWN, the presented picture on screen, Copy through the menu by
# keyboard (Alt+I, C) onto the X clipboard as image/png and image/bmp, Alt+F4 ends it with 0;
# an error box during WM_CREATE shows, is answered with Enter, and the program ends with 0.
set -euo pipefail
probe=$1

if [ "${2:-}" != inner ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$probe" inner
fi

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    echo "--- probe output"; cat "$work/out" || true
    echo "--- probe errors"; cat "$work/err" || true
    exit 1
}
# Waits until the probe has printed a line matching the pattern.
await() {
    for _ in $(seq 600); do
        grep -q "$1" "$work/out" && return 0
        sleep 0.05
    done
    fail "no '$1' from the probe"
}
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }

export LC_ALL=C # the title must not depend on the locale
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
"$probe" window >"$work/out" 2>"$work/err" &
pid=$!

title='입체 보기 ver 1.0(모라온)-Up,Down,Left,Right,PgUp,PgDn 키보드 사용'
wid=$(timeout 20 xdotool search --sync --name 'PgUp,PgDn' | head -1) || fail "no window"
[ "$(xdotool getwindowname "$wid")" = "$title" ] || fail "title is '$(xdotool getwindowname "$wid")'"
await '^PAINT'
xdotool windowfocus --sync "$wid"
sleep 0.3

# Keys.
xdotool key Up Prior Next Left Right Down
await '^KEYDOWN 40'
keys=$(grep '^KEYDOWN' "$work/out" | awk '{print $2}' | tr '\n' ' ')
[ "$keys" = "38 33 34 37 39 40 " ] || fail "keys were '$keys'"

# The picture on screen: red left half, blue right half of the client area.
size=$(grep '^SIZE' "$work/out" | tail -1)
w=$(awk '{print $2}' <<<"$size")
h=$(awk '{print $3}' <<<"$size")
[ "$w" -gt 100 ] && [ "$h" -gt 100 ] || fail "client size $w x $h"
import -window "$wid" "$work/screen.png"
sh=$(identify -format '%h' "$work/screen.png")
[ "$(pixel "$work/screen.png" 10 $((sh - 10)))" = FF0000 ] || fail "screen left is not red"
[ "$(pixel "$work/screen.png" $((w - 10)) $((sh - 10)))" = 0000FF ] || fail "screen right is not blue"

# Copy from the menu, by keyboard.
xdotool key alt+i
await '^SYSKEYDOWN 73' # default processing opens the Image menu
sleep 0.5
xdotool key c
await '^COPIED'
targets=$(xclip -selection clipboard -t TARGETS -o)
grep -qx 'image/png' <<<"$targets" || fail "no image/png target: $targets"
grep -qx 'image/bmp' <<<"$targets" || fail "no image/bmp target: $targets"
xclip -selection clipboard -t image/png -o >"$work/clip.png"
[ "$(identify -format '%wx%h' "$work/clip.png")" = "${w}x${h}" ] || fail "clipboard image size"
[ "$(pixel "$work/clip.png" 5 5)" = FF0000 ] || fail "clipboard left is not red"
[ "$(pixel "$work/clip.png" $((w - 5)) $((h - 5)))" = 0000FF ] || fail "clipboard right is not blue"
xclip -selection clipboard -t image/bmp -o >"$work/clip.bmp"
[ "$(identify -format '%wx%h' "$work/clip.bmp")" = "${w}x${h}" ] || fail "clipboard bmp size"

# Alt+F4: WM_CLOSE through default processing, WM_DESTROY, quit, exit code 0.
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
set +e
wait "$pid"
code=$?
set -e
pid=
[ "$code" = 0 ] || fail "exit code $code"
grep -q '^DESTROY' "$work/out" || fail "no WM_DESTROY"
grep -qx 'EXIT 0' "$work/out" || fail "no EXIT 0"
cat "$work/out"

# A failed build in WM_CREATE: one error box (title "Error"); answered with Enter, the program
# ends with 0, and the box of the WM_SIZE that follows closes at once on the pending quit.
"$probe" failbox >"$work/out" 2>"$work/err" &
pid=$!
box=$(timeout 20 xdotool search --sync --name '^Error$' | head -1) || fail "no error box"
await '^BOX'
xdotool windowfocus --sync "$box"
sleep 0.3
import -window "$box" "$work/box.png" # the box is on screen
xdotool key Return
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
set +e
wait "$pid"
code=$?
set -e
pid=
[ "$code" = 0 ] || fail "failbox exit code $code"
grep -qx 'ANSWER 1' "$work/out" || fail "the box was not answered with OK"
grep -qx 'EXIT 0' "$work/out" || fail "failbox: no EXIT 0"
cat "$work/out"
echo PASS
