#!/usr/bin/env bash
# Installs Lumivo into GIMP: the filter bundle (with the panel inside) and the bridge that hosts
# it, into GIMP's plug-in folder. GIMP lists it as Filters > Lumivo from its next start.
#
# usage: gimp/install.sh [--gimp 3|2.10] [--system] [--build DIR] [--dest DIR] [--no-build]
#
# --gimp picks the GIMP: 3 where gimp-3.0 is installed, else 2.10. The default folder is the
# user's: ~/.config/GIMP/3.0/plug-ins/lumivo (or 2.10), under $XDG_CONFIG_HOME when set, or
# under $GIMP3_DIRECTORY ($GIMP2_DIRECTORY) when GIMP is told to use another folder. --system
# installs for every user into GIMP's own plug-in folder instead (through sudo when not root);
# install one or the other, not both. Builds the bridge first unless --no-build; the Debian
# packages come from scripts/install-deps.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 [--gimp 3|2.10] [--system] [--build DIR] [--dest DIR] [--no-build]" >&2
  exit 2
}

gimp=
build=
dest=
system=0
do_build=1
while [ $# -gt 0 ]; do
  case $1 in
    --gimp) gimp=${2:-}; shift 2 ;;
    --system) system=1; shift ;;
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --dest) dest=$(realpath -m "$2"); shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) usage ;;
  esac
done
if [ -z "$gimp" ]; then
  if command -v gimp-3.0 >/dev/null; then gimp=3; else gimp=2.10; fi
fi
case $gimp in
  3 | 3.0) gimp=3 target=lumivo-gimp3 component=gimp3 version=3.0 module=gimp-3.0
           user_dir=${GIMP3_DIRECTORY:-} console=gimp-console-3.0
           first_start=(--batch-interpreter=plug-in-script-fu-eval -b '(gimp-quit 0)') ;;
  2 | 2.10) gimp=2.10 target=lumivo-gimp component=gimp2 version=2.10 module=gimp-2.0
            user_dir=${GIMP2_DIRECTORY:-} console=gimp-console-2.10
            first_start=(-b '(gimp-quit 0)') ;;
  *) usage ;;
esac
# The Debian 13 build lives apart from the Debian 12 one (scripts/test-debian13.sh).
if [ -z "$build" ]; then
  if [ "${LUMIVO_DEBIAN_ROOT:-}" = trixie ]; then build=$root/build-debian13; else build=$root/build; fi
fi

gimp_dir=${XDG_CONFIG_HOME:-$HOME/.config}/GIMP/$version
if [ -n "$user_dir" ] && [ "${user_dir#/}" != "$user_dir" ]; then
  gimp_dir=$user_dir
fi
if [ "$system" = 1 ]; then
  libdir=$(pkg-config --variable=gimplibdir "$module" 2>/dev/null || true)
  if [ -z "$libdir" ]; then
    if [ "$gimp" = 3 ]; then libdir=/usr/lib/x86_64-linux-gnu/gimp/3.0; else libdir=/usr/lib/gimp/2.0; fi
  fi
  dest=${dest:-$libdir/plug-ins/lumivo}
fi
dest=${dest:-$gimp_dir/plug-ins/lumivo}

if [ "$do_build" = 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
  ninja -C "$build" "$target"
fi
if [ ! -x "$build/gimp/$target" ]; then
  echo "gimp/install.sh: $build has no GIMP $gimp bridge ($target): build it where" \
       "$module is installed" >&2
  exit 1
fi

# GIMP sets up a new user's folder (carrying an older version's settings over) only when the
# folder does not exist yet, so installing into it first would skip that for good: GIMP runs
# once without a window to do it.
case $dest in
  "$gimp_dir"/*)
    if [ ! -e "$gimp_dir" ] && command -v "$console" >/dev/null; then
      timeout 300 "$console" -i "${first_start[@]}" >/dev/null 2>&1 || true
    fi ;;
esac

# The files are laid out as the user first, then copied into place: a system folder through
# sudo, so nothing in the build tree becomes root's.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# The bridge's own install rules, run directly: unlike `cmake --install`, they write nothing
# into the build tree, which may be another user's.
cmake -DCMAKE_INSTALL_COMPONENT="$component" -DCMAKE_INSTALL_PREFIX="$stage/lumivo" \
  -P "$build/gimp/cmake_install.cmake" >/dev/null
sudo_cmd=()
if [ "$system" = 1 ] && [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "gimp/install.sh: installing for every user needs root: run it as root" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
# A bundle left from an older installation must not keep files the new one no longer has.
"${sudo_cmd[@]}" rm -rf "$dest/LumivoFilter.8bf"
"${sudo_cmd[@]}" mkdir -p "$dest"
"${sudo_cmd[@]}" cp -R "$stage/lumivo/." "$dest/"
echo "gimp/install.sh: installed into $dest (GIMP $gimp)"
if [ "$gimp" = 2.10 ]; then
  case ":${GTK_MODULES:-}:" in
    *:atk-bridge:*) ;;
    *) echo "gimp/install.sh: start GIMP 2.10 with GTK_MODULES=gail:atk-bridge so the panel" \
            "can press its menu (a desktop session with assistive technology on sets it)" ;;
  esac
fi
