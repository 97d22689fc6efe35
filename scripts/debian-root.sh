#!/usr/bin/env bash
# A Debian root of the project's own: Debian 13 "trixie" (the default) or Debian 12 "bookworm",
# made with mmdebstrap from the Debian archive that apt on this machine already uses, holding
# what the build, the tests and the editors need, cached on the machine, and entered in private
# namespaces to run a command there.
#
# usage: scripts/debian-root.sh [--release trixie|bookworm] [--packages "NAME..."]
#                               [--download "NAME..."] [--name NAME] [--bind DIR]...
#                               [--env NAME=VALUE]... [--cache DIR] [--refresh]
#                               [--print-packages | --print-path | --help | -- COMMAND [ARG...]]
#
# The packages are scripts/install-deps.sh's list as scripts/debian-root/RELEASE.packages names
# them for the release, or the --packages list instead. The --download packages, with what
# they need, are only downloaded into the root's apt cache, so a command there can install
# them without the network. A root is made once per release, name and lists (`--print-packages`
# shows the list, `--print-path` the root's folder) and kept in the cache:
# /var/cache/lumivo/debian-roots as root, ~/.cache/lumivo/debian-roots otherwise, or --cache
# DIR ($LUMIVO_DEBIAN_ROOT_CACHE). Making one removes the release's roots of the same name and
# other lists. The project's root has no name; --name NAME (lower-case letters and digits)
# keeps a root for another purpose beside it. --refresh makes it again, with the archive's
# newer packages.
#
# A command runs in a fresh root every time: the cached root is the lower layer of an overlay
# whose changes live in memory and are gone afterwards, in private mount, PID and UTS
# namespaces (and a user namespace when not root) with /proc, /dev, /sys, an empty /tmp, /run
# and HOME (/root), the project's folder and every --bind folder at their own paths, and a
# ccache folder kept beside the cache (CCACHE_DIR). It starts in the current folder when that
# lies in a bound one, with a clean environment (LUMIVO_DEBIAN_ROOT names the release) plus the
# --env settings. Whatever the command leaves running ends with it. Its status is the script's.
#
# Without root, roots are made in mmdebstrap's unshare mode, which needs subordinate ids (lines
# for the user in /etc/subuid and /etc/subgid) and newuidmap (package uidmap). Where those or
# unprivileged user namespaces are missing, the script says what is missing and exits with
# status 77, which callers count as skipped.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/.." && pwd)
# Bumped when the way a root is made changes, so cached roots are made again.
recipe=1
skipped=77

usage() {
  echo "usage: $0 [--release trixie|bookworm] [--packages \"NAME...\"]" \
       "[--download \"NAME...\"] [--name NAME] [--bind DIR]..." \
       "[--env NAME=VALUE]... [--cache DIR] [--refresh]" \
       "[--print-packages | --print-path | --help | -- COMMAND [ARG...]]" >&2
  exit 2
}

