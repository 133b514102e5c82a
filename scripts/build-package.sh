#!/usr/bin/env bash
# Installs what the build needs, builds the window and the command-line tool as a release and
# makes the Debian package of them (see cmake/Package.cmake); prints the package's path.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${CQ_BUILD_DIR:-$root/build-package}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCQ_BUILD_GUI=ON \
    -DCQ_BUILD_TESTS=OFF -DCQ_BUILD_BENCH=OFF
cmake --build "$build" -j "${CQ_JOBS:-2}"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null
ls "$build"/package/certquorix_*.deb
