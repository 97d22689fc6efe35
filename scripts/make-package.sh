#!/usr/bin/env bash
# Builds the Debian package of the release this runs on from a build of the project: the
# filter bundle with the panel, the GIMP bridge (GIMP 3's on Debian 13, GIMP 2.10's on
# Debian 12) and the package's documents, as packaging/ lays them out, with the libraries
# they link found by dpkg-shlibdeps. Prints the package's path.
#
# usage: scripts/make-package.sh [--build DIR] [--out DIR]
#
# --build is the build folder (build/, or build-debian13/ in the Debian 13 root), configured
# and built here as far as the package needs; --out is where the package goes
# (out/package/RELEASE).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 [--build DIR] [--out DIR]" >&2
  exit 2
}

build=
out=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "${2:-}"); shift 2 ;;
    --out) out=$(realpath -m "${2:-}"); shift 2 ;;
    *) usage ;;
  esac
done
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
if [ -z "$build" ]; then
  if [ "${LUMIVO_DEBIAN_ROOT:-}" = trixie ]; then build=$root/build-debian13; else build=$root/build; fi
fi
out=${out:-$root/out/package/$release}

cmake -S "$root" -B "$build" -G Ninja >/dev/null
if [ ! -f "$build/CPackConfig.cmake" ]; then
  echo "make-package: $build builds no GIMP bridge, so there is nothing to package: install" \
       "GIMP's plug-in library (scripts/install-deps.sh)" >&2
  exit 1
fi
ninja -C "$build" -j"$(nproc)" lumivo_package_files >&2
# A package of an earlier build must not pass for this one. The folder itself stays: it may be
# a mount (the package's test binds it into the release's root).
mkdir -p "$out"
rm -rf "$out"/lumivo_*.deb "$out/_CPack_Packages"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; exit 1; }
rm -rf "$out/_CPack_Packages"
package=$(ls "$out"/lumivo_*.deb)
echo "$package"
