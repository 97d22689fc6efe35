#!/usr/bin/env bash
# The main job inside GIMP, with the bridge: GIMP opens a photo and its Filters > Lumivo item is
# pressed over the accessibility bus; the bridge runs the filter, which hands the pixels to the
# panel. By default the panel's page then signs in to the reference service with the demo
# account, uploads the frame, has the service make a creation (--effect NAME, background
# removal by default, on a layer with alpha), follows it to the end and posts a notification;
# its click brings the result in, the panel presses GIMP's Filters > Lumivo and the bridge
# writes the result into the layer. All of it runs in the private sandbox of
# scripts/sandbox/run.sh. With --offline the page applies an instant look instead (invert, or
# --edit NAME), with no service, on a virtual display. Either way GIMP then exports the image
# (Script-Fu, read from GIMP's standard input) and quits cleanly.
#
# Prints one line per step with its time, and leaves before.png, after.png, expected.png,
# screen.png and the logs in the output folder. Fails unless the exported image holds the
# expected pixels (the service's result, or the inverted photo) and the page was told so.
#
# usage: gimp/round-trip.sh [--gimp 3|2.10] [--offline [--edit NAME]] [--effect NAME]
#                           [--size WxH] [--build DIR] [--out DIR] [--no-build]
#                           [--installed DIR]
#
# --gimp 3 (the default where gimp-3.0 is installed) runs GIMP 3; where it isn't (Debian 12),
# the road runs in the project's Debian 13 root (scripts/debian-root.sh) from its own build,
# build-debian13/. --gimp 2.10 runs Debian 12's GIMP from build/. GIMP always runs with a
# private home folder, so its settings, plug-in cache and backups never touch the user's.
#
# --installed DIR runs the bridge installed for every user in GIMP's plug-in folder DIR (the
# package's: /usr/lib/gimp/2.0/plug-ins/lumivo, or GIMP 3's under /usr/lib/<triplet>/gimp/3.0)
# instead of the build's, which is then only where the road's own tools come from
# (lumivo-press-menu, the reference service). GIMP gets the environment of a login session
# started after the installation (/etc/environment.d), as from the desktop's menu. The panel's
# messages are read through a wrapper mounted over the installed panel's program folder, in a
# mount namespace of the road's own: nothing installed changes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/road-lib.sh"
usage() {
  echo "usage: $0 [--gimp 3|2.10] [--offline [--edit NAME]] [--effect NAME] [--size WxH]" \
       "[--build DIR] [--out DIR] [--no-build] [--installed DIR]" >&2
  exit 2
}

gimp=
road=service
edit=invert
effect=cutout
size=640x400
build=
out=
do_build=1
installed=
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --gimp) gimp=${2:-}; shift 2 ;;
    --offline) road=offline; shift ;;
    --edit) edit=$2; shift 2 ;;
    --effect) effect=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --no-build) do_build=0; shift ;;
    --installed) installed=$(realpath -m "$2"); shift 2 ;;
    --headless) shift ;;  # always: GIMP runs on a virtual display
    *) usage ;;
  esac
done
if [ -z "$gimp" ]; then
  if command -v gimp-3.0 >/dev/null; then gimp=3; else gimp=2.10; fi
fi
case $gimp in
  3 | 3.0) gimp=3 version=3.0 bridge=lumivo-gimp3 ;;
  2.10) version=2.10 bridge=lumivo-gimp ;;
  *) usage ;;
esac
if [ "$gimp" = 3 ]; then
  build=${build:-$root/build-debian13}
  out=${out:-$root/out/round-trip-gimp3}
else
  build=${build:-$root/build}
  out=${out:-$root/out/round-trip-gimp}
fi

