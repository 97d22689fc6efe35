#!/usr/bin/env bash
# Builds the png::decode fuzzer with clang's libFuzzer and AddressSanitizer in its own directory
# and runs it for the given number of seconds (default 600) on a working copy of the seed corpus.
#   fuzz/run-fuzzer.sh [seconds] [extra libFuzzer flags...]
# Crashing inputs land in build-fuzz/artifacts/; once fixed, copy them to fuzz/regressions/, where a
# unit test decodes every file.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-600}"
shift || true
out="$root/build-fuzz"
mkdir -p "$out/artifacts" "$here/corpus-work"

cxx="${CXX_FUZZ:-clang++-14}"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root" $(pkg-config --cflags libpng libturbojpeg lcms2 libdeflate))
libs=($(pkg-config --libs libpng libturbojpeg lcms2 libdeflate) -lpthread)
if pkg-config --exists libisal; then
  flags+=(-DLUMIVO_HAVE_ISAL=1)
  libs+=($(pkg-config --libs libisal))
fi
sources=("$here/png_decode_fuzzer.cpp")
for f in "$root"/imaging/*.cpp; do sources+=("$f"); done

if [ ! -x "$out/png_decode_fuzzer" ] || [ -n "$(find "$root/imaging" "$here/png_decode_fuzzer.cpp" -newer "$out/png_decode_fuzzer" -print -quit)" ]; then
  "$cxx" "${flags[@]}" "${sources[@]}" "${libs[@]}" -o "$out/png_decode_fuzzer"
fi

# The decode limit allows a 1 GiB canvas; leave room for it and for the sanitizer's shadow.
exec "$out/png_decode_fuzzer" "$here/corpus-work" "$here/corpus" "$here/regressions" \
  -max_total_time="$seconds" -rss_limit_mb=4096 -malloc_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@"
