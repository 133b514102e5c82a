#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG drawings into
# resources/desktop/icons/<N>x<N>/. The PNGs are committed, so a build needs no renderer; run
# this after changing a drawing. Needs rsvg-convert (librsvg2-bin); optipng when installed.
# The 16 px size has a drawing of its own on the pixel grid; the others come from the scalable one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
icons="$root/resources/desktop/icons"
name=org.certquorix.CertQuorix
for size in 16 22 24 32 48 64 128 256; do
    source="$icons/scalable/$name.svg"
    [ "$size" -eq 16 ] && source="$icons/source/$name-16.svg"
    mkdir -p "$icons/${size}x$size"
    rsvg-convert -w "$size" -h "$size" "$source" -o "$icons/${size}x$size/$name.png"
done
if command -v optipng >/dev/null; then
    optipng -quiet -o7 -strip all "$icons"/*x*/"$name.png"
fi
ls -l "$icons"/*x*/"$name.png"
