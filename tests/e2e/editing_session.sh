#!/usr/bin/env bash
# An editing session as a user lives it, in the demo editor or GIMP 2.10 with two documents: the user runs
# Filters > Lumivo, chooses looks and presses Apply in the panel's page, undoes in the editor,
# applies again, works on a second document, and quits the editor. Everything is clicked over the
# accessibility bus, as assistive technology does (lumivo-press). After each step the documents'
# pixels are checked (each result lands in its own document only, and never after an undo made
# it stale), and at the end the page's statuses, word for word, in the order the user saw them.
# It prints the panel's and its web process's resident memory before and after the editor quits.
#
# usage: tests/e2e/editing_session.sh [--editor demo|gimp] [--build DIR] [--out DIR] [--size WxH]
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
out=
size=640x480
editor=demo
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --size) size=$2; shift 2 ;;
    --editor) editor=$2; shift 2 ;;
    *) echo "usage: $0 [--editor demo|gimp] [--build DIR] [--out DIR] [--size WxH]" >&2; exit 2 ;;
  esac
done
out=${out:-$build/editing-session}
# shellcheck source=scripts/road-lib.sh
source "$root/scripts/road-lib.sh"

# A virtual display, a private session bus and a private home, none of the user's.
if [ -z "${LUMIVO_SESSION_INNER:-}" ]; then
  mkdir -p "$out"
  export LUMIVO_SESSION_INNER=1 GSETTINGS_BACKEND=memory
  use_private_home "$out/home"
  exec bash "$root/scripts/virtual-display.sh" bash "$0" --build "$build" --out "$out" \
    --size "$size" --editor "$editor"
fi

