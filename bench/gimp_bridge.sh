#!/usr/bin/env bash
# The filter's runs in GIMP 3 and GIMP 2.10 through the bridge, each beside the demo host, at 1
# and 24 megapixels (bench/gimp_bridge.cpp): GIMP 2.10 from this machine's build (build/), GIMP 3
# from the Debian 13 root's (build-debian13/, in scripts/debian-root.sh). Builds what is
# missing first unless --no-build.
#
# usage: bench/gimp_bridge.sh [--no-build]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
do_build=1
case ${1:-} in
  --no-build) do_build=0 ;;
  "") ;;
  *) echo "usage: $0 [--no-build]" >&2; exit 2 ;;
esac

run() {
  local build=$1
  if [ "$do_build" = 1 ]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
    nice ninja -C "$build" gimp_bridge >/dev/null
  fi
  bash "$root/scripts/virtual-display.sh" "$build/bench/gimp_bridge" "$build"
}

if [ "${LUMIVO_DEBIAN_ROOT:-}" = trixie ]; then
  echo "== GIMP 3 (Debian 13 root)"
  run "$root/build-debian13"
  exit 0
fi
echo "== GIMP 2.10 (this machine)"
run "$root/build"
echo
exec bash "$root/scripts/debian-root.sh" --release trixie -- bash "$0" "$@"
