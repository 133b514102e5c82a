#!/usr/bin/env bash
# Draws the main window (RSA mode, GOST mode, proxy hidden, reception tab after a check, a
# certificate offered for renewal and a pending renewal) and the information panel (texts 97, 98
# and 99) into docs/screenshots/*.png on a virtual X display; the renewal pictures once more with
# the fonts at 120 DPI; then all of them once more in English (*-en.png).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${CQ_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCQ_BUILD_GUI=ON
cmake --build "$build" -j "${CQ_JOBS:-2}" --target certquorix_screenshots
mkdir -p "$root/docs/screenshots"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    "$build/tests/ui/certquorix_screenshots" "$root/docs/screenshots"
QT_QPA_PLATFORM=xcb QT_FONT_DPI=120 xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    "$build/tests/ui/certquorix_screenshots" "$root/docs/screenshots" -dpi120
# The same pictures in English.
for dpi in 96 120; do
    suffix=$([ "$dpi" = 120 ] && echo -dpi120 || true)
    env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=en_US.UTF-8 QT_QPA_PLATFORM=xcb QT_FONT_DPI=$dpi \
        xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
        "$build/tests/ui/certquorix_screenshots" "$root/docs/screenshots" $suffix
done
ls -l "$root/docs/screenshots"
