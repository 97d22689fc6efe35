#!/usr/bin/env bash
# Runs a command in a private sandbox that holds the whole service road, so the shipped
# programs reach the reference service under their compile-time host names:
#   - a mount namespace in which /etc/hosts maps the service's hosts to 127.0.0.1 and each
#     --host to 127.0.0.2 (where a test may serve it, on 443 as well), and the system CA
#     bundle, which libcurl and GnuTLS both read, holds a CA made for this run, both by bind
#     mounts;
#   - a network namespace with only loopback, where the service listens on port 443;
#   - a virtual display (its socket private to the sandbox), a session bus, the keyring, a
#     recording notification server that clicks each notification, a recording browser, and
#     the service.
#
# usage: scripts/sandbox/run.sh [--dir DIR] [--host NAME]... [--no-click]
#                               [--service PROGRAM | --no-service] [--service-option OPTION]...
#                               -- COMMAND [ARG...]
#
# --service names the lumivo-service program (build/service/lumivo-service by default);
# each --service-option is passed on to it.
#
# The command runs with these variables set:
#   LUMIVO_SANDBOX_DIR      the run's folder (kept when --dir is given, removed otherwise)
#   LUMIVO_SANDBOX_CA_CERT  the run's CA certificate, LUMIVO_SANDBOX_CA_KEY its key, for a test
#                           that signs a certificate of its own
#   LUMIVO_SANDBOX_EXTRA_CERT, LUMIVO_SANDBOX_EXTRA_KEY  a leaf for the --host names
#   DISPLAY, DBUS_SESSION_BUS_ADDRESS
#   HOME, XDG_RUNTIME_DIR, XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME  private to the run
# and leaves in the folder: service.log, service-record/ (what the service saw),
# notifications.jsonl (each Notify call) and browser.log (each URL opened).
#
# As root it uses `unshare --mount --net`; as another user it adds `--user --map-root-user`,
# which needs unprivileged user namespaces (kernel.unprivileged_userns_clone=1 and no
# AppArmor restriction on them); without them it stops and says so.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/road-lib.sh"

usage() {
  echo "usage: $0 [--dir DIR] [--host NAME]... [--no-click]" \
       "[--service PROGRAM | --no-service] [--service-option OPTION]... -- COMMAND [ARG...]" >&2
  exit 2
}

