#!/usr/bin/env bash
# Runs the whole suite the way a small, busy CI machine would: pinned to two
# cores, with a CPU hog pinned to the same cores, several rounds in a row, and
# prints the tests that failed in each round. Not part of CI; run it after any
# change to timing.
#
#   bash tools/stress-test.sh [rounds] [ctest arguments...]
#
#   rounds                 how many times the suite runs (default 3)
#   QUORLIX_STRESS_CORES   the cores to pin to (default 0-1)
#   QUORLIX_BUILD_DIR      the build to test (default build/; brought up to date first)
#
# Exits non-zero when any round had a failure. Each round's full output is
# kept in <build>/stress/round-N.log.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
cores=${QUORLIX_STRESS_CORES:-0-1}
rounds=3
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
  rounds=$1
  shift
fi

# An existing build is brought up to date as it is configured (switching its
# options would rebuild everything); a missing one is made.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake --build "$build" -j "${QUORLIX_JOBS:-$(nproc)}" >/dev/null
else
  "$here/tools/build.sh" >/dev/null
fi

# One ctest job and one hog per pinned core.
ncores=$(taskset -c "$cores" nproc)
hogs=()
stop_hogs() {
  local pid
  for pid in "${hogs[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${hogs[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  hogs=()
}
trap stop_hogs EXIT
trap 'exit 130' INT TERM
if command -v stress-ng >/dev/null 2>&1; then
  taskset -c "$cores" stress-ng --quiet --cpu "$ncores" --cpu-method matrixprod --timeout 0 &
  hogs+=($!)
  hog="stress-ng --cpu $ncores"
else
  for ((i = 0; i < ncores; i++)); do
    taskset -c "$cores" sh -c 'while :; do :; done' &
    hogs+=($!)
  done
  hog="$ncores busy shell loops"
fi
echo "cores $cores ($ncores), hog: $hog, $rounds rounds"

logs=$build/stress
mkdir -p "$logs"
failed_rounds=0
for ((round = 1; round <= rounds; round++)); do
  log=$logs/round-$round.log
  start=$(date +%s)
  set +e
  (cd "$build" && taskset -c "$cores" ctest --output-on-failure -j "$ncores" --timeout 600 "$@") >"$log" 2>&1
  rc=$?
  set -e
  summary=$(grep -E "tests passed|tests failed" "$log" | tail -1 || true)
  echo "round $round/$rounds: ${summary:-no summary (ctest exit $rc)}; $(($(date +%s) - start)) s;" \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
  if [ "$rc" -ne 0 ]; then
    failed_rounds=$((failed_rounds + 1))
    sed -n '/The following tests FAILED:/,$p' "$log" | grep -E '^\s+[0-9]+ - ' || true
    grep -E '^(FAIL!|   Loc:|   Actual|   Expected)' "$log" | head -40 || true
  fi
done
echo "$failed_rounds of $rounds rounds had failures (logs: $logs)"
[ "$failed_rounds" -eq 0 ]
