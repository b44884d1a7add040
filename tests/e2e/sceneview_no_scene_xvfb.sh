#!/usr/bin/env bash
# End-to-end test of sceneview started in a folder without trans.dat (inside
# xvfb-run): one error box says "Could not create scene!", and once it is
# answered the program ends with exit code 0 and no second box.
# usage: sceneview_no_scene_xvfb.sh SCENEVIEW IMAGE_MATCH WORKDIR
set -euo pipefail
sceneview=$1
match=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
export QT_QPA_PLATFORM=xcb
# Under AddressSanitizer: libxkbcommon-x11 (the X keyboard map, read when Qt
# connects to the display) trips strict string checks inside strndup; that
# check is for our code, not the system's X libraries.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cd "$work"
"$sceneview" &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; }
trap cleanup EXIT

# The error box has no caption of its own: it is titled "Error".
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Error$' | head -n1)
[ -n "$box" ] || fail "no message box appeared"
sleep 0.5
import -window root "$work/message-box.png"
"$match" text "$work/message-box.png" "Could not create scene!" ||
    fail "the box does not say 'Could not create scene!'"
"$match" text "$work/message-box.png" "Could not create viewport!" >/dev/null &&
    fail "the text search finds a text that is not there"

xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    if xdotool search --onlyvisible --name '^Error$' >/dev/null 2>&1; then
        fail "a second message box appeared"
    fi
    sleep 0.1
done
trap - EXIT
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    fail "sceneview still running after the message was answered"
fi
set +e
wait "$pid"
code=$?
set -e
echo "sceneview exit code $code"
[ "$code" -eq 0 ]
