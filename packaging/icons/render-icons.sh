#!/usr/bin/env bash
# Renders the PNG icons from the SVG drawings beside this script, for desktops
# that need fixed sizes. Run it after changing a drawing and commit the PNGs.
# Needs ImageMagick (convert).
set -euo pipefail
cd "$(dirname "$0")"
for name in sceneview tegulo; do
    for size in 16 32 48 64 128 256; do
        mkdir -p "png/${size}"
        convert -background none -density 384 "${name}.svg" -resize "${size}x${size}" \
            -depth 8 -strip -define png:exclude-chunks=date,time "png/${size}/${name}.png"
    done
done
