#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test:
#  1. the core and the command-line tool alone (no Qt), with gcc, optimised as a release;
#  2. everything with the window, with gcc, optimised with debug information; from that build the
#     Debian package is made, installed and taken down the whole road by a user created for it
#     (as root only: scripts/test-package.sh);
#  3. the core, the tool and the tests with clang under AddressSanitizer and UndefinedBehaviorSanitizer, fuzz targets
#     included (each runs for a short while).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=${CQ_JOBS:-2}
# CI and developers set CQ_WARNINGS_AS_ERRORS=ON; a user's run builds as a user's build does.
strict=-DCQ_WARNINGS_AS_ERRORS=${CQ_WARNINGS_AS_ERRORS:-OFF}

run_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$strict" "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_build build-ci-core -DCMAKE_BUILD_TYPE=Release -DCQ_BUILD_GUI=OFF
run_build build-ci-full -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCQ_BUILD_GUI=ON
bash scripts/test-package.sh build-ci-full
run_build build-ci-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCQ_SANITIZE=ON -DCQ_FUZZ=ON -DCQ_BUILD_GUI=OFF -DCQ_BUILD_BENCH=OFF
