#!/usr/bin/env bash
# The main job, all the way round with the real programs. The demo editor opens a photo and
# its Filters > Lumivo item is pressed over the accessibility bus; the plug-in hands the pixels
# to the panel. By default the panel's page then signs in to the reference service with the
# demo account, uploads the frame, has the service make a creation with an effect, follows it
# to the end and posts a notification; the notification's click brings the result in, the
# panel presses Filters > Lumivo and the plug-in writes the result into the document. All of it
# runs in a private sandbox (scripts/sandbox/run.sh) where the service's hosts lead to the
# service on loopback. With --offline the page applies an instant look instead (invert, or
# --edit NAME), with no service.
#
# Prints one line per step with its time, and leaves before.png, after.png, expected.png,
# screen.png and the logs in the output folder. Fails unless the document holds the expected
# pixels and the page was told so.
#
# usage: scripts/round-trip.sh [--offline [--edit NAME]] [--effect NAME] [--size WxH]
#                              [--build DIR] [--out DIR] [--headless] [--no-build]
#
# The service road always runs on the sandbox's own display and session bus. The offline road
# does too without a display (or with --headless); with DISPLAY set it opens real windows on
# the desktop and uses its session bus.
set -euo pipefail

# --editor gimp and --editor gimp3 run the same roads inside GIMP 2.10 and GIMP 3 instead
# (gimp/round-trip.sh); --editor demo, the demo editor, is the default. --help lists them all.
help() {
  cat <<HELP
usage: $0 [--editor demo|gimp|gimp3] [--offline [--edit NAME]] [--effect NAME]
          [--size WxH] [--build DIR] [--out DIR] [--headless] [--no-build]

One edit all the way round with the real programs: by default the service road (sign-in,
upload, the service's creation, notification, apply) in a private sandbox; --offline the
instant-look road without a service.

  --editor demo   the demo editor (the default)
  --editor gimp   GIMP 2.10 through the bridge (Debian 12)
  --editor gimp3  GIMP 3 through the bridge; where GIMP 3 isn't installed, in the project's
                  Debian 13 root (scripts/debian-root.sh), from build-debian13/
  --offline       the instant-look road: the page applies a look, no service
  --edit NAME     the look of --offline: invert (the default, checked) or another
  --effect NAME   the service's effect: cutout (background removal, the default) or another
  --size WxH      the photo's size (640x400)
  --build DIR     the build folder (build/; build-debian13/ for gimp3)
  --out DIR       where the photos, screenshot and logs go (out/round-trip,
                  out/round-trip-gimp, out/round-trip-gimp3)
  --headless      demo editor: the offline road on a virtual display even with DISPLAY set
                  (the GIMP roads always use one)
  --no-build      use the build as it is
HELP
}
editor=demo
kept=()
while [ $# -gt 0 ]; do
  case $1 in
    --editor) editor=${2:-}; shift $(($# > 1 ? 2 : 1)) ;;
    -h | --help) help; exit 0 ;;
    *) kept+=("$1"); shift ;;
  esac
done
set -- ${kept[@]+"${kept[@]}"}
case $editor in
  gimp) exec bash "$(dirname "$0")/../gimp/round-trip.sh" --gimp 2.10 "$@" ;;
  gimp3) exec bash "$(dirname "$0")/../gimp/round-trip.sh" --gimp 3 "$@" ;;
  demo) ;;
  *) echo "usage: $0 [--editor demo|gimp|gimp3] [options] (--help lists them)" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/road-lib.sh"
build=$root/build
out=$root/out/round-trip
road=service
edit=invert
effect=cutout
size=640x400
headless=0
do_build=1
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --offline) road=offline; shift ;;
    --edit) edit=$2; shift 2 ;;
    --effect) effect=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --headless) headless=1; shift ;;
    --no-build) do_build=0; shift ;;
    *) echo "usage: $0 [--offline [--edit NAME]] [--effect NAME] [--size WxH] [--build DIR]" \
            "[--out DIR] [--headless] [--no-build]" >&2
       exit 2 ;;
  esac
done

