#!/usr/bin/env bash
# Configures and builds Quorlix into build/ (or $QUORLIX_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
jobs=${QUORLIX_JOBS:-$(nproc)}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${QUORLIX_BUILD_TYPE:-RelWithDebInfo} "$@"
cmake --build "$build" -j "$jobs"
