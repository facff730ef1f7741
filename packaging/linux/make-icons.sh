#!/bin/sh
# Renders the icon's PNG sizes from its SVG. Run by hand after changing the SVG and commit
# the PNGs: the build installs and embeds them and needs no SVG renderer.
# Needs rsvg-convert (librsvg2-bin); the .ico for Windows needs ImageMagick's convert.
set -eu
cd "$(dirname "$0")/icons"
id=io.tolvane.Tolvane
for size in 16 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x$size/apps"
    rsvg-convert -w "$size" -h "$size" "hicolor/scalable/apps/$id.svg" -o "hicolor/${size}x$size/apps/$id.png"
done
convert hicolor/16x16/apps/$id.png hicolor/32x32/apps/$id.png hicolor/48x48/apps/$id.png \
    hicolor/256x256/apps/$id.png ../../windows/tolvane.ico
