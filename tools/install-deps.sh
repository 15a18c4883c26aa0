#!/usr/bin/env bash
# Installs what building, running and testing Quorlix needs on Debian 12:
# Debian packages (only those missing) and the pinned npm packages that supply
# the open fonts, icons and flags. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config lld
  qt6-base-dev libqt6sql6-sqlite qt6-svg-dev
  qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools qt6-translations-l10n
  qt6-httpserver-dev qt6-websockets-dev libgl-dev
  libssl-dev libgtest-dev libbenchmark-dev libsqlite3-dev libxcb1-dev
  clang-14 libclang-rt-14-dev
  fonts-inter
  iputils-ping bind9-dnsutils iproute2 util-linux
  valgrind
  libnetfilter-queue-dev iptables libcap2-bin
  xvfb
)

missing=()
# Node.js and npm fetch the open fonts, icons and flags. A machine may already
# carry its own Node.js (which conflicts with Debian's npm package): only when
# npm is absent are Debian's packages installed.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
# One query for all of them: run.sh passes here at every start.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  sed -n 's/^\([^ ]*\) install ok installed$/\1/p' || true)
for p in "${packages[@]}"; do
  [[ $'\n'$installed$'\n' == *$'\n'"$p"$'\n'* ]] || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Open-licensed assets from the npm registry (versions pinned in package.json).
if [ -f "$here/resources/third_party/package.json" ]; then
  if ! command -v npm >/dev/null 2>&1; then
    echo "npm is missing" >&2; exit 1
  fi
  if [ ! -d "$here/resources/third_party/node_modules" ] ||
     [ "$here/resources/third_party/package.json" -nt "$here/resources/third_party/node_modules" ]; then
    (cd "$here/resources/third_party" && npm install --no-audit --no-fund --loglevel=error && touch node_modules)
  fi
fi
