#!/usr/bin/env bash
# Screenshots of the client's views in English and Persian, taken from its own
# window on a virtual X display (Xvfb) as <view>-<language>.png, and of the
# painted widgets (select popup, tooltip card, ...) on their own, into one folder:
#
#   bash tools/screenshots.sh [output-folder] [views...]   (default: <build>/screenshots/, all)
#
# Views: home, home-page, home-filled (the whole home page, last session empty
# and filled with favourites), home-lower (the dashboard's lower row, the
# metrics strip and the help cards with fixed hardware figures), games-pc, games-console, games-small (the Games
# section over a small catalogue; the last two English only), busy-overlay
# (over the home view, "Stopping Proxy" at 50 %),
# busy-download and busy-blocked (the update flow's and the version gate's
# busy overlay; English only), landing, settings, settings-open-below,
# settings-open-up, settings-tooltip (the settings views in English only: the
# page is never mirrored), signin-form, signin-error, signin-progress,
# signin-download, signin-overlay (the Discord button pressed; English only:
# the sign-in page is never mirrored), account (the header's account pill
# signed in), account-open (its profile pop-up), profile and profile-logout
# (the Profile section and its sign-out card, English only: the section is
# never mirrored), header-promo and header-search (signed in against the
# development service, run inside the helper), ping-sweep (a PC game opened
# without measured pings: the sweep page part-way through pinging the
# development service's relays on 127.0.0.x, run inside the helper; English
# only: it is never mirrored), connection-boost2,
# connection-boost5, connection-dialog, connection-routes1/2/3,
# connection-region, connection-region-auto, connection-region-search,
# connection-region-relays (the server region page: Manual and Automatic
# views, a search, a region's relays), connection-region-picked (the relay
# card after a pick), connection-route-settings, connection-idle,
# connection-connecting, connection-connected (the connect button's three
# states; all of them a game's connection page, English only: the page keeps
# its layout in every language),
# console-overlay and console-overlay-ready (a console game's set-up overlay
# before and after the console's network values arrive; English only: the
# overlay never mirrors),
# widgets (the painted widgets), games (the games grid, tiles and home
# favourites on their sections' sizes), and notifications (the drop-down with
# read, unread and an expanded row, against a quorlix-devservice started for
# the shot).
#
# Builds the helper into $QUORLIX_BUILD_DIR (default build/) if needed. Each
# run uses a throw-away home and data folder, so nothing of a real install is
# read or changed; the service origins point at a closed loopback port.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORLIX_BUILD_DIR:-$here/build}
out=${1:-$build/screenshots}
shift || true
views=("$@")
if [ ${#views[@]} -eq 0 ]; then
  views=(home home-page home-filled home-lower games-pc games-console games-small busy-overlay busy-download busy-blocked landing settings settings-open-below settings-open-up settings-tooltip signin-form signin-error signin-progress signin-download signin-overlay account account-open profile profile-logout header-promo header-search ping-sweep connection-boost2 connection-boost5 connection-dialog connection-routes1 connection-routes2 connection-routes3 connection-region connection-region-auto connection-region-search connection-region-relays connection-region-picked connection-route-settings console-overlay console-overlay-ready connection-idle connection-connecting connection-connected widgets games notifications)
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)

if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is missing (Debian package xvfb)" >&2
  exit 1
fi
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target quorlix-screenshot quorlix-widget-screenshots quorlix-games-screenshots -j "${QUORLIX_JOBS:-4}"
# The development service needs Qt HTTP Server; without it the views that
# need it are left out.
cmake --build "$build" --target quorlix-devservice -j "${QUORLIX_JOBS:-4}" >/dev/null 2>&1 || true
tool=$(find "$build/tests/ui/mainwindow/screenshot" -maxdepth 1 -name quorlix-screenshot -type f | head -n 1)
widgets_tool=$(find "$build/tests/ui/widgets/screenshot" -maxdepth 1 -name quorlix-widget-screenshots -type f | head -n 1)
games_tool=$(find "$build/tests/ui/pages/screenshot" -maxdepth 1 -name quorlix-games-screenshots -type f | head -n 1)

# Runs a command with a throw-away home and data folder on a virtual display.
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
    "$@"
  rm -rf "$scratch"
}

# Takes a view in both languages with the service origins at a development
# service of its own on a free loopback port, stopped afterwards.
shoot_against_devservice() {
  local view=$1 devservice log pid origin language
  devservice=$(find "$build/tests/support/fakeservice" -maxdepth 1 -name quorlix-devservice -type f | head -n 1)
  if [ -z "$devservice" ]; then
    echo "quorlix-devservice is not built; $view left out" >&2
    return
  fi
  for language in en-US fa-IR; do
    log=$(mktemp "${TMPDIR:-/tmp}/quorlix-devservice.XXXXXX")
    "$devservice" --port 0 --quiet >"$log" 2>&1 &
    pid=$!
    origin=""
    for _ in $(seq 50); do
      origin=$(sed -n 's/^quorlix-devservice listening on \(http[^ ]*\).*/\1/p' "$log" | head -n 1)
      [ -n "$origin" ] && break
      sleep 0.1
    done
    if [ -n "$origin" ]; then
      run_isolated env QUORLIX_SERVICE_ORIGIN="$origin" QUORLIX_DISCORD_ORIGIN="$origin" \
        QUORLIX_GEO_ORIGIN="$origin" QUORLIX_SITE_ORIGIN="$origin" QUORLIX_SCREENSHOT_DELAY_MS=3000 \
        QUORLIX_SINGLE_INSTANCE_ID="shot-$$-$language" QUORLIX_SCREENSHOT_VIEW="$view" \
        QUORLIX_SCREENSHOT_LANGUAGE="$language" QUORLIX_SCREENSHOT_FILE="$out/$view-$language.png" \
        xvfb-run -a -s "-screen 0 1920x1080x24" "$tool"
    else
      echo "quorlix-devservice did not start; $view-$language left out" >&2
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -f "$log"
  done
}

for view in "${views[@]}"; do
  if [ "$view" = widgets ]; then
    run_isolated env QUORLIX_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1920x1080x24" "$widgets_tool"
    continue
  fi
  if [ "$view" = games ]; then
    run_isolated env QUORLIX_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1920x1080x24" "$games_tool"
    continue
  fi
  languages=(en-US fa-IR)
  if [[ $view == busy-download || $view == busy-blocked || $view == settings* || $view == signin-overlay || $view == profile* || $view == games-console || $view == games-small || $view == ping-sweep || $view == connection* || $view == console-overlay* ]]; then
    languages=(en-US)
  fi
  if [ "$view" = notifications ]; then
    shoot_against_devservice "$view"
    continue
  fi
  for language in "${languages[@]}"; do
    run_isolated env QUORLIX_SINGLE_INSTANCE_ID="shot-$$-$language" QUORLIX_SCREENSHOT_VIEW="$view" \
      QUORLIX_SCREENSHOT_LANGUAGE="$language" QUORLIX_SCREENSHOT_FILE="$out/$view-$language.png" \
      xvfb-run -a -s "-screen 0 1920x1080x24" "$tool"
  done
done
echo "screenshots in $out"
