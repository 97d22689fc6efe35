# Shell functions the roads share (scripts/round-trip.sh, gimp/round-trip.sh, the sandbox).
# Sourced; defines functions only.

# Makes $1 afresh as the run's home and points HOME, the XDG folders and the runtime folder into
# it, so nothing of the run (the keyring, the web view's caches, any program's settings) reaches
# the home of the user who runs it, and no folder of an earlier run is assumed. Call it before
# the session bus starts, so the bus doesn't find the user's own services either.
use_private_home() {
  rm -rf "$1"
  export HOME=$1 XDG_RUNTIME_DIR=$1/run
  export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache
  mkdir -p -m 0700 "$HOME" "$XDG_RUNTIME_DIR"
  mkdir -p "$XDG_DATA_HOME/keyrings" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
}

# Waits until a command succeeds, at most $1 seconds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    if [ $SECONDS -ge $end ]; then return 1; fi
    sleep 0.1
  done
}

# Ends every process that runs exactly the executable $1. The panel runs detached, so it is
# found by its executable, never by name.
kill_executable() {
  local target=$1 exe pid
  [ -n "$target" ] || return 0
  for exe in /proc/[0-9]*/exe; do
    if [ "$(readlink "$exe" 2>/dev/null)" = "$target" ]; then
      pid=${exe#/proc/}; kill "${pid%/exe}" 2>/dev/null || true
    fi
  done
}

# The plug-in starts the panel with its streams on /dev/null, so the panel executable in the
# plug-in bundle $1 becomes a wrapper that appends the real one's standard error to $2. Prints
# the real executable's path.
wrap_panel() {
  local dir=$1/Contents/Resources/LumivoAffinity.app/Contents/Linux
  mv "$dir/LumivoAffinity" "$dir/LumivoAffinity.real"
  cat >"$dir/LumivoAffinity" <<WRAPPER
#!/bin/sh
exec "$dir/LumivoAffinity.real" "\$@" 2>>"$2"
WRAPPER
  chmod +x "$dir/LumivoAffinity"
  echo "$dir/LumivoAffinity.real"
}

# The same for the panel of a bundle installed for every user ($1), whose files stay as they
# are: the panel's program folder is seen through the folder $3, which holds the wrapper beside
# the installed program, mounted over it. Needs a mount namespace of the caller's own, where
# the mounts end with it. Prints the path the real executable runs from.
wrap_installed_panel() {
  local dir shadow=$3
  dir=$(realpath "$1")/Contents/Resources/LumivoAffinity.app/Contents/Linux
  mkdir -p "$shadow"
  touch "$shadow/LumivoAffinity.real"
  mount --bind "$dir/LumivoAffinity" "$shadow/LumivoAffinity.real"
  cat >"$shadow/LumivoAffinity" <<WRAPPER
#!/bin/sh
exec "$dir/LumivoAffinity.real" "\$@" 2>>"$2"
WRAPPER
  chmod 0755 "$shadow" "$shadow/LumivoAffinity"
  mount --rbind "$shadow" "$dir"
  # The folder's own mount is no longer needed: the copy over the installed one stays.
  umount "$shadow/LumivoAffinity.real"
  echo "$dir/LumivoAffinity.real"
}

# The page asks for its sign-in at start: an unlocked keyring of this session answers at once,
# where one started on demand would wait on a prompt to create it. Runs it with the private
# runtime folder $1 (log in $1/keyring.log), sets keyring_pid, and waits until it answers.
start_session_keyring() {
  mkdir -p -m 0700 "$1"
  echo -n headless | XDG_RUNTIME_DIR=$1 gnome-keyring-daemon --foreground --unlock \
    --components=secrets >"$1/keyring.log" 2>&1 &
  keyring_pid=$!
  secrets_up() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.NameHasOwner org.freedesktop.secrets | grep -q true
  }
  wait_for 20 secrets_up || echo "round-trip: the session's keyring did not start" >&2
}

# Writes the photo to $1 at the size $2 (WxH), as plain 8-bit RGB pixels with no colour chunks,
# so every reader sees the same values.
make_photo() {
  local photo=/usr/share/backgrounds/mate/nature/Aqua.jpg
  local plain=(-strip -type TrueColor -depth 8 -define png:exclude-chunks=all)
  if [ -f "$photo" ]; then
    convert "$photo" -resize "$2^" -gravity center -extent "$2" "${plain[@]}" "PNG24:$1"
  else
    convert -size "$2" gradient:orange-navy "${plain[@]}" "PNG24:$1"
  fi
}

# The peak resident memory (VmHWM, kB) of the panel that runs exactly the executable $1 and of its
# web process, as "panel-kb=N web-kb=M"; nothing when no such panel runs.
panel_peak_memory() {
  local target=$1 exe pid= web
  for exe in /proc/[0-9]*/exe; do
    if [ "$(readlink "$exe" 2>/dev/null)" = "$target" ]; then
      pid=${exe#/proc/}; pid=${pid%/exe}
    fi
  done
  [ -n "$pid" ] || return 0
  web=$(ps -e -o pid=,ppid=,comm= | awk -v p="$pid" '$2 == p && $3 ~ /^WebKitWebProces/ { print $1; exit }')
  echo "panel-kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)" \
       "web-kb=$([ -n "$web" ] && awk '/^VmHWM:/ { print $2 }' "/proc/$web/status" 2>/dev/null)"
}

# Whether the panel's page has said $1 (a pattern) in the run's panel log.
page_said() { grep -q "LumivoPlugin: panel: $1" "$out/panel.log" 2>/dev/null; }

# Follows the service road once the panel shows the frame: sign-in (kept in the keyring),
# upload, the service's creation with effect $1, the notification and its click. Uses the
# road's own step, fail and output folder $out.
follow_service_road() {
  local effect=$1 sandbox=$LUMIVO_SANDBOX_DIR
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
}
