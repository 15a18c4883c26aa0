#!/usr/bin/env bash
# Screenshots of the client's views in English and Persian, taken from its own
# window on one virtual X display (Xvfb) as <view>-<language>.png, and of the
# painted widgets (select popup, tooltip card, ...) on their own, into one folder:
#
#   bash tools/screenshots.sh [output-folder] [views...]   (default: <build>/screenshots/, all)
#
# The views are listed (and described) at the top of
# tests/ui/mainwindow/screenshot/screenshot_main.cpp; "widgets" (the painted
# widgets) and "games" (the games grid, tiles and home favourites on their
# sections' sizes) come from their own helpers. Every view is taken in both
# languages. The views against the development service (header-promo,
# header-search, ping-sweep, notifications) run it inside the helper.
#
# Builds the helpers into $QUORLIX_BUILD_DIR (default build/) if needed. Each
# shot uses a throw-away home and data folder, so nothing of a real install is
# read or changed; the service origins point at a closed loopback port. A shot
# is taken once its view is ready and a short settle has passed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
out=${1:-$build/screenshots}
shift || true
views=("$@")
if [ -z "${QUORLIX_SHOTS_ON_DISPLAY:-}" ]; then
  if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "xvfb-run is missing (Debian package xvfb)" >&2
    exit 1
  fi
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$build" --target quorlix-screenshot quorlix-widget-screenshots quorlix-games-screenshots \
    -j "${QUORLIX_JOBS:-3}"
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  if [ ${#views[@]} -eq 0 ]; then
    # The helper knows its views; then the painted widgets and the games grid.
    tool=$(find "$build/tests/ui/mainwindow/screenshot" -maxdepth 1 -name quorlix-screenshot -type f | head -n 1)
    mapfile -t views < <("$tool" --views)
    views+=(widgets games)
  fi
  # Every shot on one display: starting a server per shot costs more than the shot.
  exec xvfb-run -a -s "-screen 0 1920x1080x24" env QUORLIX_SHOTS_ON_DISPLAY=1 bash "$0" "$out" "${views[@]}"
fi

mkdir -p "$out/logs"
tool=$(find "$build/tests/ui/mainwindow/screenshot" -maxdepth 1 -name quorlix-screenshot -type f | head -n 1)
widgets_tool=$(find "$build/tests/ui/widgets/screenshot" -maxdepth 1 -name quorlix-widget-screenshots -type f | head -n 1)
games_tool=$(find "$build/tests/ui/pages/screenshot" -maxdepth 1 -name quorlix-games-screenshots -type f | head -n 1)

# Runs a command with a throw-away home and data folder.
run_isolated() {
  local scratch
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorlix-shot.XXXXXX")
  mkdir -p "$scratch/home" "$scratch/data" "$scratch/config" "$scratch/cache" "$scratch/runtime"
  chmod 700 "$scratch/runtime"
  env -u http_proxy -u https_proxy -u HTTP_PROXY -u HTTPS_PROXY -u all_proxy -u ALL_PROXY \
    HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
    XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime" \
    QUORLIX_SERVICE_ORIGIN=http://127.0.0.1:9 QUORLIX_DISCORD_ORIGIN=http://127.0.0.1:9 \
    QUORLIX_GEO_ORIGIN=http://127.0.0.1:9 QUORLIX_SITE_ORIGIN=http://127.0.0.1:9 \
    QUORLIX_COMMUNITY_INVITE=http://127.0.0.1:9/invite \
    QT_QPA_PLATFORM=xcb \
    "$@" || echo "shot failed: $*" >&2
  rm -rf "$scratch"
}

for view in "${views[@]}"; do
  if [ "$view" = widgets ]; then
    run_isolated env QUORLIX_SCREENSHOT_DIR="$out" "$widgets_tool"
    continue
  fi
  if [ "$view" = games ]; then
    run_isolated env QUORLIX_SCREENSHOT_DIR="$out" "$games_tool"
    continue
  fi
  for language in en-US fa-IR; do
    # The client's log of each shot goes beside the shots.
    run_isolated env QUORLIX_SINGLE_INSTANCE_ID="shot-$$-$language" QUORLIX_SCREENSHOT_VIEW="$view" \
      QUORLIX_SCREENSHOT_LANGUAGE="$language" QUORLIX_SCREENSHOT_FILE="$out/$view-$language.png" "$tool" \
      2>"$out/logs/$view-$language.log"
  done
done
echo "screenshots in $out"
