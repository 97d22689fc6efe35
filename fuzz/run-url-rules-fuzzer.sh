#!/usr/bin/env bash
# Builds the URL-rules fuzzer (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# it for the given number of seconds (default 300) on a working copy of its seed corpus.
#   fuzz/run-url-rules-fuzzer.sh [seconds] [extra libFuzzer flags...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-300}"
shift || true
out="$root/build-fuzz"
work="$here/corpus-work/url-rules"
mkdir -p "$out/artifacts" "$work"

cxx="${CXX_FUZZ:-clang++-14}"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root" $(pkg-config --cflags glib-2.0 libcurl))
service="$root/panel/service"
sources=("$here/url_rules_fuzzer.cpp" "$service/url_rules.cpp" "$service/form_encoding.cpp"
         "$root/platform/linux/curl_url.cpp")
binary="$out/url_rules_fuzzer"
if [ ! -x "$binary" ] || [ -n "$(find "${sources[@]}" -newer "$binary" -print -quit)" ]; then
  "$cxx" "${flags[@]}" "${sources[@]}" $(pkg-config --libs glib-2.0 libcurl) -o "$binary"
fi

exec "$binary" "$work" "$here/url-rules-corpus" -max_total_time="$seconds" \
  -rss_limit_mb=2048 -max_len=512 -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@"
