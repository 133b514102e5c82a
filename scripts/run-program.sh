#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it. Arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCQ_BUILD_TESTS=OFF -DCQ_BUILD_BENCH=OFF
cmake --build "$root/build" -j "${CQ_JOBS:-2}"
if [ -x "$root/build/certquorix" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
    exec "$root/build/certquorix"
fi
[ $# -gt 0 ] || set -- version
exec "$root/build/certquorix-cli" "$@"