# Stage 2, inside the new namespaces: the overlay, the mounts, then the command.
if [ "${LUMIVO_DEBIAN_ROOT_STAGE:-}" = inside ]; then
  tree=$1 scratch=$2 ccache=$3 binds=$4 settings=$5
  shift 5
  exec 9>&-  # the cache's lock stays with the caller
  mount -t tmpfs -o mode=0755 lumivo-root "$scratch"
  mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
  if ! mount -t overlay overlay \
      -o "lowerdir=$tree,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"; then
    echo "debian-root: this kernel does not let $(id -un) layer a fresh root over the cached" \
         "one (an overlay mount in a user namespace needs Linux 5.11 or later)" >&2
    exit $skipped
  fi
  r=$scratch/root
  mount -t proc proc "$r/proc"
  mount --rbind /dev "$r/dev"
  mount -t tmpfs -o mode=1777 tmpfs "$r/dev/shm"
  mount --rbind /sys "$r/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$r/tmp"
  mkdir -m 1777 "$r/tmp/.X11-unix"
  mount -t tmpfs -o mode=0755 tmpfs "$r/run"
  mount -t tmpfs -o mode=0700 tmpfs "$r/root"
  cat /etc/resolv.conf >"$r/etc/resolv.conf" 2>/dev/null || true
  mkdir -p "$r/var/cache/ccache"
  mount --bind "$ccache" "$r/var/cache/ccache"
  while IFS= read -r dir; do
    [ -n "$dir" ] || continue
    mkdir -p "$r$dir"
    mount --rbind "$dir" "$r$dir"
  done <<<"$binds"
  start=/
  while IFS= read -r dir; do
    case $PWD/ in "$dir"/*) start=$PWD ;; esac
  done <<<"$binds"
  environment=(HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM="${TERM:-dumb}"
               PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
               CCACHE_DIR=/var/cache/ccache LUMIVO_DEBIAN_ROOT="$LUMIVO_DEBIAN_ROOT")
  while IFS= read -r setting; do
    [ -n "$setting" ] && environment+=("$setting")
  done <<<"$settings"
  # This shell stays the namespace's first process, which reaps what the command leaves; when
  # it ends, the kernel ends everything else in the namespace.
  status=0
  chroot "$r" /usr/bin/env -i "${environment[@]}" /bin/sh -c 'cd "$1" && shift && exec "$@"' \
    sh "$start" "$@" || status=$?
  exit $status
fi

release=trixie
packages=
download=
name=
binds=("$project")
settings=()
cache=${LUMIVO_DEBIAN_ROOT_CACHE:-}
refresh=0
action=run
while [ $# -gt 0 ]; do
  case $1 in
    --release) release=${2:-}; shift 2 ;;
    --packages) packages=${2:-}; shift 2 ;;
    --download) download=${2:-}; shift 2 ;;
    --name) name=${2:-}; shift 2 ;;
    --bind) binds+=("$(realpath -e "$2")"); shift 2 ;;
    --env) settings+=("$2"); shift 2 ;;
    --cache) cache=$(realpath -m "$2"); shift 2 ;;
    --refresh) refresh=1; shift ;;
    --print-packages) action=print-packages; shift ;;
    --print-path) action=print-path; shift ;;
    -h | --help) sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
case $release in trixie | bookworm) ;; *) usage ;; esac
case $name in
  trixie | bookworm | *[!a-z0-9]*) usage ;;
esac
if [ "$action" = run ] && [ $# -eq 0 ]; then usage; fi

# The package list: the machine's list with the release's renames, one name a line, sorted.
package_list() {
  if [ -n "$packages" ]; then
    tr ', ' '\n\n' <<<"$packages" | grep .
  else
    bash "$here/install-deps.sh" --list | awk -v rules="$here/debian-root/$release.packages" '
      BEGIN {
        while ((getline line < rules) > 0) {
          if (line ~ /^#/ || split(line, w, " ") != 2) continue
          if (w[1] == "+") add[w[2]] = 1; else rename[w[1]] = w[2]
        }
      }
      { name = ($1 in rename) ? rename[$1] : $1; if (name != "-") print name }
      END { for (name in add) print name }'
  fi | sort -u
}
list=$(package_list)
download=$(tr ', ' '\n\n' <<<"$download" | grep . | sort -u || true)
if [ "$action" = print-packages ]; then
  echo "$list"
  exit 0
fi

# The archive apt already uses: the URIs of this machine's own release and its security
# updates, from its sources.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
archive=http://deb.debian.org/debian
security=http://deb.debian.org/debian-security
while read -r suite uri; do
  case $suite in
    "$codename") archive=${uri%/} ;;
    "$codename-security") security=${uri%/} ;;
  esac
done < <(apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Identifier: Packages' 2>/dev/null |
         sort -u)
sources=("deb $archive $release main" "deb $archive $release-updates main"
         "deb $security $release-security main")

if [ -z "$cache" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    cache=/var/cache/lumivo/debian-roots
  else
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/lumivo/debian-roots
  fi
fi
key=$(printf '%s\n' "recipe $recipe" "$release" "${sources[@]}" "$list" |
      { cat; [ -z "$download" ] || printf 'download\n%s\n' "$download"; } | sha256sum | cut -c1-16)
# The project's root is RELEASE-KEY, a named one NAME-RELEASE-KEY.
slot=${name:+$name-}$release
entry=$cache/$slot-$key
tree=$entry/tree
if [ "$action" = print-path ]; then
  echo "$tree"
  exit 0
fi

# Whether this user can work in namespaces at all, and make roots in mmdebstrap's unshare mode.
unprivileged_problem() {
  local user
  user=$(id -un)
  if ! unshare --user --map-root-user --mount --pid --fork true 2>/dev/null; then
    echo "this kernel does not let $user make user namespaces (allow them with" \
         "sysctl kernel.unprivileged_userns_clone=1, and with AppArmor" \
         "kernel.apparmor_restrict_unprivileged_userns=0), or run it as root"
  elif [ "$1" = make ] && ! command -v newuidmap >/dev/null; then
    echo "making a root as $user needs newuidmap: run scripts/install-deps.sh (package uidmap)"
  elif [ "$1" = make ] && ! { grep -q "^$user:" /etc/subuid && grep -q "^$user:" /etc/subgid; } 2>/dev/null; then
    echo "making a root as $user needs subordinate ids: give $user a range with" \
         "'sudo usermod --add-subuids 100000-165535 --add-subgids 100000-165535 $user'" \
         "(adduser usually does), or run it as root"
  fi
}

make_root() {
  if ! command -v mmdebstrap >/dev/null; then
    echo "debian-root: mmdebstrap is missing: run scripts/install-deps.sh" >&2
    exit 1
  fi
  local mode=root problem
  if [ "$(id -u)" -ne 0 ]; then
    mode=unshare
    problem=$(unprivileged_problem make)
    if [ -n "$problem" ]; then
      echo "debian-root: skipped: $problem" >&2
      exit $skipped
    fi
  fi
  echo "debian-root: making the Debian $release root ($(wc -l <<<"$list") packages from" \
       "$archive) in $entry" >&2
  local started=$SECONDS partial=$cache/.partial-$slot-$$ old
  # What an interrupted making left behind (nobody else makes one now).
  for old in "$cache/.partial-$slot"-*; do
    [ -e "$old" ] && remove_tree "$old"
  done
  mkdir -p "$partial"
  # Only what builds and runs: no manuals, documentation or translations. The package lists
  # stay, so a command inside can install more.
  local options=(--variant=minbase --mode="$mode" --include="$(tr '\n' ' ' <<<"$list")"
                 --aptopt='Acquire::Languages "none"' --skip=cleanup/apt/lists
                 --dpkgopt='path-exclude=/usr/share/man/*'
                 --dpkgopt='path-exclude=/usr/share/doc/*'
                 --dpkgopt='path-include=/usr/share/doc/*/copyright'
                 --dpkgopt='path-exclude=/usr/share/locale/*'
                 --dpkgopt='path-include=/usr/share/locale/locale.alias')
  if [ -n "$download" ]; then
    # Downloaded last, after the installed packages' archives are cleaned away.
    options+=(--skip=cleanup/apt/cache
              --customize-hook='chroot "$1" apt-get clean'
              --customize-hook="chroot \"\$1\" apt-get install -qq --download-only --yes \
                --no-install-recommends $(tr '\n' ' ' <<<"$download")")
  fi
  if [ "$mode" = root ]; then
    mmdebstrap "${options[@]}" --format=directory "$release" "$partial/tree" "${sources[@]}"
  else
    # Files made in the namespace belong to subordinate ids outside it: the root comes out as a
    # tarball and is unpacked as the user's own files (device nodes come from the bound /dev).
    mkdir "$partial/tree"
    mmdebstrap "${options[@]}" --format=tar "$release" - "${sources[@]}" |
      tar -C "$partial/tree" -x --exclude='./dev/*'
  fi
  printf '%s\n' "$list" >"$partial/packages"
  [ -z "$download" ] || printf '%s\n' "$download" >"$partial/downloads"
  printf '%s\n' "${sources[@]}" >"$partial/sources"
  # Roots of other lists or recipes of this release and name are no longer used.
  for old in "$cache/$slot"-*; do
    [ -e "$old" ] && remove_tree "$old"
  done
  mv "$partial" "$entry"
  echo "debian-root: made in $((SECONDS - started)) s, $(du -sh "$tree" | cut -f1)" >&2
}

