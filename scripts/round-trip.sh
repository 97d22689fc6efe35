#!/usr/bin/env bash
# The whole road of one edit, with the real programs: the demo editor opens a photo, its
# Filters > Lumivo item is pressed, the plug-in hands the pixels to the panel, the panel's page
# applies an edit and sends the result back, the panel presses the editor's menu item over the
# accessibility bus, and the plug-in writes the result into the document, which the editor
# saves. Leaves before.png, after.png, expected.png, screen.png and the logs in the output
# folder, and fails unless the document holds the edited pixels and the page was told so.
#
# usage: scripts/round-trip.sh [--build DIR] [--out DIR] [--edit NAME] [--headless] [--no-build]
#
# Without a display (or with --headless) it runs on a virtual display with a private session
# bus; with DISPLAY set it opens real windows on the desktop and uses its session bus.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
out=$root/out/round-trip
edit=invert
headless=0
do_build=1
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --edit) edit=$2; shift 2 ;;
    --headless) headless=1; shift ;;
    --no-build) do_build=0; shift ;;
    *) echo "usage: $0 [--build DIR] [--out DIR] [--edit NAME] [--headless] [--no-build]" >&2
       exit 2 ;;
  esac
done

if [ -z "${LUMIVO_ROUND_TRIP_INNER:-}" ]; then
  if [ "$do_build" = 1 ]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
    ninja -C "$build" -j"$(nproc)" lumivo-host LumivoFilter LumivoAffinity lumivo-press-menu
  fi
  if [ "$headless" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    # Nothing of the private session may persist into the user's settings.
    export LUMIVO_ROUND_TRIP_INNER=headless GSETTINGS_BACKEND=memory
    exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- "$0" "${args[@]}"
  fi
  export LUMIVO_ROUND_TRIP_INNER=desktop
fi

mode=$LUMIVO_ROUND_TRIP_INNER
mkdir -p "$out"
rm -f "$out"/{before,after,expected,screen}.png "$out"/{host,panel}.log
work=$(mktemp -d)
host_pid=
panel_exe=

cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  # The panel runs detached; it is found by its exact executable, never by name.
  if [ -n "$panel_exe" ]; then
    for exe in /proc/[0-9]*/exe; do
      if [ "$(readlink "$exe" 2>/dev/null)" = "$panel_exe" ]; then
        pid=${exe#/proc/}; kill "${pid%/exe}" 2>/dev/null || true
      fi
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Spool files and the panel's settings live in the run's own folders.
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

# The accessibility bus, in one place. GTK publishes its widgets on it unless NO_AT_BRIDGE is
# set; the session bus starts the bus launcher (org.a11y.Bus) on demand and the launcher starts
# the bus and its registry. Assistive technology support (org.a11y.Status IsEnabled) is what the
# panel counts as its permission: a private session starts with it off, so switch it on there
# as a user would. On a desktop it is the user's to grant; the panel asks for it on first use.
unset NO_AT_BRIDGE
a11y_status() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties."$1" org.a11y.Status IsEnabled ${2:+"$2"}
}
if [ "$mode" = headless ]; then
  a11y_status Set '<true>' >/dev/null
elif ! a11y_status Get 2>/dev/null | grep -q true; then
  echo "round-trip: assistive technology is off; the panel will ask for it and report" \
       "\"accessibility\" until it is on" >&2
fi

# The plug-in bundle is copied so the panel's standard error can be kept: the plug-in starts
# the panel with its streams on /dev/null, so the copy's executable is a wrapper around it.
mkdir -p "$work/plugins"
cp -a "$build/LumivoFilter.8bf" "$work/plugins/"
panel_dir=$work/plugins/LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app/Contents/Linux
mv "$panel_dir/LumivoAffinity" "$panel_dir/LumivoAffinity.real"
panel_exe=$panel_dir/LumivoAffinity.real
cat >"$panel_dir/LumivoAffinity" <<WRAPPER
#!/bin/sh
exec "$panel_exe" "\$@" 2>>"$out/panel.log"
WRAPPER
chmod +x "$panel_dir/LumivoAffinity"

# The photo as plain 8-bit RGB pixels: no colour chunks, so every reader sees the same values.
photo=/usr/share/backgrounds/mate/nature/Aqua.jpg
plain=(-strip -type TrueColor -depth 8 -define png:exclude-chunks=all)
if [ -f "$photo" ]; then
  convert "$photo" -resize 640x400^ -gravity center -extent 640x400 "${plain[@]}" \
    "PNG24:$out/before.png"
else
  convert -size 640x400 gradient:orange-navy "${plain[@]}" "PNG24:$out/before.png"
fi

# Waits until a command succeeds, at most $1 seconds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    if [ $SECONDS -ge $end ]; then return 1; fi
    sleep 0.2
  done
}

LUMIVO_PANEL_AUTOTEST=$edit "$build/LumivoHost.app/Contents/Linux/lumivo-host" \
  --plugins "$work/plugins" --in "$out/before.png" --save-on-change "$out/after.png" \
  >"$out/host.log" 2>&1 &
host_pid=$!

fail() {
  echo "round-trip: $*" >&2
  echo "--- host.log" >&2; cat "$out/host.log" >&2 || true
  echo "--- panel.log" >&2; cat "$out/panel.log" >&2 2>/dev/null || true
  import -window root "$out/screen.png" 2>/dev/null || true
  exit 1
}

# The user runs the filter: the plug-in hands the frame off and the run ends as cancelled.
"$build/tests/e2e/lumivo-press-menu" "$host_pid" 30 || fail "the editor never showed its menu"
wait_for 30 grep -q "filter result -128" "$out/host.log" || fail "the first run did not hand off"
# The page edits and sends its result; the panel presses the menu; the plug-in applies it; the
# page hears how it went.
wait_for 90 grep -q "import-ack" "$out/panel.log" || fail "the page was never answered"
if ! grep -q "import-ack ok=true status=$" "$out/panel.log"; then
  status=$(grep -o "import-ack.*" "$out/panel.log" | head -1)
  case $status in
    *status=accessibility*)
      fail "$status: assistive technology is off; the panel asked for it, run again" ;;
    *) fail "the page was told: $status" ;;
  esac
fi
wait_for 30 grep -q "filter result 0" "$out/host.log" || fail "the result was never applied"
wait_for 10 test -s "$out/after.png" || fail "the editor did not save the document"
sleep 1  # let the page show its status before the screenshot
import -window root "$out/screen.png" 2>/dev/null || true

convert "$out/before.png" -negate "$out/expected.png"
if [ "$edit" = invert ]; then
  differing=$(compare -metric AE -fuzz 1% "$out/expected.png" "$out/after.png" null: 2>&1 || true)
  [ "$differing" = 0 ] || fail "$differing pixels differ from the inverted photo"
fi
echo "round-trip: ok ($mode): $out/before.png -> $out/after.png, screenshot $out/screen.png"
if [ "$mode" = desktop ] && [ -t 0 ]; then
  read -r -p "round-trip: press Enter to close the editor and the panel " _
fi
