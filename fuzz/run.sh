#!/usr/bin/env bash
# Builds one libFuzzer target (clang 14, AddressSanitizer and UndefinedBehaviorSanitizer, every
# library instrumented) in build-fuzz/ from the same CMake libraries the programs link, and runs
# it for the given number of seconds on a working copy of its corpus.
#   fuzz/run.sh png-decode|page-message|url-rules [seconds] [extra libFuzzer flags...]
# Crashing inputs land in build-fuzz/artifacts/; once fixed, they go to the target's regression
# folder (fuzz/regressions/ for PNG and JPEG bytes, which a unit test decodes too), which
# scripts/test.sh replays with every corpus.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
target="${1:?usage: fuzz/run.sh png-decode|page-message|url-rules [seconds] [flags...]}"
seconds="${2:-600}"
shift $(($# < 2 ? $# : 2))
# Another folder for another system's build (scripts/test-debian13.sh: Debian 13's clang).
out="${LUMIVO_FUZZ_BUILD:-$root/build-fuzz}"
# The largest input each target makes up: room for its kind of input, no more.
case "$target" in
  png-decode) max_len=65536 ;;
  page-message) max_len=16384 ;;
  url-rules) max_len=512 ;;
  *) echo "fuzz/run.sh: unknown target $target" >&2; exit 2 ;;
esac

if [ ! -f "$out/build.ninja" ]; then
  cmake -S "$root" -B "$out" -G Ninja -DLUMIVO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER="${CC_FUZZ:-clang-14}" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++-14}" >/dev/null
fi
ninja -C "$out" "$target-fuzzer" >/dev/null

mapfile -t inputs <"$out/fuzz/$target-fuzzer.inputs"
read -r -a limits <"$out/fuzz/$target-fuzzer.limits"
work="$here/corpus-work/$target"
mkdir -p "$out/artifacts" "$work"
exec "$out/fuzz/$target-fuzzer" "$work" "${inputs[@]}" -max_total_time="$seconds" "${limits[@]}" \
  -max_len="$max_len" -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@"
