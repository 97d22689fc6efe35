#!/usr/bin/env bash
# The service road's latency, from "Apply" in the page to the document changed, with one
# service effect, broken into its phases as the page measures them:
#   export    until the page holds the frame's PNG (nothing when the panel sends the frame itself)
#   upload    upload slot from the service, then the frame through the panel to storage
#   service   the creation made and followed until it is done
#   download  the result fetched from the CDN by the page (nothing when the panel fetches it as
#             it applies it)
#   apply     the result handed over until the editor's filter run has changed the document
#             (seen in its log; the panel itself answers at the latest after its 10-second wait)
# and "all but the service", what the user waits for beyond the service's own work, with the
# peak memory of the panel and of its web process over the run. The notification's click, which
# a person gives in their own time, lies between download and apply and is left out. Each size
# runs the whole main job (scripts/round-trip.sh) several times per build, the builds taking
# turns, and prints the median of each phase, the builds side by side. --compare REF builds a
# commit (say main) with bench/build_ref.sh and puts it first.
#
# usage: bench/service_road.sh [--effect NAME] [--runs N] [--compare REF] [--build DIR]... [WxH...]
# (default: the cutout effect, 3 runs of build/, 1155x866 and 6000x4000, about 1 and 24
# megapixels). Today's main against this tree, in one command:
#   bench/service_road.sh --compare main --build build
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
effect=cutout
runs=3
builds=()
compare=
sizes=()
while [ $# -gt 0 ]; do
  case $1 in
    --effect) effect=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) builds+=("$(realpath -m "$2")"); shift 2 ;;
    --compare) compare=$2; shift 2 ;;
    -*) echo "usage: $0 [--effect NAME] [--runs N] [--compare REF] [--build DIR]... [WxH...]" >&2
        exit 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1155x866 6000x4000)
[ ${#builds[@]} -gt 0 ] || builds=("$root/build")
if [ -n "$compare" ]; then
  builds=("$(bash "$root/bench/build_ref.sh" "$compare")" "${builds[@]}")
fi

out=$root/out/bench-service-road
rm -rf "$out"
mkdir -p "$out"
for size in "${sizes[@]}"; do
  for run in $(seq "$runs"); do
    for b in "${!builds[@]}"; do
      dir=$out/$size-$b-$run
      if ! bash "$root/scripts/round-trip.sh" --no-build --build "${builds[$b]}" --out "$dir" \
          --effect "$effect" --size "$size" >"$dir.log" 2>&1; then
        echo "bench: ${builds[$b]}, run $run at $size failed, see $dir.log" >&2
        exit 1
      fi
      # The apply phase ends when the editor's filter run has changed the document.
      timing=$(grep -o 'timing .*' "$dir/panel.log")
      started=${timing##*apply-started-at=}
      echo "$timing changed=$(( $(cat "$dir/document-changed-at") - started ))" \
        "$(cat "$dir/panel-memory" 2>/dev/null || true)" >>"$out/$size-$b.timings"
      echo "bench: $size run $run of ${builds[$b]} done" >&2
    done
  done
done

python3 - "$out" "${#builds[@]}" "$runs" "$effect" "${sizes[@]}" -- "${builds[@]}" <<'REPORT'
import re, statistics, sys
args = sys.argv[1:]
out, count, runs, effect = args[0], int(args[1]), int(args[2]), args[3]
sizes = args[4:args.index('--')]
builds = args[args.index('--') + 1:]
names = ['/'.join(b.rstrip('/').split('/')[-2:]) for b in builds]
PHASES = ['export', 'upload', 'service', 'download', 'changed']
for size in sizes:
    w, h = map(int, size.split('x'))
    table = {}
    for b in range(count):
        for line in open('%s/%s-%d.timings' % (out, size, b)):
            v = {k: float(x) for k, x in re.findall(r'([\w-]+)=(-?[0-9.]+)', line)}
            v['all but the service'] = sum(v[p] for p in PHASES if p != 'service')
            v['panel peak, MiB'] = v.get('panel-kb', float('nan')) / 1024
            v['web process peak, MiB'] = v.get('web-kb', float('nan')) / 1024
            for k, x in v.items():
                table.setdefault(k, {}).setdefault(b, []).append(x)
    print('\n%s (%.1f MP), effect %s, median of %d runs, ms' % (size, w * h / 1e6, effect, runs))
    print('  %-24s' % '' + ''.join('%16s' % n[-16:] for n in names))
    for row, label in [('export', 'export'), ('upload', 'upload'), ('service', 'service'),
                       ('download', 'download'), ('changed', 'apply -> changed'),
                       ('all but the service', 'ALL BUT THE SERVICE'),
                       ('panel peak, MiB', 'panel peak, MiB'),
                       ('web process peak, MiB', 'web process peak, MiB')]:
        print('  %-24s' % label + ''.join('%16.0f' % statistics.median(table[row][b])
                                           for b in range(count)))
REPORT