rm -f "$out"/*.png "$out"/{host,panel}.log "$out"/statuses.*
[ "$editor" = demo ] || [ "$editor" = gimp ] || { echo "editing-session: no editor $editor" >&2; exit 2; }
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

fail() {
  echo "editing-session: $*" >&2
  echo "--- host.log" >&2; cat "$out/host.log" >&2 || true
  echo "--- panel.log" >&2; grep -v ' frame-chunk' "$out/panel.log" >&2 2>/dev/null || true
  import -window root "$out/screen.png" 2>/dev/null || true
  exit 1
}
# Each step is announced, and the screen as it was when the step before ended is kept
# (screen-N.png) for whoever reads the states afterwards.
shot=0
step() {
  # The web view paints in its own process, a moment after the page changed.
  [ $shot -eq 0 ] || { sleep 1; import -window root "$out/screen-$shot.png" 2>/dev/null || true; }
  shot=$((shot + 1))
  echo "editing-session: $*"
}

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
start_session_keyring "$work/run"
# The user said yes to assistive technology once, as the panel asks on a desktop.
unset NO_AT_BRIDGE
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null

if [ "$editor" = demo ]; then
  plugins=$work/plugins
  mkdir -p "$plugins"
  cp -R --preserve=mode,timestamps "$build/LumivoFilter.8bf" "$plugins/"
else
  plugins=$XDG_CONFIG_HOME/GIMP/2.10/plug-ins/lumivo
  bash "$root/gimp/install.sh" --no-build --gimp 2.10 --build "$build" --dest "$plugins" >/dev/null
fi
panel_exe=$(wrap_panel "$plugins/LumivoFilter.8bf" "$out/panel.log")

# Two documents that differ everywhere: a photograph and a gradient.
make_photo "$out/a.png" "$size"
convert -size "$size" gradient:teal-khaki -strip -type TrueColor -depth 8 \
  -define png:exclude-chunks=all "PNG24:$out/b.png"
for name in a b; do
  convert "$out/$name.png" -negate -define png:exclude-chunks=all "PNG24:$out/$name-inverted.png"
done

# a.png's document is checked as doc.png, b.png's as doc-2.png: the demo editor saves them after
# every change; GIMP exports them when asked, through Script-Fu on its standard input.
if [ "$editor" = demo ]; then
  name='the demo editor' Name='The demo editor'
  LUMIVO_PANEL_AUTOTEST=session "$build/LumivoHost.app/Contents/Linux/lumivo-host" \
    --plugins "$plugins" --in "$out/a.png" --in "$out/b.png" \
    --save-on-change "$out/doc.png" >"$out/host.log" 2>&1 &
  host_pid=$!
else
  name=GIMP Name=GIMP
  mkfifo "$work/script-fu"
  # b.png first, so a.png is the image in front; the bridge prints how each run ended.
  LUMIVO_BRIDGE_TRACE=1 LUMIVO_PANEL_AUTOTEST=session GTK_MODULES=gail:atk-bridge \
    gimp-2.10 --no-splash -b - "$out/b.png" "$out/a.png" <"$work/script-fu" >"$out/host.log" 2>&1 &
  host_pid=$!
  exec 7>"$work/script-fu"
fi
# Exports both documents, waiting up to $1 seconds (default 30) for them.
export_documents() {
  [ "$editor" = gimp ] || return 0
  rm -f "$out/doc.png" "$out/doc-2.png"
  echo "(for-each (lambda (image)
     (let* ((file (car (gimp-image-get-filename image)))
            (target (if (equal? file \"$out/a.png\") \"$out/doc.png\" \"$out/doc-2.png\"))
            (layer (car (gimp-image-get-active-drawable image))))
       (file-png-save2 RUN-NONINTERACTIVE image layer target target 0 9 0 0 0 0 0 0 0)))
   (vector->list (cadr (gimp-image-list))))" >&7
  wait_for "${1:-30}" test -s "$out/doc.png" -a -s "$out/doc-2.png" || fail "GIMP exported nothing"
  sleep 0.5 # written whole
}

press="$build/tests/e2e/lumivo-press"
in_editor() { "$press" "$host_pid" "$1" 30 || fail "no \"$1\" to press in the editor"; }
# Chooses the item $2 of the menu $1: GIMP makes a menu's items only once it is opened.
in_menu() {
  [ "$editor" = demo ] || in_editor "$1"
  in_editor "$2"
}
panel_pid() {
  local exe
  for exe in /proc/[0-9]*/exe; do
    if [ "$(readlink "$exe" 2>/dev/null)" = "$panel_exe" ]; then
      exe=${exe#/proc/}; echo "${exe%/exe}"; return 0
    fi
  done
  return 1
}
in_page() {
  local pid
  pid=$(panel_pid) || fail "no panel runs"
  "$press" "$pid" "$1" 30 || fail "no \"$1\" to press in the page"
}
# Brings the document of $1.png to the front: by its name in the demo editor's Windows menu; in
# GIMP's, by its image's title: the images are numbered in the order GIMP opened them.
show_document() {
  if [ "$editor" = demo ]; then
    in_editor "$1.png"
  else
    local number=1
    [ "$1" = b ] || number=2
    in_menu Windows "[$1] (imported)-$number.0"
  fi
}
# Waits until the editor has logged the line $1 $2 times in all.
editor_logged() {
  # GIMP's Script-Fu prompt may begin the line.
  logged() { [ "$(grep -c "^\(ts> \)*$1\$" "$out/host.log" 2>/dev/null)" -ge "$2" ]; }
  wait_for 60 logged "$1" "$2"
}
# Waits until the page's status is the one titled $1 (the last status logged).
status_is() {
  last_status() {
    grep -o 'panel: status .*' "$out/panel.log" 2>/dev/null | tail -1 | grep -q "^panel: status $1:"
  }
  wait_for 60 last_status "$1" || fail "the page's status never became \"$1\""
}
# Whether the PNG $1 holds exactly the pixels of $2 (at most one level off, as sRGB round trips).
same_pixels() {
  [ "$(compare -metric AE -fuzz 0.5% "$1" "$2" null: 2>&1 || true)" = 0 ]
}
holds() {
  export_documents
  wait_for 30 same_pixels "$out/$1" "$out/$2" || fail "$1 does not hold the pixels of $2"
}

step "1. Filters > Lumivo on a.png hands it to the panel"
# GIMP opens the images of its command line one after the other, and reads Script-Fu only once
# all are open: until then the filter would hand off b.png, the only image yet.
export_documents 240
# GIMP's first start in a fresh home registers every plug-in first, most of a minute.
"$build/tests/e2e/lumivo-press-menu" "$host_pid" 240 || fail "no Filters > Lumivo in the editor"
editor_logged "filter result -128" 1 || fail "the first run did not hand off"
status_is "Picture received"

