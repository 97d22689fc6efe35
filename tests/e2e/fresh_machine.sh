#!/usr/bin/env bash
# The README's main job the way a new machine meets it. Each road (the service road, the offline
# road, the GIMP road) runs `scripts/round-trip.sh --no-build` from the build in a private mount
# namespace where /tmp is a fresh, empty tmpfs, with a fresh empty HOME, no XDG_* variables, and
# no display, session bus or keyring started before it: every folder, socket and service it
# needs, it must make itself. The user's home must be exactly as empty afterwards: nothing of a
# road may land in it. Then all of it once more as a throwaway normal user, made here when this
# runs as root (skipped, and saying so, when it can't be made).
#
# usage: tests/e2e/fresh_machine.sh [--build DIR] [ROAD...]     ROAD: service, offline, gimp
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
roads=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    service | offline | gimp) roads+=("$1"); shift ;;
    *) echo "usage: $0 [--build DIR] [service|offline|gimp]..." >&2; exit 2 ;;
  esac
done
[ ${#roads[@]} -gt 0 ] || roads=(service offline gimp)

user=lumivo-fresh-test
marker="Lumivo fresh-machine test"

if [ -z "${LUMIVO_FRESH_STAGE:-}" ]; then
  # The new /tmp is laid out on a folder of the machine's /tmp before it replaces it; the folder
  # stays empty outside the namespace and is removed at the end.
  export LUMIVO_FRESH_STAGE=namespace LUMIVO_FRESH_STAGING
  LUMIVO_FRESH_STAGING=$(mktemp -d)
  made_user=
  # A road's last processes (the web view's helpers, daemons whose parent has just gone) end
  # a moment after it; a user can't be removed while one of them is still there.
  gone_within_10_s() {
    local _
    for _ in $(seq 50); do pgrep -u "$1" >/dev/null || return 0; sleep 0.2; done
    return 1
  }
  end_processes_of() {
    gone_within_10_s "$1" || { pkill -KILL -u "$1" || true; gone_within_10_s "$1" || true; }
  }
  end() {
    [ -z "$made_user" ] || { end_processes_of "$made_user"; userdel "$made_user"; }
    rmdir "$LUMIVO_FRESH_STAGING"
  }
  trap end EXIT
  if [ "$(id -u)" -eq 0 ]; then
    # A user left by an interrupted run is recognised by its comment and made afresh.
    if getent passwd "$user" | cut -d: -f5 | grep -qx "$marker"; then
      end_processes_of "$user"
      userdel "$user"
    fi
    if useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
         --comment "$marker" "$user" 2>/dev/null; then
      made_user=$user
    else
      echo "fresh-machine: skipping the normal user's runs: no user could be made" >&2
    fi
    LUMIVO_FRESH_USER=$made_user unshare --mount --fork "$0" --build "$build" "${roads[@]}"
  else
    echo "fresh-machine: not root, so no throwaway user: the normal user's runs are the" \
         "runs as $(id -un)" >&2
    unshare --user --map-root-user --mount --fork "$0" --build "$build" "${roads[@]}"
  fi
  exit
fi

# In the private mount namespace. The checkout (and the build, when it lies elsewhere) becomes an
# overlay whose changes stay in this namespace, owned by the normal user as their own clone would
# be, and stays at its own path, since a build knows its paths (an install writes its manifest
# there). A folder above it that a normal user can't enter, and /tmp, get a tmpfs of their own
# with just that path inside. /tmp is a fresh, empty tmpfs in any case. (A build outside the
# checkout must then not lie under /tmp as well.)
mount --make-rprivate /
layers=$LUMIVO_FRESH_STAGING
mount -t tmpfs -o mode=0700 tmpfs "$layers"

fresh_tmp=0
# Makes the folder $1 writable here only, through an overlay, and keeps it at its own path.
overlay_in_place() {
  local path=$1 n=$2 blocked= above=$1
  mkdir -p "$layers/$n/upper" "$layers/$n/work" "$layers/$n/merged" "$layers/$n/stage"
  if [ -n "${LUMIVO_FRESH_USER:-}" ]; then
    # Given to the normal user as their clone would be; only the owners are copied up.
    mount -t overlay overlay -o "metacopy=on,lowerdir=$path,upperdir=$layers/$n/upper" \
      -o "workdir=$layers/$n/work" "$layers/$n/merged"
    chown -R "$LUMIVO_FRESH_USER:" "$layers/$n/merged"
  else
    mount -t overlay overlay \
      -o "lowerdir=$path,upperdir=$layers/$n/upper,workdir=$layers/$n/work" "$layers/$n/merged"
  fi
  while above=$(dirname "$above"); [ "$above" != / ]; do
    case $above:$(stat -c %A "$above") in
      /tmp:* | *[!xt]) blocked=$above ;;
    esac
  done
  if [ -z "$blocked" ]; then
    mount --bind "$layers/$n/merged" "$path"
    return
  fi
  mount -t tmpfs -o "mode=$([ "$blocked" = /tmp ] && echo 1777 || echo 0755)" tmpfs \
    "$layers/$n/stage"
  mkdir -p "$layers/$n/stage/${path#"$blocked"/}"
  mount --bind "$layers/$n/merged" "$layers/$n/stage/${path#"$blocked"/}"
  mount --move "$layers/$n/stage" "$blocked"
  [ "$blocked" != /tmp ] || fresh_tmp=1
}

case $build/ in
  "$root"/*) overlay_in_place "$root" checkout ;;
  *) overlay_in_place "$root" checkout; overlay_in_place "$build" build ;;
esac
[ "$fresh_tmp" = 1 ] || mount -t tmpfs -o mode=1777 tmpfs /tmp

# Runs one road as the user $1 (empty: as the one running this) and checks that it passed and
# left the home untouched.
run_road() {
  local as=$1 road=$2 home out
  home=$(mktemp -d /tmp/home.XXXXXX)
  out=$(mktemp -d /tmp/out.XXXXXX)
  local switch=()
  if [ -n "$as" ]; then
    chown "$as:" "$home" "$out"
    switch=(setpriv --reuid="$as" --regid="$as" --clear-groups)
  fi
  local options=(--no-build --build "$build" --out "$out")
  case $road in
    offline) options+=(--offline) ;;
    gimp) options+=(--editor gimp) ;;
  esac
  local who=${as:-$(id -un)}
  echo "fresh-machine: the $road road as $who"
  local started=$SECONDS
  if ! (cd "$home" && env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
          ${switch[@]+"${switch[@]}"} bash "$root/scripts/round-trip.sh" "${options[@]}") \
       >"$out.log" 2>&1; then
    echo "fresh-machine: the $road road failed as $who:" >&2
    tail -40 "$out.log" >&2
    return 1
  fi
  if [ -n "$(ls -A "$home")" ]; then
    echo "fresh-machine: the $road road as $who left files in the user's home:" >&2
    (cd "$home" && find . -mindepth 1 | head -20) >&2
    return 1
  fi
  echo "fresh-machine: the $road road passed as $who ($((SECONDS - started)) s)"
}

failed=0
for road in "${roads[@]}"; do run_road "" "$road" || failed=1; done
if [ -n "${LUMIVO_FRESH_USER:-}" ]; then
  for road in "${roads[@]}"; do run_road "$LUMIVO_FRESH_USER" "$road" || failed=1; done
fi
exit $failed
