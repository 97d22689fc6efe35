#!/usr/bin/env bash
# Builds the programs the road benchmarks run, from a commit of this repository (say main), for a
# before/after table: the commit's tree is exported (no worktree, nothing in git changes) into
# out/bench-builds/<commit>/src and built in out/bench-builds/<commit>/build, once. Prints the
# build folder, for --build.
#
# usage: bench/build_ref.sh REF
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 REF" >&2; exit 2; }
commit=$(git -C "$root" rev-parse --verify --short=12 "$1^{commit}")
dir=$root/out/bench-builds/$commit
if [ ! -f "$dir/built" ]; then
  rm -rf "$dir"
  mkdir -p "$dir/src"
  git -C "$root" archive "$commit" | tar -x -C "$dir/src"
  cmake -S "$dir/src" -B "$dir/build" -G Ninja -DLUMIVO_BENCH=OFF >"$dir/cmake.log" 2>&1 ||
    { echo "bench: configuring $1 failed, see $dir/cmake.log" >&2; exit 1; }
  ninja -C "$dir/build" lumivo-host LumivoFilter LumivoAffinity lumivo-press-menu lumivo-service \
    >"$dir/ninja.log" 2>&1 || { echo "bench: building $1 failed, see $dir/ninja.log" >&2; exit 1; }
  touch "$dir/built"
fi
echo "$dir/build"
