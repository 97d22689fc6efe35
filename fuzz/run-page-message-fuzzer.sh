#!/usr/bin/env bash
# Builds the page-message fuzzer (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs it for the given number of seconds (default 300) on a working copy of its seed corpus.
#   fuzz/run-page-message-fuzzer.sh [seconds] [extra libFuzzer flags...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-300}"
shift || true
out="$root/build-fuzz"
work="$here/corpus-work/page-message"
mkdir -p "$out/artifacts" "$work"

cxx="${CXX_FUZZ:-clang++-14}"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root")
bridge="$root/panel/bridge"
sources=("$here/page_message_fuzzer.cpp" "$bridge/base64.cpp" "$bridge/frame_export.cpp"
         "$bridge/lumivo_panel_handler.cpp" "$bridge/page_scripts.cpp"
         "$bridge/script_message.cpp" "$bridge/worker_pool.cpp")
binary="$out/page_message_fuzzer"
if [ ! -x "$binary" ] || [ -n "$(find "${sources[@]}" -newer "$binary" -print -quit)" ]; then
  "$cxx" "${flags[@]}" "${sources[@]}" -lpthread -o "$binary"
fi

exec "$binary" "$work" "$here/page-message-corpus" -max_total_time="$seconds" \
  -rss_limit_mb=2048 -max_len=16384 -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@"