if [ -z "${LUMIVO_GIMP_ROUND_TRIP_INNER:-}" ]; then
  # Debian 12 has no GIMP 3: the whole road, build included, runs in the Debian 13 root.
  if [ "$gimp" = 3 ] && ! command -v gimp-3.0 >/dev/null; then
    if [ -n "${LUMIVO_DEBIAN_ROOT:-}" ] || [ -n "$installed" ]; then
      echo "gimp round-trip: GIMP 3 is not installed here" >&2
      exit 1
    fi
    mkdir -p "$out" "$build"
    exec bash "$root/scripts/debian-root.sh" --release trixie --bind "$out" --bind "$build" \
      -- bash "$0" "${args[@]}" --build "$build" --out "$out"
  fi
  if [ "$do_build" = 1 ]; then
    # A Debian root holds its packages already.
    [ -n "${LUMIVO_DEBIAN_ROOT:-}" ] || bash "$root/scripts/install-deps.sh"
    targets=(lumivo-press-menu)
    [ -n "$installed" ] || targets+=("$bridge" LumivoFilter LumivoAffinity)
    [ "$road" = service ] && targets+=(lumivo-service)
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
    ninja -C "$build" -j"$(nproc)" "${targets[@]}"
  fi
  mkdir -p "$out"
  if [ "$road" = service ]; then
    rm -rf "$out/sandbox"
    # Access tokens live a few seconds, so the road also refreshes and rotates on the way.
    export LUMIVO_GIMP_ROUND_TRIP_INNER=sandbox
    exec bash "$root/scripts/sandbox/run.sh" --dir "$out/sandbox" \
      --service "$build/service/lumivo-service" --service-option "--access-token-lifetime 4" \
      -- "$0" "${args[@]}" --gimp "$gimp" --build "$build" --out "$out"
  fi
  export LUMIVO_GIMP_ROUND_TRIP_INNER=headless GSETTINGS_BACKEND=memory
  # A home of the run's own before the session bus starts: nothing reaches the user's.
  use_private_home "$out/home"
  # The sandbox has a mount namespace of its own; this road gets one for the installed panel.
  private=()
  if [ -n "$installed" ]; then
    private=(unshare --mount --fork)
    [ "$(id -u)" -eq 0 ] || private=(unshare --user --map-root-user --mount --fork)
  fi
  exec ${private[@]+"${private[@]}"} bash "$root/scripts/virtual-display.sh" "$0" "${args[@]}" \
    --gimp "$gimp" --build "$build" --out "$out"
fi

# Time limits, generous for a loaded machine, where GIMP's start alone can take a minute.
menu_limit=240
step_limit=90

mkdir -p "$out"
rm -f "$out"/{before,after,expected,screen}.png "$out"/{gimp,panel}.log "$out"/keyring-*.json
work=$(mktemp -d)
gimp_pid=
keyring_pid=
panel_exe=

cleanup() {
  # GIMP quits through Script-Fu: one ended by a signal shows a crash-recovery dialog on its
  # next start. Only one that no longer listens is ended by a signal.
  if [ -n "$gimp_pid" ] && kill -0 "$gimp_pid" 2>/dev/null; then
    { echo "(gimp-quit 1)" >&7; } 2>/dev/null || true
    exec 7>&-
    wait_for 30 ended "$gimp_pid" || kill "$gimp_pid" 2>/dev/null || true
    wait "$gimp_pid" 2>/dev/null || true
  fi
  exec 7>&-
  [ -n "$keyring_pid" ] && kill "$keyring_pid" 2>/dev/null || true
  kill_executable "$panel_exe"
  # The wrapper's mounts over the installed panel, before their folder goes.
  if [ -n "$installed" ] && [ -n "$panel_exe" ]; then
    umount --recursive --lazy "$(dirname "$panel_exe")" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

t0=$(date +%s.%N)
step() { awk -v now="$(date +%s.%N)" -v t0="$t0" -v what="$*" \
           'BEGIN { printf "gimp round-trip: [%5.1fs] %s\n", now - t0, what }'; }

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
  if [ -n "${LUMIVO_SANDBOX_DIR:-}" ]; then
    echo "--- service.log" >&2; tail -40 "$LUMIVO_SANDBOX_DIR/service.log" >&2 || true
  fi
  exit 1
}

