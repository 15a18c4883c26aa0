#!/usr/bin/env bash
# One command from a fresh clone to a running client: installs what is missing,
# builds, then starts quorlix. Without QUORLIX_SERVICE_ORIGIN set, the client is
# pointed at the local development service (sample catalogue, relays on
# 127.0.0.x, demo account) started here.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
"$here/tools/install-deps.sh"
"$here/tools/build.sh"
# Packet capture needs these two capabilities; granting them to the binary
# spares running a GUI as root. Without them, connecting reports "Open failed (5)".
if ! getcap "$build/app/quorlix" 2>/dev/null | grep -q 'cap_net_admin.*cap_net_raw\|cap_net_raw.*cap_net_admin'; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo setcap cap_net_admin,cap_net_raw+ep "$build/app/quorlix" ||
    echo "run.sh: could not grant cap_net_admin,cap_net_raw; connecting will fail" >&2
fi
devservice_pid=""
if [ -z "${QUORLIX_SERVICE_ORIGIN:-}" ] && [ -x "$build/tests/support/fakeservice/quorlix-devservice" ]; then
  port=${QUORLIX_DEVSERVICE_PORT:-18080}
  "$build/tests/support/fakeservice/quorlix-devservice" --port "$port" &
  devservice_pid=$!
  trap '[ -n "$devservice_pid" ] && kill "$devservice_pid" 2>/dev/null || true' EXIT
  export QUORLIX_SERVICE_ORIGIN="http://127.0.0.1:$port"
  export QUORLIX_DISCORD_ORIGIN="http://127.0.0.1:$port"
  export QUORLIX_GEO_ORIGIN="http://127.0.0.1:$port"
  export QUORLIX_SITE_ORIGIN="http://127.0.0.1:$port"
  export QUORLIX_COMMUNITY_INVITE="http://127.0.0.1:$port/invite"
fi
"$build/app/quorlix" "$@"
