#!/usr/bin/env bash
# Runs a program against the local development service: starts
# quorlix-devservice with the relays of its relay list, keeping its sessions in
# a folder of the user's data (so "keep me login" holds from one run to the
# next), waits until it listens, points the client's service origins at it,
# runs the program and stops the service when the program ends. tools/run.sh
# starts the client this way, and the test of that start runs under it too.
#
#   tools/with-devservice.sh <program> [args...]
#
# QUORLIX_DEVSERVICE_PORT (default 18080) and QUORLIX_DEVSERVICE_DATA (default
# $XDG_DATA_HOME/quorlix-devservice) move the service.
set -uo pipefail
if [ "$#" -eq 0 ]; then
  echo "usage: $0 <program> [args...]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
devservice=$build/tests/support/fakeservice/quorlix-devservice
port=${QUORLIX_DEVSERVICE_PORT:-18080}
data=${QUORLIX_DEVSERVICE_DATA:-${XDG_DATA_HOME:-$HOME/.local/share}/quorlix-devservice}
origin="http://127.0.0.1:$port"

# The service's first line says it listens (after its relays started and any
# relay it could not start was named); it ends its output at once when it gives
# up (it says why: a port taken, most often by the service of a client already
# running, which then serves this one too). Its further lines are passed on.
# Bounded, so a hung start never keeps the program from starting.
exec {out}< <(exec "$devservice" --port "$port" --relays --data-dir "$data")
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null' EXIT
if IFS= read -r -t 10 line <&"$out"; then
  printf '%s\n' "$line"
  cat <&"$out" &
fi
exec {out}<&-

export QUORLIX_SERVICE_ORIGIN="$origin"
export QUORLIX_DISCORD_ORIGIN="$origin"
export QUORLIX_GEO_ORIGIN="$origin"
export QUORLIX_SITE_ORIGIN="$origin"
export QUORLIX_COMMUNITY_INVITE="$origin/invite"
"$@"