# A root unpacked by a user holds folders without write permission for the user; as its
# namespace's root the user may remove them.
remove_tree() {
  if [ "$(id -u)" -eq 0 ]; then
    rm -rf "$1"
  else
    unshare --user --map-root-user rm -rf "$1"
  fi
}

mkdir -p "$cache"
ccache=$(dirname "$cache")/ccache-$release
mkdir -p "$ccache"
exec 9>"$cache/$slot.lock"
flock -s 9
if [ "$refresh" = 1 ] || [ ! -d "$tree" ]; then
  flock -x 9
  if [ "$refresh" = 1 ] || [ ! -d "$tree" ]; then
    [ -e "$entry" ] && remove_tree "$entry"
    make_root
  fi
  flock -s 9
fi

enter=(unshare --mount --pid --uts --fork --kill-child)
if [ "$(id -u)" -ne 0 ]; then
  problem=$(unprivileged_problem run)
  if [ -n "$problem" ]; then
    echo "debian-root: skipped: $problem" >&2
    exit $skipped
  fi
  enter=(unshare --user --map-root-user --mount --pid --uts --fork --kill-child)
fi
scratch=$(mktemp -d)
trap 'rmdir "$scratch" 2>/dev/null || true' EXIT
status=0
LUMIVO_DEBIAN_ROOT_STAGE=inside LUMIVO_DEBIAN_ROOT=$release "${enter[@]}" \
  bash "$0" "$tree" "$scratch" "$ccache" "$(printf '%s\n' "${binds[@]}")" \
  "$(printf '%s\n' ${settings[@]+"${settings[@]}"})" "$@" || status=$?
exit $status
