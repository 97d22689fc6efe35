#!/usr/bin/env bash
# The service road's latency, from "Apply" in the page to the document changed, with one
# service effect, broken into its phases as the page measures them:
#   export    "export-frame" until the page holds the frame's PNG
#   upload    upload slot from the service, then "upload-put" through the panel to storage
#   service   the creation made and followed until it is done
#   download  the result fetched from the CDN
#   apply     "apply-result" until the editor's filter run has changed the document (seen in
#             its log; the panel itself answers at the latest after its 10-second wait)
# The notification's click, which a person gives in their own time, lies between download and
# apply and is left out. Each size runs the whole main job (scripts/round-trip.sh) several
# times and prints the median of each phase.
#
# usage: bench/service_road.sh [--effect NAME] [--runs N] [--build DIR] [WxH...]
# (default: the cutout effect, 3 runs, 1155x866 and 6000x4000, about 1 and 24 megapixels)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
effect=cutout
runs=3
build=$root/build
sizes=()
while [ $# -gt 0 ]; do
  case $1 in
    --effect) effect=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$(realpath -m "$2"); shift 2 ;;
    -*) echo "usage: $0 [--effect NAME] [--runs N] [--build DIR] [WxH...]" >&2; exit 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1155x866 6000x4000)

out=$root/out/bench-service-road
printf '%-10s %8s %8s %8s %8s %8s %8s   (ms, median of %d, effect %s)\n' \
  size export upload service download apply total "$runs" "$effect"
for size in "${sizes[@]}"; do
  : >"$out.$size.timings"
  for run in $(seq "$runs"); do
    if ! bash "$root/scripts/round-trip.sh" --no-build --build "$build" --out "$out/$size-$run" \
        --effect "$effect" --size "$size" >"$out.$size.$run.log" 2>&1; then
      echo "bench: run $run at $size failed, see $out.$size.$run.log" >&2
      exit 1
    fi
    # The apply phase ends when the editor's filter run has changed the document.
    timing=$(grep -o 'timing .*' "$out/$size-$run/panel.log")
    started=${timing##*apply-started-at=}
    echo "$timing changed=$(( $(cat "$out/$size-$run/document-changed-at") - started ))" \
      >>"$out.$size.timings"
  done
  awk -v size="$size" '
    { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1], NR] = kv[2] } }
    function median(name,   n, i, j, t, a) {
      for (i = 1; i <= NR; i++) a[i] = v[name, i] + 0
      for (i = 1; i <= NR; i++) for (j = i + 1; j <= NR; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
      return NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
    }
    END {
      e = median("export"); u = median("upload"); s = median("service")
      d = median("download"); a = median("changed")
      printf "%-10s %8d %8d %8d %8d %8d %8d\n", size, e, u, s, d, a, e + u + s + d + a
    }' "$out.$size.timings"
done
