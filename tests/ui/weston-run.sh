#!/bin/sh
# Runs a command as a native Wayland client of a headless Weston compositor started for it, and
# stops the compositor afterwards. Exits 77 (skipped) when Weston or Qt's Wayland platform plugin
# ($1) is not installed.
plugin="$1"
shift
command -v weston >/dev/null 2>&1 || exit 77
[ -f "$plugin" ] || exit 77
runtime=$(mktemp -d)
chmod 700 "$runtime"
socket="cq-wayland-$$"
XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --socket="$socket" \
    --width=1280 --height=1024 --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
trap 'kill "$weston_pid" 2>/dev/null; wait "$weston_pid" 2>/dev/null; rm -rf "$runtime"' EXIT
tries=0
while [ ! -S "$runtime/$socket" ] && [ "$tries" -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ ! -S "$runtime/$socket" ]; then
    cat "$runtime/weston.log"
    exit 1
fi
XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland "$@"
