#!/usr/bin/env bash
# The whole road of one edit inside GIMP 2.10: GIMP opens a photo, its Filters > Lumivo item is
# pressed over the accessibility bus, the bridge runs the filter, which hands the pixels to the
# panel; the panel's page applies an edit and sends the result back, the panel presses GIMP's
# Filters > Lumivo, the bridge runs the filter again and it writes the result into the layer;
# then GIMP exports the image (Script-Fu, read from GIMP's standard input) and quits. Leaves
# before.png, after.png, expected.png, screen.png and the logs in the output folder, and fails
# unless the exported image holds the edited pixels and the page was told so.
#
# usage: gimp/round-trip.sh [--build DIR] [--out DIR] [--edit NAME] [--no-build]
#
# Always on a virtual display with a private session bus and a private home folder, so GIMP's
# settings, plug-in cache and backups never touch the user's.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/road-lib.sh"
build=$root/build
out=$root/out/round-trip-gimp
edit=invert
do_build=1
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --edit) edit=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    --headless | --offline) shift ;;  # always: the page applies an instant look
    *) echo "usage: $0 [--build DIR] [--out DIR] [--edit NAME] [--no-build]" >&2; exit 2 ;;
  esac
done

if [ -z "${LUMIVO_GIMP_ROUND_TRIP_INNER:-}" ]; then
  if [ "$do_build" = 1 ]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
    ninja -C "$build" lumivo-gimp lumivo-press-menu
  fi
  export LUMIVO_GIMP_ROUND_TRIP_INNER=1 GSETTINGS_BACKEND=memory
  # A home folder of the run's own, before the session bus starts: GIMP's settings, the
  # plug-in, the spool, the panel's settings and the accessibility bus's socket live there.
  use_private_home "$out/home"
  exec bash "$root/scripts/virtual-display.sh" "$0" "${args[@]}"
fi

# Time limits, generous for a loaded machine, where GIMP's start alone can take a minute.
menu_limit=240
step_limit=90

mkdir -p "$out"
rm -f "$out"/{before,after,expected,screen}.png "$out"/{gimp,panel}.log
work=$(mktemp -d)
gimp_pid=
keyring_pid=
panel_exe=

cleanup() {
  exec 7>&-
  if [ -n "$gimp_pid" ] && kill -0 "$gimp_pid" 2>/dev/null; then
    kill "$gimp_pid" 2>/dev/null || true
    wait "$gimp_pid" 2>/dev/null || true
  fi
  [ -n "$keyring_pid" ] && kill "$keyring_pid" 2>/dev/null || true
  kill_executable "$panel_exe"
  rm -rf "$work"
}
trap cleanup EXIT

unset GIMP2_DIRECTORY
plugin_dir=$XDG_CONFIG_HOME/GIMP/2.10/plug-ins/lumivo
bash "$root/gimp/install.sh" --no-build --build "$build" --dest "$plugin_dir" >/dev/null

# The panel's standard error is kept.
panel_exe=$(wrap_panel "$plugin_dir/LumivoFilter.8bf" "$out/panel.log")

# GTK 2 reaches the accessibility bus only through the ATK bridge module, which a desktop
# session loads for every program once assistive technology is on; here it is switched on as a
# user would, and the module named for GIMP.
unset NO_AT_BRIDGE
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null

start_session_keyring "$work/run"
make_photo "$out/before.png" 640x400

# Whether a child process has ended (a zombie waiting to be reaped counts).
ended() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  [ "${stat:0:1}" = Z ]
}

fail() {
  echo "gimp round-trip: $*" >&2
  import -window root "$out/screen.png" 2>/dev/null || true
  echo "--- gimp.log" >&2; grep -v "theme engine" "$out/gimp.log" | grep . >&2 || true
  echo "--- panel.log" >&2; cat "$out/panel.log" >&2 2>/dev/null || true
  exit 1
}

# GIMP reads Script-Fu from its standard input (-b -) while its window runs; the export at the
# end goes that way. The bridge prints nothing: its own messages reach the log because GIMP
# writes them to its console instead of the status bar.
mkfifo "$work/script-fu"
GTK_MODULES=gail:atk-bridge LUMIVO_PANEL_AUTOTEST=$edit \
  gimp-2.10 --no-splash --console-messages -b - "$out/before.png" <"$work/script-fu" \
  >"$out/gimp.log" 2>&1 &
gimp_pid=$!
exec 7>"$work/script-fu"

# The user runs the filter: the bridge hands the frame off and the run ends as cancelled.
"$build/tests/e2e/lumivo-press-menu" "$gimp_pid" "$menu_limit" ||
  fail "GIMP never showed an enabled Filters > Lumivo"
wait_for "$step_limit" grep -q "Lumivo: the picture went to the panel" "$out/gimp.log" ||
  fail "the first run did not hand off"
# The page edits and sends its result; the panel presses GIMP's menu; the bridge applies it;
# the page hears how it went.
wait_for "$step_limit" grep -q "import-ack" "$out/panel.log" || fail "the page was never answered"
if ! grep -q "import-ack ok=true status=$" "$out/panel.log"; then
  fail "the page was told: $(grep -o "import-ack.*" "$out/panel.log" | head -1)"
fi

# The run that applies says nothing; the image turns dirty once the result is in its layer.
# GIMP then exports what the layer holds (the console answers "(#t)") and quits without asking
# to save.
after=$out/after.png
cat >&7 <<SCHEME
(let* ((image (vector-ref (cadr (gimp-image-list)) 0))
       (layer (car (gimp-image-get-active-drawable image))))
  (let wait ((left 100000))
    (if (and (> left 0) (= 0 (car (gimp-image-is-dirty image)))) (wait (- left 1))))
  (file-png-save2 RUN-NONINTERACTIVE image layer "$after" "$after" 0 9 0 0 0 0 0 0 0))
SCHEME
wait_for "$step_limit" grep -qF "(#t)" "$out/gimp.log" || fail "GIMP did not export the image"
import -window root "$out/screen.png" 2>/dev/null || true
echo "(gimp-quit 1)" >&7
exec 7>&-
wait_for "$step_limit" ended "$gimp_pid" || fail "GIMP did not quit"
wait "$gimp_pid" 2>/dev/null || true
gimp_pid=
test -s "$after" || fail "GIMP did not export the image"

convert "$out/before.png" -negate "$out/expected.png"
if [ "$edit" = invert ]; then
  differing=$(compare -metric AE -fuzz 1% "$out/expected.png" "$after" null: 2>&1 || true)
  [ "$differing" = 0 ] || fail "$differing pixels differ from the inverted photo"
fi
echo "gimp round-trip: ok: $out/before.png -> $after, screenshot $out/screen.png"
