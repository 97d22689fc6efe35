#!/usr/bin/env bash
# Builds one libFuzzer target (clang 14, with AddressSanitizer and UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs it for the given number of seconds on a working copy of its corpus.
#   fuzz/run.sh png-decode|page-message|url-rules [seconds] [extra libFuzzer flags...]
# Crashing inputs land in build-fuzz/artifacts/; once fixed, a PNG or JPEG goes to
# fuzz/regressions/, where a unit test decodes every file.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
target="${1:?usage: fuzz/run.sh png-decode|page-message|url-rules [seconds] [flags...]}"
seconds="${2:-600}"
shift $(($# < 2 ? $# : 2))
# Another folder for another system's build (scripts/test-debian13.sh: Debian 13's clang).
out="${LUMIVO_FUZZ_BUILD:-$root/build-fuzz}"

flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root")
libs=(-lpthread)
case "$target" in
  png-decode)
    packages=(libpng libturbojpeg lcms2 libdeflate)
    if pkg-config --exists libisal; then
      packages+=(libisal)
      flags+=(-DLUMIVO_HAVE_ISAL=1)
    fi
    sources=("$here/png_decode_fuzzer.cpp" "$root"/imaging/*.cpp)
    corpora=("$here/corpus" "$here/regressions")
    # The decode limit allows a 1 GiB canvas; leave room for it and the sanitizer's shadow.
    limits=(-rss_limit_mb=4096 -malloc_limit_mb=2048 -max_len=65536) ;;
  page-message)
    # The bridge's looks and previews reach the imaging core.
    packages=(libpng libturbojpeg lcms2 libdeflate)
    if pkg-config --exists libisal; then
      packages+=(libisal)
      flags+=(-DLUMIVO_HAVE_ISAL=1)
    fi
    bridge="$root/panel/bridge"
    sources=("$here/page_message_fuzzer.cpp" "$bridge/base64.cpp" "$bridge/color_look.cpp"
             "$bridge/frame_export.cpp" "$bridge/frame_preview.cpp" "$bridge/json_fast_strings.cpp"
             "$bridge/lanes.cpp" "$bridge/look_result.cpp" "$bridge/lumivo_panel_handler.cpp"
             "$bridge/page_origin.cpp" "$bridge/page_scripts.cpp" "$bridge/result_chunks.cpp"
             "$bridge/script_message.cpp" "$root/platform/worker_pool.cpp" "$root"/imaging/*.cpp)
    corpora=("$here/page-message-corpus")
    limits=(-rss_limit_mb=2048 -max_len=16384) ;;
  url-rules)
    packages=(glib-2.0 libcurl)
    service="$root/panel/service"
    sources=("$here/url_rules_fuzzer.cpp" "$service/url_rules.cpp" "$service/form_encoding.cpp"
             "$root/platform/linux/curl_url.cpp")
    corpora=("$here/url-rules-corpus")
    limits=(-rss_limit_mb=2048 -max_len=512) ;;
  *)
    echo "fuzz/run.sh: unknown target $target" >&2
    exit 2 ;;
esac
if [ ${#packages[@]} -gt 0 ]; then
  flags+=($(pkg-config --cflags "${packages[@]}"))
  libs+=($(pkg-config --libs "${packages[@]}"))
fi

binary="$out/${target}-fuzzer"
work="$here/corpus-work/$target"
mkdir -p "$out/artifacts" "$work"
if [ ! -x "$binary" ] || [ -n "$(find "${sources[@]}" -newer "$binary" -print -quit)" ]; then
  "${CXX_FUZZ:-clang++-14}" "${flags[@]}" "${sources[@]}" "${libs[@]}" -o "$binary"
fi

exec "$binary" "$work" "${corpora[@]}" -max_total_time="$seconds" "${limits[@]}" \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@"
