#!/usr/bin/env bash
# Builds the engine tests with ThreadSanitizer (clang-14) and runs them.
#
#   tools/tsan.sh [CTEST_REGEX]
#
# Every test under tests/engine/common, tests/engine/tunnel,
# tests/engine/tunnel_e2e, tests/engine/console and tests/engine/qt (the
# engines' Qt owners and their worker threads) is built in its own folder
# (default <repo>/build-tsan) with -fsanitize=thread and run through ctest;
# any reported race fails the test (halt_on_error). The concurrency check
# proper is tst_exports_hammer: getters, runtime updates, mapping calls and
# statistics resets from several threads against a running engine.
# CTEST_REGEX narrows the run (default: all engine tests).
#
# Before the tests, the script checks itself: tools/tsan-check holds a test
# function that races a thread of its own, and the run stops unless that race
# is reported with the same options and suppressions (tools/tsan.supp names
# only frames inside Qt, so it must never hide a race in a test body).
#
# Environment: TSAN_OUT (build folder), TSAN_JOBS (parallel jobs, default 3),
# CC_TSAN / CXX_TSAN (default clang-14 / clang++-14).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${TSAN_OUT:-$root/build-tsan}
jobs=${TSAN_JOBS:-3}
cc=${CC_TSAN:-clang-14}
cxx=${CXX_TSAN:-clang++-14}
regex=${1:-}

command -v "$cxx" >/dev/null || { echo "tsan.sh: $cxx not found (install clang-14 libclang-rt-14-dev)" >&2; exit 2; }

flags="-fsanitize=thread -g -O1 -fno-omit-frame-pointer"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" \
  -DQUORLIX_BUILD_BENCH=OFF -DQUORLIX_TSAN_CHECK=ON >/dev/null

# The engine test executables: one per tst_*.cpp of the engine folders.
folders="common tunnel tunnel_e2e console qt"
targets=()
for folder in $folders; do
  for f in "$root"/tests/engine/$folder/tst_*.cpp; do
    [ -e "$f" ] && targets+=("$(basename "$f" .cpp)")
  done
done
[ ${#targets[@]} -gt 0 ] || { echo "tsan.sh: no engine tests" >&2; exit 2; }
echo "== building ${#targets[@]} engine tests and the deliberate race with ThreadSanitizer"
cmake --build "$out" -j"$jobs" --target tsan_deliberate_race "${targets[@]}"

# clang-14's TSan cannot map its shadow memory with the address-space
# randomisation of newer kernels; run without it when setarch can.
runner=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  runner=(setarch "$(uname -m)" -R)
fi

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tools/tsan.supp ${TSAN_OPTIONS:-}"
echo "== checking that a race in a test body is reported"
check_log="$out/tsan_deliberate_race.log"
if "${runner[@]}" "$out/tools/tsan-check/tsan_deliberate_race" >"$check_log" 2>&1 ||
    ! grep -q "WARNING: ThreadSanitizer: data race" "$check_log"; then
  echo "tsan.sh: the deliberate race went unreported (see $check_log): the suppressions hide too much" >&2
  exit 3
fi
echo "   reported"

echo "== running (TSAN_OPTIONS=$TSAN_OPTIONS)"
cd "$out"
labels="^engine/(${folders// /|})\$"
if [ -n "$regex" ]; then
  "${runner[@]}" ctest -L "$labels" -R "$regex" --output-on-failure -j"$jobs"
else
  "${runner[@]}" ctest -L "$labels" --output-on-failure -j"$jobs"
fi
