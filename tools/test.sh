#!/usr/bin/env bash
# One command from a fresh clone to a full test run: installs what is missing,
# checks the formatting, builds everything, checks the engines' includes, runs
# the whole suite.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
jobs=${QUORLIX_JOBS:-$(nproc)}
"$here/tools/install-deps.sh"
"$here/tools/format.sh" --check
"$here/tools/build.sh"
# The engines' include structure: neither engine reaches into the other, no
# include circles.
python3 "$here/tools/check-engine-includes.py" "$here"
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 600 "$@"
