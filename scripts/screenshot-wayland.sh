#!/usr/bin/env bash
# Photographs the window as a native Wayland client: a headless Weston (software rendering, and
# --debug, which lets weston-screenshooter take the output) runs the program from a program folder
# of its own with sample settings (the proxy panel shown), and the whole output is saved as
# docs/screenshots/main-window-wayland.png. Needs weston and qt6-wayland.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${CQ_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCQ_BUILD_GUI=ON
cmake --build "$build" -j "${CQ_JOBS:-2}" --target certquorix
work="$(mktemp -d)"
chmod 700 "$work"
stop() {
    for pid in "${program_pid:-}" "${weston_pid:-}"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap 'stop || true' EXIT
mkdir "$work/program" "$work/shots"
cp "$build/certquorix" "$work/program/"
printf '%s\r\n' '[Cert]' 'Country=ru' 'State=Moscow' 'Locality=Moscow' \
    'Organization=Romashka LLC' 'OrganizUnit=IT' 'CommonName=Ivan Petrov' \
    'Email=ivan@example.ru' '' '[Proxy]' 'Use=1' 'Server=proxy.example.ru' 'Port=3128' \
    >"$work/program/CertQuorix.ini"
export XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=cq-shot
weston --backend=headless-backend.so --use-pixman --debug --socket="$WAYLAND_DISPLAY" \
    --width=800 --height=680 --idle-time=0 >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
    [ -S "$work/$WAYLAND_DISPLAY" ] && break
    sleep 0.1
done
QT_QPA_PLATFORM=wayland "$work/program/certquorix" &
program_pid=$!
sleep "${CQ_SHOT_DELAY:-5}" # the shell's panel and the window drawn
(cd "$work/shots" && weston-screenshooter)
mkdir -p "$root/docs/screenshots"
cp "$work"/shots/wayland-screenshot-*.png "$root/docs/screenshots/main-window-wayland.png"
ls -l "$root/docs/screenshots/main-window-wayland.png"