# Pixels of two images that differ by more than 1 %, both laid over black first, so a fully
# transparent pixel counts alike whatever colour it keeps.
pixels_differing() {
  local flat=(-background black -alpha remove -alpha off)
  convert "$1" "${flat[@]}" "$work/a.png" 2>/dev/null
  convert "$2" "${flat[@]}" "$work/b.png" 2>/dev/null
  compare -metric AE -fuzz 1% "$work/a.png" "$work/b.png" null: 2>&1 | awk '{ print $1; exit }'
}

# A home folder of the run's own: GIMP's settings, the bridge, the spool and the panel's
# settings live there.
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
unset GIMP2_DIRECTORY GIMP3_DIRECTORY
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
gimp_dir=$XDG_CONFIG_HOME/GIMP/$version
if [ -n "$installed" ]; then
  plugin_dir=$installed
  [ -x "$plugin_dir/lumivo" ] && [ -d "$plugin_dir/LumivoFilter.8bf" ] ||
    fail "no bridge with its bundle is installed in $plugin_dir"
  # GIMP sets a new user's folder up on its first start, as install.sh has it do for the build.
  if [ "$gimp" = 3 ]; then
    timeout 300 gimp-console-3.0 -i --batch-interpreter=plug-in-script-fu-eval \
      -b '(gimp-quit 0)' >/dev/null 2>&1 || true
  fi
  # What a login session started after the installation sets (GIMP 2.10's ATK bridge module).
  for file in /usr/lib/environment.d/*.conf /etc/environment.d/*.conf; do
    if [ -f "$file" ]; then set -a; . "$file"; set +a; fi
  done
else
  plugin_dir=$gimp_dir/plug-ins/lumivo
  bash "$root/gimp/install.sh" --no-build --gimp "$gimp" --build "$build" --dest "$plugin_dir" \
    >/dev/null
fi
if [ "$gimp" = 3 ]; then
  # A first start greets the user with a dialog, and a photo with colour chunks asks whether to
  # keep its profile; either would keep the photo from opening.
  printf '(show-welcome-dialog no)\n(color-profile-policy keep)\n' >>"$gimp_dir/gimprc"
fi

# The panel's standard error is kept.
if [ -n "$installed" ]; then
  panel_exe=$(wrap_installed_panel "$plugin_dir/LumivoFilter.8bf" "$out/panel.log" "$work/panel")
else
  panel_exe=$(wrap_panel "$plugin_dir/LumivoFilter.8bf" "$out/panel.log")
fi

# Assistive technology support (org.a11y.Status IsEnabled) is what the panel counts as its
# permission: a private session starts with it off, so it is switched on as a user would.
unset NO_AT_BRIDGE
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
[ "$LUMIVO_GIMP_ROUND_TRIP_INNER" = sandbox ] || start_session_keyring "$work/run"

make_photo "$out/before.png" "$size"
if [ "$road" = service ]; then
  # A layer with alpha, so the result can make part of it transparent.
  convert "$out/before.png" -alpha set -define png:exclude-chunks=all "PNG32:$out/before.png" \
    2>/dev/null
  autotest=service:$effect
else
  autotest=$edit
fi

# GIMP reads Script-Fu from its standard input (-b -) while its window runs; the export at the
# end goes that way. GIMP 3 is on the accessibility bus by itself; GTK 2's GIMP 2.10 only
# through the ATK bridge module, which a desktop session with assistive technology on loads
# (and, installed, the login session's environment names).
mkfifo "$work/script-fu"
if [ "$gimp" = 3 ]; then
  command=(gimp-3.0 --no-splash --batch-interpreter=plug-in-script-fu-eval -b -)
  export_image="(let* ((image (vector-ref (car (gimp-get-images)) 0)))
  (gimp-file-save RUN-NONINTERACTIVE image \"$out/after.png\" -1))"
else
  # Installed, GIMP gets what the login session's environment names.
  command=(gimp-2.10 --no-splash -b -)
  [ -n "$installed" ] || command=(env GTK_MODULES=gail:atk-bridge "${command[@]}")
  export_image="(let* ((image (vector-ref (cadr (gimp-image-list)) 0))
       (layer (car (gimp-image-get-active-drawable image))))
  (file-png-save2 RUN-NONINTERACTIVE image layer \"$out/after.png\" \"$out/after.png\"
                  0 9 0 0 0 0 0 0 0))"
fi
# The bridge prints how each run ended ("filter result N") only when asked to, as here.
LUMIVO_BRIDGE_TRACE=1 LUMIVO_PANEL_AUTOTEST=$autotest "${command[@]}" "$out/before.png" \
  <"$work/script-fu" >"$out/gimp.log" 2>&1 &
gimp_pid=$!
exec 7>"$work/script-fu"
step "GIMP $gimp opens the photo ($size)"

# The user runs the filter: the bridge hands the frame off and the run ends as cancelled.
"$build/tests/e2e/lumivo-press-menu" "$gimp_pid" "$menu_limit" ||
  fail "GIMP never showed an enabled Filters > Lumivo"
step "Filters > Lumivo pressed over AT-SPI"
wait_for "$step_limit" grep -q "filter result -128" "$out/gimp.log" ||
  fail "the first run did not hand off"
step "the bridge handed the frame to the panel"
wait_for 120 page_said "frame-loaded" || fail "the panel never showed the frame"
step "the panel shows the frame"

[ "$road" != service ] || follow_service_road "$effect"

# The page sends its result; the panel presses GIMP's menu; the bridge applies it; the page
# hears how it went.
wait_for 180 page_said "import-ack" || fail "the page was never answered"
status=$(grep -o "import-ack.*" "$out/panel.log" | head -1)
[ "$status" = "import-ack ok=true status=" ] || fail "the page was told: $status"
step "the panel wrote the result and pressed Filters > Lumivo"
wait_for "$step_limit" grep -q "filter result 0" "$out/gimp.log" ||
  fail "the result was never applied"
step "the bridge wrote the result into the layer"

if [ "$road" = service ]; then
  wait_for 20 page_said "autotest done" || fail "the page did not finish"
  wait_for 20 test -s "$LUMIVO_SANDBOX_DIR/browser.log" || fail "the account page was not opened"
  step "the account page opened in the browser: $(cat "$LUMIVO_SANDBOX_DIR/browser.log")"
  secret-tool lookup service com.lumivo.editor-plugins.affinity account oauth \
    >"$out/keyring-at-end.json" 2>/dev/null || fail "no sign-in in the keyring at the end"
  cp "$(ls -t "$LUMIVO_SANDBOX_DIR"/service-record/results/*.png | head -1)" "$out/expected.png"
else
  convert "$out/before.png" -negate "$out/expected.png" 2>/dev/null
fi

# GIMP exports what its layer now holds (the console answers "(#t)"), then quits without
# asking to save.
echo "$export_image" >&7
wait_for "$step_limit" grep -qF "(#t)" "$out/gimp.log" || fail "GIMP did not export the image"
sleep 1  # let the page show its status before the screenshot
import -window root "$out/screen.png" 2>/dev/null || true
echo "(gimp-quit 1)" >&7
exec 7>&-
wait_for "$step_limit" ended "$gimp_pid" || fail "GIMP did not quit"
wait "$gimp_pid" 2>/dev/null || true
gimp_pid=
test -s "$out/after.png" || fail "GIMP did not export the image"
step "GIMP exported the image and quit"

if [ "$road" = service ] || [ "$edit" = invert ]; then
  differing=$(pixels_differing "$out/expected.png" "$out/after.png")
  [ "$differing" = 0 ] || fail "$differing pixels differ from $out/expected.png"
fi
step "ok: $out/before.png -> $out/after.png, screenshot $out/screen.png"
