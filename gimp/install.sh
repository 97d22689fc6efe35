#!/usr/bin/env bash
# Installs Lumivo into GIMP 2.10 for this user: the filter bundle (with the panel inside) and
# the bridge that hosts it, into GIMP's plug-in folder. GIMP lists it as Filters > Lumivo from
# its next start.
#
# usage: gimp/install.sh [--build DIR] [--dest DIR] [--no-build]
#
# The default folder is ~/.config/GIMP/2.10/plug-ins/lumivo (under $XDG_CONFIG_HOME when set,
# or under $GIMP2_DIRECTORY when GIMP is told to use another folder). Builds the parts first
# unless --no-build; the Debian packages come from scripts/install-deps.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
gimp_dir=${XDG_CONFIG_HOME:-$HOME/.config}/GIMP/2.10
if [ -n "${GIMP2_DIRECTORY:-}" ] && [ "${GIMP2_DIRECTORY#/}" != "$GIMP2_DIRECTORY" ]; then
  gimp_dir=$GIMP2_DIRECTORY
fi
dest=$gimp_dir/plug-ins/lumivo
do_build=1
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --dest) dest=$(realpath -m "$2"); shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) echo "usage: $0 [--build DIR] [--dest DIR] [--no-build]" >&2; exit 2 ;;
  esac
done

if [ "$do_build" = 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
  ninja -C "$build" lumivo-gimp
fi
# GIMP sets up a new user's folder (carrying an older version's settings over) only when the
# folder does not exist yet, so installing into it first would skip that for good: GIMP runs
# once without a window to do it.
case $dest in
  "$gimp_dir"/*)
    if [ ! -e "$gimp_dir" ] && command -v gimp-console-2.10 >/dev/null; then
      timeout 300 gimp-console-2.10 -i -b '(gimp-quit 0)' >/dev/null 2>&1 || true
    fi ;;
esac
# A bundle left from an older installation must not keep files the new one no longer has.
rm -rf "$dest/LumivoFilter.8bf"
cmake --install "$build" --component gimp --prefix "$dest" >/dev/null
echo "gimp/install.sh: installed into $dest"
case ":${GTK_MODULES:-}:" in
  *:atk-bridge:*) ;;
  *) echo "gimp/install.sh: start GIMP with GTK_MODULES=gail:atk-bridge so the panel can" \
          "press its menu (a desktop session with assistive technology on sets it)" ;;
esac
