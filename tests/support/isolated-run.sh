#!/bin/sh
# Runs one test process in a sealed-off environment: its own HOME, XDG and
# temporary folders (removed afterwards; QTemporaryDir and friends land in the
# latter, which QUORLIX_TEST_TMP also names), C locale, the offscreen platform with a
# 1920x1080 screen, and every service origin pointed at a closed loopback port
# so nothing can reach a real service by accident.
#
#   isolated-run.sh [--netns] <program> [args...]
#
# --netns runs the program in a private network namespace with only "lo" up
# (needs root and unshare); without them the test is skipped (exit 77).
set -u
here=$(cd "$(dirname "$0")" && pwd)
netns=0
if [ "${1:-}" = "--netns" ]; then netns=1; shift; fi

root=$(mktemp -d "${TMPDIR:-/tmp}/quorlix-test.XXXXXX") || exit 1
trap 'rm -rf "$root"' EXIT INT TERM
mkdir -p "$root/home" "$root/data" "$root/config" "$root/cache" "$root/runtime" "$root/tmp"
chmod 700 "$root/runtime"

export HOME="$root/home"
export XDG_DATA_HOME="$root/data"
export XDG_CONFIG_HOME="$root/config"
export XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export QUORLIX_TEST_TMP="$root/tmp"
export TMPDIR="$root/tmp"
export LC_ALL=C
export LANG=C
export QT_QPA_PLATFORM="offscreen:configfile=$here/offscreen-1920x1080.json"
export QT_QPA_FONTDIR="${QT_QPA_FONTDIR:-/usr/share/fonts/truetype}"
# Nothing in a test may reach a real service: unless a test points these at its
# own fake, they lead to a closed port on loopback.
export QUORLIX_SERVICE_ORIGIN="${QUORLIX_SERVICE_ORIGIN:-http://127.0.0.1:9}"
export QUORLIX_DISCORD_ORIGIN="${QUORLIX_DISCORD_ORIGIN:-http://127.0.0.1:9}"
export QUORLIX_GEO_ORIGIN="${QUORLIX_GEO_ORIGIN:-http://127.0.0.1:9}"
export QUORLIX_SITE_ORIGIN="${QUORLIX_SITE_ORIGIN:-http://127.0.0.1:9}"
export QUORLIX_COMMUNITY_INVITE="${QUORLIX_COMMUNITY_INVITE:-http://127.0.0.1:9/invite}"
export QUORLIX_TEST=1
# Tests capture through the simulator; the few that open the real netfilter
# backend ask for it themselves, inside namespaces of their own.
export QUORLIX_CAPTURE=sim
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

if [ "$netns" = 1 ]; then
  if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null 2>&1 || ! command -v ip >/dev/null 2>&1; then
    echo "SKIP: needs root, unshare and ip for a private network namespace" >&2
    exit 77
  fi
  # The namespace's name goes with it, so a test (and the real capture
  # backend) can tell it runs in the namespace made here.
  unshare -n sh -c 'ip link set lo up && QUORLIX_PRIVATE_NETNS=$(readlink /proc/self/ns/net) && export QUORLIX_PRIVATE_NETNS && exec "$@"' sh "$@"
  exit $?
fi
"$@"
exit $?