if [ -z "${LUMIVO_ROUND_TRIP_INNER:-}" ]; then
  if [ "$do_build" = 1 ]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
    ninja -C "$build" -j"$(nproc)" lumivo-host LumivoFilter LumivoAffinity lumivo-press-menu \
      lumivo-service
  fi
  mkdir -p "$out"
  if [ "$road" = service ]; then
    rm -rf "$out/sandbox"
    # Access tokens live a few seconds, so the road also refreshes and rotates on the way.
    export LUMIVO_ROUND_TRIP_INNER=sandbox
    exec bash "$root/scripts/sandbox/run.sh" --dir "$out/sandbox" \
      --service "$build/service/lumivo-service" --service-option "--access-token-lifetime 4" \
      -- "$0" "${args[@]}"
  fi
  if [ "$headless" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    # Nothing of the private session may persist into the user's settings or home.
    export LUMIVO_ROUND_TRIP_INNER=headless GSETTINGS_BACKEND=memory
    use_private_home "$out/home"
    exec bash "$root/scripts/virtual-display.sh" "$0" "${args[@]}"
  fi
  export LUMIVO_ROUND_TRIP_INNER=desktop
fi

mode=$LUMIVO_ROUND_TRIP_INNER
mkdir -p "$out"
rm -f "$out"/{before,after,expected,screen}.png "$out"/{host,panel}.log "$out"/keyring-*.json \
  "$out/document-changed-at" "$out/panel-memory"
work=$(mktemp -d)
host_pid=
keyring_pid=
panel_exe=

cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  [ -n "$keyring_pid" ] && kill "$keyring_pid" 2>/dev/null || true
  kill_executable "$panel_exe"
  rm -rf "$work"
}
trap cleanup EXIT

t0=$(date +%s.%N)
step() { awk -v now="$(date +%s.%N)" -v t0="$t0" -v what="$*" \
           'BEGIN { printf "round-trip: [%5.1fs] %s\n", now - t0, what }'; }

# Spool files and the panel's settings live in the run's own folders.
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

# The accessibility bus, in one place. GTK publishes its widgets on it unless NO_AT_BRIDGE is
# set; the session bus starts the bus launcher (org.a11y.Bus) on demand and the launcher starts
# the bus and its registry. Assistive technology support (org.a11y.Status IsEnabled) is what the
# panel counts as its permission: a private session starts with it off, so switch it on there
# as a user would. On a desktop it is the user's to grant: the page's "Fix" button has the panel
# ask, and only a yes switches it on.
unset NO_AT_BRIDGE
a11y_status() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties."$1" org.a11y.Status IsEnabled ${2:+"$2"}
}
if [ "$mode" = headless ]; then
  start_session_keyring "$work/run"  # the sandbox has its own
fi
if [ "$mode" != desktop ]; then
  a11y_status Set '<true>' >/dev/null
elif ! a11y_status Get 2>/dev/null | grep -q true; then
  echo "round-trip: assistive technology is off; the panel reports \"accessibility\" until" \
       "it is on (the page's Fix button asks to switch it on)" >&2
fi

# The plug-in bundle is copied so the panel's standard error can be kept.
mkdir -p "$work/plugins"
# Owners are not kept: as a normal user the sandbox maps only that user, and the copy is theirs.
cp -R --preserve=mode,timestamps "$build/LumivoFilter.8bf" "$work/plugins/"
panel_exe=$(wrap_panel "$work/plugins/LumivoFilter.8bf" "$out/panel.log")

make_photo "$out/before.png" "$size"

page_said() { grep -q "LumivoPlugin: panel: $1" "$out/panel.log" 2>/dev/null; }

host_options=(--plugins "$work/plugins" --in "$out/before.png" --save-on-change "$out/after.png")
if [ "$road" = service ]; then
  autotest=service:$effect
  host_options+=(--transparency)  # a document whose transparency the result can change
else
  autotest=$edit
fi
LUMIVO_PANEL_AUTOTEST=$autotest "$build/LumivoHost.app/Contents/Linux/lumivo-host" \
  "${host_options[@]}" >"$out/host.log" 2>&1 &
host_pid=$!
step "the editor opened the photo ($size)"

fail() {
  echo "round-trip: $*" >&2
  echo "--- host.log" >&2; cat "$out/host.log" >&2 || true
  echo "--- panel.log" >&2; cat "$out/panel.log" >&2 2>/dev/null || true
  if [ -n "${LUMIVO_SANDBOX_DIR:-}" ]; then
    echo "--- service.log" >&2; tail -40 "$LUMIVO_SANDBOX_DIR/service.log" >&2 || true
  fi
  import -window root "$out/screen.png" 2>/dev/null || true
  exit 1
}