step "2. Invert, Apply: a.png is inverted"
in_page Invert
status_is "Invert chosen"
in_page "Apply to image"
status_is Applied
editor_logged "filter result 0" 1 || fail "the result was never applied"
holds doc.png a-inverted.png

step "3. Undo in the editor, then Warm and Apply in the panel: nothing lands on the undone picture"
in_menu Edit "Undo Lumivo"
[ "$editor" = gimp ] || editor_logged "undo Lumivo" 1 || fail "the editor did not undo"
holds doc.png a.png
in_page Warm
status_is "Warm chosen"
in_page "Apply to image"
status_is "Another picture in front"
editor_logged "filter result -128" 2 || fail "the editor did not hand the undone picture over"
holds doc.png a.png

step "4. The picture the editor holds now, inverted"
in_page Invert
status_is "Invert chosen"
in_page "Apply to image"
status_is Applied
editor_logged "filter result 0" 2 || fail "the second result was never applied"
holds doc.png a-inverted.png

step "5. The second document: handed over, inverted, and a.png left alone"
show_document b
in_menu Filters Lumivo
editor_logged "filter result -128" 3 || fail "b.png was not handed off"
status_is "Picture received"
in_page Invert
in_page "Apply to image"
status_is Applied
editor_logged "filter result 0" 3 || fail "b.png's result was never applied"
holds doc-2.png b-inverted.png
holds doc.png a-inverted.png

step "6. Undo in each document takes back only its own step"
in_menu Edit "Undo Lumivo"
holds doc-2.png b.png
holds doc.png a-inverted.png
show_document a
in_menu Edit "Undo Lumivo"
holds doc.png a.png
holds doc-2.png b.png

step "7. The editor quits: the panel lets go of the picture"
memory() {
  local pid web
  pid=$(panel_pid) || return 0
  web=$(ps -e -o pid=,ppid=,comm= |
    awk -v p="$pid" '$2 == p && $3 ~ /^WebKitWebProces/ { print $1; exit }')
  echo "panel $(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status") kB," \
    "web process $([ -n "$web" ] && awk '/^VmRSS:/ { print $2 }' "/proc/$web/status") kB"
}
before=$(memory)
# Every change was undone: GIMP has no changed image to ask about before it quits.
in_menu File Quit
wait_for 30 bash -c "! kill -0 $host_pid 2>/dev/null" || fail "the editor did not quit"
host_pid=
status_is "Editor closed"
sleep 5 # the web process collects what the page let go of
step "resident memory at $size: before the quit $before; after it $(memory)"

# Every status the page showed, word for word, in order.
menu='Filters ▸ Lumivo'
received="Picture received: Your picture from $name is here. Choose a look or an effect, then press Apply to image."
applying="Applying: Lumivo is choosing $menu in $name for you; your picture changes in a moment."
applied="Applied: The result is in your picture in $name, as one step you can undo there. After an undo or other edits in $name, run $menu to bring the picture here again."
chosen() {
  echo "$1 chosen: The preview shows $1. Press Apply to image to put it into your picture in $name."
}
expected=(
  "$received"
  "$(chosen Invert)" "$applying" "$applied"
  "$(chosen Warm)" "$applying"
  "Another picture in front: The picture in $name is not the one this result was made from (another image, or an undo or other edits since), so the editor left it unchanged and sent it here instead. Choose a look and apply it to this picture; your result waits for the one it was made from."
  "$(chosen Invert)" "$applying" "$applied"
  "$received"
  "$(chosen Invert)" "$applying" "$applied"
  "Editor closed: $Name has quit, so its picture is gone from here too. This panel closes in a minute unless you are in the middle of something here; run $menu in your editor to bring a picture in again."
)
printf '%s\n' "${expected[@]}" >"$out/statuses.expected"
grep -o 'panel: status .*' "$out/panel.log" | sed 's/^panel: status //' >"$out/statuses.shown"
diff -u "$out/statuses.expected" "$out/statuses.shown" ||
  fail "the page's statuses are not the ones expected (above: - expected, + shown)"
step "every status as expected; done"
