#!/usr/bin/env bash
# One command from a fresh clone to a running client: installs what is missing,
# builds, then starts quorlix. Without QUORLIX_SERVICE_ORIGIN set, the client is
# pointed at the local development service and its relays (sample catalogue,
# relays on 127.0.0.x, demo account), started here and stopped with the client.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
"$here/tools/install-deps.sh"
# A folder configured for this tree is only built: the build configures again
# by itself when a CMake file changed, and says nothing when nothing is built.
if [ -f "$build/build.ninja" ] &&
  grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$here" "$build/CMakeCache.txt" 2>/dev/null; then
  cmake --build "$build" -j "${QUORLIX_JOBS:-$(nproc)}" |
    { grep -v -e '^ninja: no work to do\.$' -e '^\[0/[0-9]*\] Re-checking globbed directories\.\.\.$' || true; }
else
  "$here/tools/build.sh"
fi
# Packet capture needs these two capabilities; granting them to the binary
# spares running a GUI as root. Without them, connecting reports "Open failed (5)".
if ! getcap "$build/app/quorlix" 2>/dev/null | grep -q 'cap_net_admin.*cap_net_raw\|cap_net_raw.*cap_net_admin'; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo setcap cap_net_admin,cap_net_raw+ep "$build/app/quorlix" ||
    echo "run.sh: could not grant cap_net_admin,cap_net_raw; connecting will fail" >&2
fi
if [ -z "${QUORLIX_SERVICE_ORIGIN:-}" ] && [ -x "$build/tests/support/fakeservice/quorlix-devservice" ]; then
  QUORLIX_BUILD_DIR=$build exec "$here/tools/with-devservice.sh" "$build/app/quorlix" "$@"
fi
exec "$build/app/quorlix" "$@"
