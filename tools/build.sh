#!/usr/bin/env bash
# Configures and builds Quorlix into build/ (or $QUORLIX_BUILD_DIR). In CI
# (CI=true) every compiler warning is an error.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
jobs=${QUORLIX_JOBS:-$(nproc)}
werror=OFF
if [ "${CI:-}" = "true" ]; then
  werror=ON
fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${QUORLIX_BUILD_TYPE:-RelWithDebInfo} \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=$werror "$@"
cmake --build "$build" -j "$jobs"