if [ -z "${LUMIVO_SANDBOX_STAGE:-}" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    enter=(unshare --mount --net --fork)
  else
    enter=(unshare --user --map-root-user --mount --net --fork)
    if ! unshare --user --map-root-user true 2>/dev/null; then
      echo "sandbox: this kernel does not let $(id -un) make user namespaces" \
           "(unshare --user --map-root-user failed). Run as root, or allow them:" \
           "sysctl kernel.unprivileged_userns_clone=1 (and, with AppArmor," \
           "kernel.apparmor_restrict_unprivileged_userns=0)." >&2
      exit 1
    fi
  fi
  LUMIVO_SANDBOX_STAGE=namespaces exec "${enter[@]}" "$0" "$@"
fi

if [ "$LUMIVO_SANDBOX_STAGE" = namespaces ]; then
  # Stage 1, as root of the new namespaces: the network, the certificates, the mounts.
  dir=
  hosts=()
  export LUMIVO_SANDBOX_CLICK=1 LUMIVO_SANDBOX_SERVICE=$root/build/service/lumivo-service
  export LUMIVO_SANDBOX_SERVICE_OPTIONS=
  while [ $# -gt 0 ]; do
    case $1 in
      --dir) dir=$(realpath -m "$2"); shift 2 ;;
      --host) hosts+=("$2"); shift 2 ;;
      --no-click) LUMIVO_SANDBOX_CLICK=0; shift ;;
      --service) LUMIVO_SANDBOX_SERVICE=$(realpath -m "$2"); shift 2 ;;
      --no-service) LUMIVO_SANDBOX_SERVICE=; shift ;;
      --service-option) LUMIVO_SANDBOX_SERVICE_OPTIONS+=" $2"; shift 2 ;;
      --) shift; break ;;
      *) usage ;;
    esac
  done
  [ $# -gt 0 ] || usage

  keep=1
  if [ -z "$dir" ]; then dir=$(mktemp -d); keep=0; fi
  mkdir -p "$dir"
  ip link set lo up
  # GLib resolves with AI_ADDRCONFIG, which finds no IPv4 name at all while 127.0.0.1 is the
  # only address: a second loopback address counts as configured, and stays on loopback.
  ip addr add 127.0.0.2/32 dev lo

  service_hosts=(lumivo.example www.lumivo.example auth.lumivo.example cdn.lumivo.example
                 storage.googleapis.com)
  bash "$here/make-certificates.sh" "$dir" "${service_hosts[*]}" "${hosts[*]}"

  # The extra names lead to the second loopback address, so a test can serve them on 443 too.
  { cat /etc/hosts; echo
    for h in "${service_hosts[@]}"; do echo "127.0.0.1 $h"; done
    for h in "${hosts[@]}"; do echo "127.0.0.2 $h"; done; } >"$dir/hosts"
  cat /etc/ssl/certs/ca-certificates.crt "$dir/ca.pem" >"$dir/ca-bundle.crt"
  mount --bind "$dir/hosts" /etc/hosts
  mount --bind "$dir/ca-bundle.crt" /etc/ssl/certs/ca-certificates.crt

  export LUMIVO_SANDBOX_DIR=$dir LUMIVO_SANDBOX_STAGE=session
  export LUMIVO_SANDBOX_CA_CERT=$dir/ca.pem LUMIVO_SANDBOX_CA_KEY=$dir/ca.key
  export LUMIVO_SANDBOX_EXTRA_CERT=$dir/extra.pem LUMIVO_SANDBOX_EXTRA_KEY=$dir/extra.key
  # Nothing of the private session may persist into the user's settings or home.
  export GSETTINGS_BACKEND=memory
  use_private_home "$dir/home"
  status=0
  bash "$root/scripts/virtual-display.sh" "$0" "$@" || status=$?
  [ $keep = 1 ] || rm -rf "$dir"
  exit $status
fi

# Stage 2, on the display and the session bus: the desktop services and the service.
dir=$LUMIVO_SANDBOX_DIR
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT


# The keyring, with a fresh login keyring unlocked by a password on standard input.
echo -n sandbox | gnome-keyring-daemon --foreground --unlock --components=secrets \
  >"$dir/keyring.log" 2>&1 &
pids+=($!)

/usr/bin/python3 "$here/notification_server.py" "$dir/notifications.jsonl" "$LUMIVO_SANDBOX_CLICK" \
  2>"$dir/notifications.log" &
pids+=($!)

# The default browser: records each URL and fetches the page, through the sandbox's own
# names and CA, as a browser would.
mkdir -p "$dir/xdg/applications"
cat >"$dir/xdg/applications/lumivo-sandbox-browser.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Sandbox browser
Exec=$here/record_browser.sh $dir %u
MimeType=x-scheme-handler/https;x-scheme-handler/http;
NoDisplay=true
DESKTOP
printf '[Default Applications]\nx-scheme-handler/https=lumivo-sandbox-browser.desktop\n' \
  >"$dir/xdg/applications/mimeapps.list"
export XDG_DATA_DIRS=$dir/xdg:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}

if [ -n "$LUMIVO_SANDBOX_SERVICE" ]; then
  # shellcheck disable=SC2086 # the options are words
  "$LUMIVO_SANDBOX_SERVICE" --cert "$dir/service.pem" --key "$dir/service.key" \
    --listen 127.0.0.1:443 --record "$dir/service-record" $LUMIVO_SANDBOX_SERVICE_OPTIONS \
    >"$dir/service.ready" 2>"$dir/service.log" &
  pids+=($!)
fi

has_owner() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}
wait_for 20 has_owner org.freedesktop.secrets || { echo "sandbox: no keyring" >&2; exit 1; }
wait_for 20 has_owner org.freedesktop.Notifications ||
  { echo "sandbox: no notification server" >&2; exit 1; }
if [ -n "$LUMIVO_SANDBOX_SERVICE" ]; then
  wait_for 20 grep -q READY "$dir/service.ready" ||
    { echo "sandbox: the service did not start" >&2; cat "$dir/service.log" >&2; exit 1; }
fi

"$@"
