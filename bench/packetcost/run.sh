#!/usr/bin/env bash
# Counts the tunnel engine's instructions per captured packet under callgrind
# and prints each kind's ratio to a bare copy of the same packet.
#
#   bash bench/packetcost/run.sh [build folder] [packets per case]
#
# Build with -DCMAKE_BUILD_TYPE=Release for the recorded figures.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build}
packets=${2:-20000}
bin=$build/bench/packetcost/quorlix_bench_packetcost
[ -x "$bin" ] || { echo "no $bin (valgrind headers missing at configure time?)" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is not installed (tools/install-deps.sh)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The engine's log lines go to a file that is not a terminal, as in the client.
valgrind --tool=callgrind --callgrind-out-file="$out/cg.out" "$bin" "$packets" >/dev/null 2>"$out/log" || {
  cat "$out/log" >&2
  exit 1
}
# Each dump names its case in "desc: Trigger: Client Request: kind/bytes/packets"
# and holds the instruction count in "summary:".
for dump in "$out"/cg.out.*; do
  label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$dump")
  ir=$(sed -n 's/^summary: //p' "$dump")
  [ -n "$label" ] && echo "$label $ir"
done | awk -F'[/ ]' '
  { per[$1 "/" $2] = $4 / $3; sizes[$2] = 1; kinds[$1] = 1 }
  END {
    printf "%-10s %6s %14s %8s\n", "packet", "bytes", "instr/packet", "x copy"
    n = split("copy external tunneled private inbound", order, " ")
    for (s in sizes)
      for (i = 1; i <= n; ++i) {
        k = order[i] "/" s
        if (k in per)
          printf "%-10s %6d %14.1f %8.2f\n", order[i], s, per[k], per[k] / per["copy/" s]
      }
  }'
