#!/usr/bin/env bash
# The project on Debian 13 "trixie", in the project's own root of it (scripts/debian-root.sh):
# the build with GCC 14 and warnings as errors into build-debian13/, the unit tests, the
# fuzzers built with its clang and run briefly, the bridge installed for every user and found
# by GIMP 3, and the roads in GIMP 3 (the service road and the offline one). scripts/test.sh
# runs it; it enters the root by itself, whose changes go with it.
#
# usage: scripts/test-debian13.sh
#
# Exits with status 77, saying why, where the root can't be made or entered (see
# scripts/debian-root.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${LUMIVO_DEBIAN_ROOT:-}" != trixie ]; then
  exec bash "$root/scripts/debian-root.sh" --release trixie -- bash "$0" "$@"
fi
cd "$root"
build=build-debian13
jobs=$(nproc)
t0=$SECONDS
say() { echo "test-debian13: [$((SECONDS - t0)) s] $*"; }

say "$(. /etc/os-release && echo "$PRETTY_NAME"), $(gcc --version | head -1)"
cmake -S . -B "$build" -G Ninja -DLUMIVO_WERROR=ON >/dev/null
nice ninja -C "$build" -j"$jobs"
say "built"
bash scripts/virtual-display.sh ctest --test-dir "$build" --output-on-failure -j"$jobs" -L unit
say "unit tests passed"
for target in png-decode page-message url-rules; do
  LUMIVO_FUZZ_BUILD=$root/build-fuzz-debian13 CC_FUZZ=clang-19 CXX_FUZZ=clang++-19 \
    nice bash fuzz/run.sh "$target" 10 >"$build/fuzz-$target.log" 2>&1 ||
    { tail -30 "$build/fuzz-$target.log"; exit 1; }
done
say "fuzzers built with $(clang++-19 --version | head -1) and run"
# Installed into GIMP 3's own plug-in folder, the bridge is what a GIMP without a window lists.
# It goes again before the roads, which install it for their user only.
bash gimp/install.sh --no-build --system --build "$build"
listed=$(printf '(gimp-pdb-procedure-exists "plug-in-lumivo")\n(gimp-quit 0)\n' |
  timeout 300 gimp-console-3.0 -i --batch-interpreter=plug-in-script-fu-eval -b - 2>&1) || true
if ! grep -qE '^ts> \((1|#t)\)' <<<"$listed"; then
  echo "$listed"
  echo "test-debian13: GIMP 3 does not list the bridge installed for every user" >&2
  exit 1
fi
rm -rf "$(pkg-config --variable=gimplibdir gimp-3.0)/plug-ins/lumivo"
say "installed for every user, GIMP 3 lists the bridge"
ctest --test-dir "$build" --output-on-failure -L e2e -R gimp3
say "the roads in GIMP 3 passed"
