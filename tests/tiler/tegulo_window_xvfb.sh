#!/usr/bin/env bash
# End-to-end test of the real Tegulo window, run inside its own X server by
# xvfb-run: the window appears with its title, a screenshot shows the Korean
# captions, and a click on OK ends the program with exit code 0.
# usage: tegulo_window_xvfb.sh TEGULO CAPTION_CHECK WORKDIR
set -euo pipefail
tegulo=$1
caption_check=$2
work=$3
mkdir -p "$work"
export QT_QPA_PLATFORM=xcb
left=192
top=114

"$tegulo" &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; }
trap cleanup EXIT

window=$(timeout 20 xdotool search --sync --onlyvisible --name '비트맵 변형' | head -n1)
if [ -z "$window" ]; then
    echo "Tegulo window did not appear" >&2
    exit 1
fi
name=$(xdotool getwindowname "$window")
if [ "$name" != "비트맵 변형" ]; then
    echo "window title is '$name'" >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window $window at $X,$Y size ${WIDTH}x$HEIGHT"
sleep 1 # let it paint
import -window root "$work/tegulo-screen.png"
"$caption_check" "$work/tegulo-screen.png" "$X" "$Y"

# Click OK (client 8,232 size 241x49) and expect the program to end with 0.
xdotool mousemove --sync $((X + 8 + 120)) $((Y + 232 + 24)) click 1
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
trap - EXIT
if kill -0 "$pid" 2>/dev/null; then
    echo "Tegulo still running after OK" >&2
    kill "$pid"
    exit 1
fi
set +e
wait "$pid"
code=$?
set -e
echo "Tegulo exit code $code"
[ "$code" -eq 0 ]
