#!/usr/bin/env bash
# Makes the README's pictures of Tegulo in docs/ (and the picture itself as
# examples/landscape.bmp): a picture before the
# transform and after it with each block size (made by tegulo-batch, shown at
# twice the size with hard pixel edges), and a screenshot of the Tegulo window
# after opening that picture and transforming it with block size 4, taken on
# an X server of its own.
# usage: xvfb-run -a -s "-screen 0 1024x768x24" packaging/screenshots.sh BIN_DIR
# Needs ImageMagick (convert, import) and xdotool.
set -euo pipefail
bin=$(cd "$1" && pwd)
docs=$(cd "$(dirname "$0")/.." && pwd)/docs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb

# A small landscape, 240 x 104 like Tegulo's picture area: sky, sun, hills and a
# field; its top-left corner holds nested squares of 3, 5 and 9 pixels (red,
# orange, white), the blocks copied with block size 2, 4 and 8.
convert -size 240x104 gradient:'#3b6fb6'-'#f7d59a' \
    -fill '#ffd23f' -draw 'circle 190,30 190,44' \
    -fill '#3c7a3d' -draw 'polygon 0,70 40,52 90,66 140,44 200,62 240,50 240,104 0,104' \
    -fill '#6ba046' -draw 'polygon 0,86 60,76 120,84 180,74 240,82 240,104 0,104' \
    -fill '#ffffff' -draw 'rectangle 0,0 8,8' -fill '#f39c12' -draw 'rectangle 0,0 4,4' \
    -fill '#c0392b' -draw 'rectangle 0,0 2,2' \
    -type TrueColor BMP3:"$work/before.bmp"
png() { # png IN.bmp OUT.png: twice the size, hard pixel edges
    convert "$1" -filter point -resize 200% -strip -define png:exclude-chunks=date,time "$2"
}
cp "$work/before.bmp" "$docs/../examples/landscape.bmp"
png "$work/before.bmp" "$docs/tegulo-before.png"
for a in 2 4 8; do
    "$bin/tegulo-batch" --block "$a" "$work/before.bmp" "$work/after-$a.bmp"
    png "$work/after-$a.bmp" "$docs/tegulo-after-$a.png"
done

# The window: open the picture, choose 4*4, transform, take the window.
"$bin/Tegulo" &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
window=$(timeout 20 xdotool search --sync --onlyvisible --name '비트맵 변형' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$window")"
click() { xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1; }
click 44 204 # open (열기)
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '.' | grep -v "^$window\$" | tail -n1)
sleep 1
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$work/before.bmp"
xdotool key Return
sleep 1
click 40 144 # 4*4필셀추출
click 204 204 # transform (변형)
sleep 1
import -window "$window" -strip -define png:exclude-chunks=date,time "$docs/tegulo.png"
click 128 256 # OK ends the program
wait "$pid"
echo "written: $docs/tegulo-before.png, tegulo-after-{2,4,8}.png, tegulo.png, examples/landscape.bmp"
