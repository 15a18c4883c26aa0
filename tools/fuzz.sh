#!/usr/bin/env bash
# Builds and runs the libFuzzer targets (clang-14, ASan + UBSan).
#
#   tools/fuzz.sh [SECONDS] [TARGET...]
#
# Every tests/fuzz/fuzz_*.cpp is a target (or only the TARGETs named, e.g.
# fuzz_packet_parse). Each runs for SECONDS (default 60) on its corpus in
# build-fuzz/corpus/<target>, seeded from tests/fuzz/corpus/<target> when that
# exists. Crashes land in build-fuzz/artifacts/<target>/, logs in
# build-fuzz/<target>.log. Exit status is non-zero when a target fails to
# build or finds a crash.
#
# A target names the code it needs in one or more comment lines:
#   // fuzz-sources: platform/capture engine/tunnel/tunnel_proto.cpp
# (folders mean every *.cpp in them except main.cpp; files are taken as named;
# several such lines add up, and so do comment lines of only paths right
# after one).
# Without that line it gets every Qt-free engine and platform folder. Adding a
# target needs no change here. A target that needs libraries names their
# pkg-config modules (its code is then built position-independent, as Qt asks):
#   // fuzz-pkg: Qt6Core libcrypto
#
# Environment: FUZZ_OUT (build folder, default <repo>/build-fuzz), FUZZ_JOBS
# (parallel compile jobs, default 4), CXX_FUZZ (default clang++-14).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
[ $# -gt 0 ] && shift
out=${FUZZ_OUT:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++-14}
jobs=${FUZZ_JOBS:-4}
default_sources="engine/common engine/tunnel engine/console platform/capture platform/driver"

command -v "$cxx" >/dev/null || { echo "fuzz.sh: $cxx not found (install clang-14 libclang-rt-14-dev)" >&2; exit 2; }
case "$secs" in ''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a number" >&2; exit 2;; esac

targets=()
if [ $# -gt 0 ]; then
  for t in "$@"; do targets+=("$root/tests/fuzz/${t%.cpp}.cpp"); done
else
  for t in "$root"/tests/fuzz/fuzz_*.cpp; do [ -e "$t" ] && targets+=("$t"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no targets" >&2; exit 2; }

mkdir -p "$out/obj"
cflags="-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I$root"
lflags="-fsanitize=fuzzer,address,undefined -pthread -lnetfilter_queue -lnfnetlink"
# Targets that run the engine capture through the simulator, never the machine.
export QUORLIX_CAPTURE=sim

# The sources a target asks for, as repo-relative .cpp paths.
sources_for() {
  local spec
  # A long list may go on over the comment lines that follow it (as the
  # formatter wraps it): lines of nothing but paths, the first one with a "/".
  spec=$(awk '
    /^\/\/[ \t]*fuzz-sources:/ { sub(/^\/\/[ \t]*fuzz-sources:[ \t]*/, ""); print; more = 1; next }
    more && /^\/\/[ \t]+[A-Za-z0-9_.-]*\/[A-Za-z0-9_.\/-]*([ \t]+[A-Za-z0-9_.\/-]+)*[ \t]*$/ {
      sub(/^\/\/[ \t]+/, ""); print; next }
    { more = 0 }' "$1" | tr '\n' ' ')
  spec=${spec% }
  [ -n "$spec" ] || spec=$default_sources
  local item f
  for item in $spec; do
    if [ -d "$root/$item" ]; then
      for f in "$root/$item"/*.cpp; do
        [ -e "$f" ] || continue
        [ "$(basename "$f")" = main.cpp ] && continue
        echo "${f#$root/}"
      done
    elif [ -f "$root/$item" ]; then
      echo "$item"
    else
      echo "fuzz.sh: $(basename "$1"): no such source $item" >&2
      return 1
    fi
  done
}

# The pkg-config flags a target asks for (--cflags or --libs); nothing without a fuzz-pkg line.
pkg_flags() {
  local pkgs
  pkgs=$(sed -n 's|^//[[:space:]]*fuzz-pkg:[[:space:]]*||p' "$1" | tr '\n' ' ')
  [ -n "${pkgs// /}" ] || return 0
  if [ "$2" = --cflags ]; then
    echo "-fPIC $(pkg-config --cflags $pkgs)"
  else
    pkg-config --libs $pkgs
  fi
}

# A generated Makefile gives us header dependency tracking and parallel builds.
mk="$out/Makefile"
{
  echo "CXX := $cxx"
  echo "CFLAGS := $cflags"
  echo "LFLAGS := $lflags"
  echo "all:"
} >"$mk"
declare -A have_rule=()

bins=()
for t in "${targets[@]}"; do
  [ -f "$t" ] || { echo "fuzz.sh: no such target $t" >&2; exit 2; }
  name=$(basename "$t" .cpp)
  srcs=$(sources_for "$t") || exit 2
  objs=""
  for s in tests/fuzz/$name.cpp $srcs; do
    o="$out/obj/${s%.cpp}.o"
    objs="$objs $o"
    if [ -z "${have_rule[$o]:-}" ]; then
      have_rule[$o]=1
      echo "$o: $root/$s" >>"$mk"
      printf '\t@mkdir -p $(dir $@)\n\t$(CXX) $(CFLAGS) %s -MMD -MP -c $< -o $@\n' "$(pkg_flags "$t" --cflags)" >>"$mk"
    fi
  done
  echo "$out/$name:$objs" >>"$mk"
  printf '\t$(CXX) $(LFLAGS) $^ -o $@ %s\n' "$(pkg_flags "$t" --libs)" >>"$mk"
  echo "all: $out/$name" >>"$mk"
  bins+=("$name")
done
echo "-include \$(shell find $out/obj -name '*.d' 2>/dev/null)" >>"$mk"

echo "== building ${bins[*]}"
make -s -f "$mk" -j"$jobs" all

status=0
for name in "${bins[@]}"; do
  corpus="$out/corpus/$name"
  artifacts="$out/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "$root/tests/fuzz/corpus/$name" ] && seeds+=("$root/tests/fuzz/corpus/$name")
  echo "== running $name for ${secs}s"
  if "$out/$name" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$out/$name.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$out/$name.log" | tail -n1)
    echo "   clean: ${runs:-?} runs (log $out/$name.log)"
  else
    echo "   FAILED: see $out/$name.log and $artifacts/" >&2
    tail -n 30 "$out/$name.log" >&2
    status=1
  fi
done
exit $status