# The user runs the filter: the plug-in hands the frame off and the run ends as cancelled.
"$build/tests/e2e/lumivo-press-menu" "$host_pid" 30 || fail "the editor never showed its menu"
step "Filters > Lumivo pressed over AT-SPI"
wait_for 60 grep -q "filter result -128" "$out/host.log" || fail "the first run did not hand off"
step "the plug-in handed the frame to the panel"
wait_for 120 page_said "frame-loaded" || fail "the panel never showed the frame"
step "the panel shows the frame"

if [ "$road" = service ]; then
  sandbox=$LUMIVO_SANDBOX_DIR
  wait_for 30 page_said "signed-in" || fail "the page did not sign in"
  step "the page signed in with the demo account; the panel keeps the sign-in"
  secret-tool lookup service com.lumivo.editor-plugins.affinity account oauth \
    >"$out/keyring-after-sign-in.json" 2>/dev/null || fail "no sign-in in the keyring"
  wait_for 120 page_said "uploaded status=" || fail "the upload never ended"
  page_said "uploaded status=200" || fail "storage refused the upload"
  step "the frame went up to storage through the panel (effect $effect)"
  wait_for 300 page_said "creation .* done" || fail "the creation never finished"
  step "the service made the creation"
  wait_for 120 test -s "$sandbox/notifications.jsonl" || fail "no notification came"
  step "notification: $(head -1 "$sandbox/notifications.jsonl" | python3 -c \
    'import json,sys; n=json.load(sys.stdin); print(n["summary"], "-", n["body"])')"
  wait_for 30 page_said "notification clicked" || fail "the click never reached the page"
  step "the notification was clicked; the page brings the creation in"
fi

# The page sends its result; the panel presses the menu; the plug-in applies it; the page hears
# how it went.
wait_for 180 page_said "import-ack" || fail "the page was never answered"
status=$(grep -o "import-ack.*" "$out/panel.log" | head -1)
case $status in
  "import-ack ok=true status=") step "the panel wrote the result and pressed Filters > Lumivo" ;;
  # The panel waits 10 seconds for the editor to take the result; a large one takes longer.
  *status=timeout) step "the panel pressed Filters > Lumivo; the editor took over 10 s (timeout)" ;;
  *status=accessibility*)
    fail "$status: assistive technology is off; the panel asked for it, run again" ;;
  *) fail "the page was told: $status" ;;
esac
wait_for 120 grep -q "filter result 0" "$out/host.log" || fail "the result was never applied"
date +%s%3N >"$out/document-changed-at"
panel_peak_memory "$panel_exe" >"$out/panel-memory"  # for bench/service_road.sh
wait_for 60 test -s "$out/after.png" || fail "the editor did not save the document"
step "the document changed"

if [ "$road" = service ]; then
  wait_for 20 page_said "autotest done" || fail "the page did not finish"
  wait_for 20 test -s "$sandbox/browser.log" || fail "the account page was not opened"
  step "the account page opened in the browser: $(cat "$sandbox/browser.log")"
  # The sign-in after the page's last refresh: the rotated refresh token.
  secret-tool lookup service com.lumivo.editor-plugins.affinity account oauth \
    >"$out/keyring-at-end.json" 2>/dev/null || fail "no sign-in in the keyring at the end"
  result=$(ls -t "$sandbox"/service-record/results/*.png | head -1)
  cp "$result" "$out/expected.png"
else
  convert "$out/before.png" -negate "$out/expected.png"
fi
sleep 1  # let the page show its status before the screenshot
import -window root "$out/screen.png" 2>/dev/null || true

if [ "$road" = service ] || [ "$edit" = invert ]; then
  differing=$(compare -metric AE -fuzz 1% "$out/expected.png" "$out/after.png" null: 2>&1 || true)
  [ "$differing" = 0 ] || fail "$differing pixels differ from $out/expected.png"
fi
step "ok ($mode): $out/before.png -> $out/after.png, screenshot $out/screen.png"
if [ "$mode" = desktop ] && [ -t 0 ]; then
  read -r -p "round-trip: press Enter to close the editor and the panel " _
fi
