#!/usr/bin/env bash
# What the user waits for, with the real programs as the offline round trip runs them (the demo
# editor, the plug-in bundle, the panel with its shipped page, a virtual display and a private
# session bus), at each size, broken into stages:
#   frame    Filters > Lumivo pressed -> the frame shown in the page; cold (the panel starts)
#            and warm (the panel runs and hears the send announcement)
#   apply    "Apply" pressed in the page (the invert look) -> the document changed
# the editor's peak memory above what it held before each run, and the peak memory of the panel
# and of its web process over the run (cold frame, apply, warm frame). The stages come from the
# editor's --timings lines and the page's "waits" debug-log lines (the page writes them only
# when LUMIVO_PANEL_AUTOTEST is set); what happens inside the plug-in is split by
# build/bench/plugin_handoff. Each run starts the editor and the panel afresh; figures are
# medians, in ms. With several builds their runs take turns and the figures stand side by side,
# each build's own stages under the same totals ("-" where a build has no such stage):
# --compare REF builds a commit (say main) with bench/build_ref.sh and puts it first.
#
# The document is a photograph: native-resolution crops of the desktop backgrounds tiled to
# 6000 x 4000 (as bench/imaging_mosaic.cpp builds it), scaled to each size, carrying an Adobe RGB
# profile (unless --plain) so the colour conversion is on the road.
#
# usage: bench/user_waits.sh [--runs N] [--compare REF] [--build DIR]... [--plain] [--keep] [WxH...]
# (default: 3 runs of build/ at 1224x816 and 6000x4000, about 1 and 24 megapixels; --keep
# leaves the logs in out/bench-user-waits). Today's main against this tree, in one command:
#   bench/user_waits.sh --compare main --build build
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
builds=()
compare=
runs=3
plain=0
keep=0
sizes=()
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) builds+=("$(realpath -m "$2")"); shift 2 ;;
    --compare) compare=$2; shift 2 ;;
    --plain) plain=1; shift ;;
    --keep) keep=1; shift ;;
    -*) echo "usage: $0 [--runs N] [--compare REF] [--build DIR] [--plain] [--keep] [WxH...]" >&2
        exit 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1224x816 6000x4000)
[ ${#builds[@]} -gt 0 ] || builds=("$root/build")

# A display and a session bus of its own, as the offline round trip has without a desktop.
if [ -z "${LUMIVO_USER_WAITS_INNER:-}" ]; then
  if [ -n "$compare" ]; then
    # Built before the display starts; the inner run gets it as the first --build.
    before=$(bash "$root/bench/build_ref.sh" "$compare")
    args=(--build "$before" "${args[@]}")
    for i in "${!args[@]}"; do
      if [ "${args[$i]}" = --compare ]; then unset "args[$i]" "args[$((i + 1))]"; break; fi
    done
  fi
  export LUMIVO_USER_WAITS_INNER=1 GSETTINGS_BACKEND=memory
  exec bash "$root/scripts/virtual-display.sh" "$0" "${args[@]}"
fi

# shellcheck source=../scripts/road-lib.sh
source "$root/scripts/road-lib.sh"

out=$root/out/bench-user-waits
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
host_pid=
keyring_pid=
panel_exe=

# The panel runs detached; it is found by its exact executable, never by name.
stop_panel() { kill_executable "$panel_exe"; }
stop_host() {
  if [ -n "$host_pid" ]; then
    kill "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
    host_pid=
  fi
}
cleanup() {
  stop_host
  stop_panel
  [ -n "$keyring_pid" ] && kill "$keyring_pid" 2>/dev/null || true
  rm -rf "$work"
  [ "$keep" = 1 ] || rm -rf "$out"
}
trap cleanup EXIT

count() { grep -c -- "$1" "$2" 2>/dev/null || true; }
# True once the file holds more than $3 lines with $1.
more_than() { [ "$(count "$1" "$2")" -gt "$3" ]; }
# The editor's time of its latest step $2 in log $1.
last_step() { grep "^timing $2 " "$1" | tail -1 | cut -d' ' -f3; }
# True once the page showed a frame that changed after time $2 (ms since 1970).
shown_after() {
  grep -o 'waits frame changed=[0-9.]*' "$1" 2>/dev/null | cut -d= -f2 |
    awk -v t="$2" '$1 > t { found = 1 } END { exit !found }'
}

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
start_session_keyring "$work/run"
# Assistive technology on, as a user who lets the panel press the editor's menu has it.
unset NO_AT_BRIDGE
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null

# Each build's plug-in bundle, with the panel's standard error kept (the plug-in starts it on
# /dev/null).
panel_log=$work/panel.log
panel_exes=()
for i in "${!builds[@]}"; do
  mkdir -p "$work/plugins-$i"
  cp -a "${builds[$i]}/LumivoFilter.8bf" "$work/plugins-$i/"
  panel_exes+=("$(wrap_panel "$work/plugins-$i/LumivoFilter.8bf" "$panel_log")")
done

# The photograph, 6000 x 4000.
backgrounds=/usr/share/backgrounds/mate
tile() { echo "( $backgrounds/$1 -crop $2 +repage )"; }
# shellcheck disable=SC2046
convert \( $(tile nature/Aqua.jpg 2000x1334+280+133) $(tile nature/Garden.jpg 2000x1334+280+133) \
            $(tile nature/LadyBird.jpg 2000x1334+280+133) +append \) \
        \( $(tile nature/TwoWings.jpg 2000x1334+280+133) $(tile nature/Wood.jpg 2000x1334+280+293) \
            $(tile nature/YellowFlower.jpg 2000x1334+280+133) +append \) \
        \( $(tile abstract/Elephants_3840x2160.jpg 2000x1332+920+414) \
            $(tile abstract/Elephants_5640x3172.jpg 2000x1332+410+920) \
            $(tile abstract/Elephants_5640x3172.jpg 2000x1332+3230+920) +append \) \
        -append -strip "$work/photo.png"
profile=/usr/share/color/icc/ghostscript/a98.icc

for size in "${sizes[@]}"; do
  document=$work/document-$size.png
  convert "$work/photo.png" -resize "$size^" -gravity center -extent "$size" -strip \
    "$work/plain.png"
  if [ "$plain" = 0 ] && [ -f "$profile" ]; then
    # The profile is attached, not converted to: the document's pixels are Adobe RGB values.
    convert "$work/plain.png" -profile "$profile" -type TrueColor -depth 8 "PNG24:$document"
  else
    convert "$work/plain.png" -type TrueColor -depth 8 -define png:exclude-chunks=all \
      "PNG24:$document"
  fi
  for run in $(seq "$runs"); do
    for b in "${!builds[@]}"; do
      log=$out/$size-$b-$run
      panel_exe=${panel_exes[$b]}
      host=${builds[$b]}/LumivoHost.app/Contents/Linux/lumivo-host
      press=${builds[$b]}/tests/e2e/lumivo-press-menu
      : >"$panel_log"
      LUMIVO_PANEL_AUTOTEST=invert "$host" --timings --plugins "$work/plugins-$b" \
        --in "$document" >"$log.host" 2>&1 &
      host_pid=$!
      fail() {
        echo "bench: ${builds[$b]}, run $run at $size: $*; logs in $out" >&2
        keep=1; cp "$panel_log" "$log.panel" 2>/dev/null || true; exit 1
      }
      # Cold: the panel starts with the frame; the page applies the look once it shows it.
      "$press" "$host_pid" 60 || fail "the editor never showed its menu"
      wait_for 120 grep -q "filter result -128" "$log.host" || fail "no hand-off"
      wait_for 180 grep -q "waits frame" "$panel_log" || fail "the page never showed the frame"
      wait_for 180 grep -q "filter result 0" "$log.host" || fail "the result was never applied"
      wait_for 60 grep -q "waits apply" "$panel_log" || fail "the page was never answered"
      # The result and then the applied image, which the plug-in sends back once the editor
      # has filled its areas, come back to the page: the warm run starts once it shows the latter.
      wait_for 180 shown_after "$panel_log" "$(last_step "$log.host" buffers-filled)" ||
        fail "the page never showed the applied image"
      # Warm: the panel runs and hears of the new input.
      "$press" "$host_pid" 60 || fail "the second press failed"
      wait_for 120 more_than "filter result" "$log.host" 2 || fail "no second hand-off"
      wait_for 180 shown_after "$panel_log" "$(last_step "$log.host" buffers-filled)" ||
        fail "the page never showed the second frame"
      panel_peak_memory "$panel_exe" >"$log.memory"
      stop_host
      stop_panel
      cp "$panel_log" "$log.panel"
      echo "bench: $size run $run of ${builds[$b]} done" >&2
    done
  done
done

python3 - "$out" "$runs" "${#builds[@]}" "${sizes[@]}" -- "${builds[@]}" <<'REPORT'
import re, statistics, sys
args = sys.argv[1:]
out, runs, count = args[0], int(args[1]), int(args[2])
sizes = args[3:args.index('--')]
builds = args[args.index('--') + 1:]

def fields(text):
    return {k: (float(v) if re.fullmatch(r'-?[0-9.]+', v) else v)
            for k, v in re.findall(r'([\w-]+)=(\S+)', text)}

# The editor's runs (each ends with its result line, or with "shown" when it changed the
# document) and the page's "waits" lines.
def parse(stem):
    runs, current = [], {}
    for line in open(stem + '.host'):
        parts = line.split()
        if parts[:1] == ['timing']:
            current[parts[1]] = float(parts[2])
        elif parts[:1] == ['memory']:
            current.update({'mem-' + k: v for k, v in fields(line).items()})
        elif line.startswith('filter result'):
            current['result'] = int(parts[2])
        if (parts[:2] == ['timing', 'shown'] or
                line.startswith('filter result') and int(parts[2]) != 0):
            runs.append(current)
            current = {}
    page = {'frame': [], 'apply': [], 'page': []}
    for line in open(stem + '.panel'):
        m = re.search(r'LumivoPlugin: panel: waits (\w+)(.*)', line)
        if m:
            page[m.group(1)].append(fields(m.group(2)))
    memory = {}
    try:
        memory = fields(open(stem + '.memory').read())
    except OSError:
        pass
    return runs, page, memory

# Stages a build's page reports, each the time between two of its marks: a build shows the rows
# whose marks its page wrote.
FRAME_STAGES = [
    ('export: copy, encode, 1st piece', 'requested', 'first-piece'),
    ('pieces delivered', 'first-piece', 'delivered'),
    ('page base64 decode', 'delivered', 'bytes'),
    ('page PNG decode', 'bytes', 'decoded'),
    ('page installs the frame', 'decoded', 'installed'),
    ('preview made and fetched', 'requested', 'received'),
    ('page installs the preview', 'received', 'installed'),
    ('to the next paint', 'installed', 'shown'),
]
APPLY_STAGES = [
    ('page look', 'clicked', 'look'),
    ('page PNG encode', 'look', 'encoded'),
    ('page base64 encode', 'encoded', 'text'),
    ('pieces posted', 'text', 'posted'),
    ('page asks the panel', 'clicked', 'posted'),
]

def marks(stages, f):
    return [(name, f[end] - f[start]) for name, start, end in stages if start in f and end in f]

def frame(host, f, panel):
    return ([('editor before the plug-in', host['start'] - host['pressed']),
             ('editor fills the areas', host['buffers-filled'] - host['buffers']),
             ("plug-in's hand-off", host['start-returned'] - host['buffers-filled'])] + panel +
            marks(FRAME_STAGES, f) +
            [('TOTAL pressed -> shown', f['shown'] - host['pressed'])])

def stages(runs, page, memory):
    cold, applied, warm = runs[0], runs[1], runs[2]
    origin = page['page'][0]
    first = next(f for f in page['frame'] if 'changed' not in f)
    second = next(f for f in page['frame'] if f.get('changed', 0) > warm['buffers-filled'])
    a, h = page['apply'][0], applied
    # A page that sends the result's text has its own stages up to "posted".
    apply = marks(APPLY_STAGES[:4] if 'text' in a else APPLY_STAGES[4:], a) + [
        ('panel: result made, written, press', h['pressed'] - a['posted']),
        ('editor before the plug-in', h['start'] - h['pressed']),
        ('editor fills the areas', h['buffers-filled'] - h['buffers']),
        ("plug-in's apply", h['start-returned'] - h['buffers-filled']),
        ('editor writes the output', h['written-back'] - h['start-returned']),
        ('TOTAL Apply -> document changed', h['written-back'] - a['clicked'])]
    if 'text' in a:
        apply.append(('  of which result text -> changed', h['written-back'] - a['text']))
    apply.append(('(then the editor shows it)', h['shown'] - h['written-back']))
    waits = {
        'frame, the panel starts': frame(cold, first, [
            ('panel start to page load', origin['origin'] - cold['start-returned']),
            ('page load to its script', origin['script'] - origin['origin']),
            ('page script to frame request', first['requested'] - origin['script'])]),
        'frame, the panel runs': frame(warm, second, [
            ('announcement, intake, frame change', second['changed'] - warm['start-returned']),
            ('page asks for the frame', second['requested'] - second['changed'])]),
        'apply': apply}
    def peak(host):
        return (host['mem-peak-kb'] - host['mem-baseline-kb']) / 1024
    editor = [('hand-off, the panel starts', peak(cold)), ('apply', peak(applied)),
              ('hand-off, the panel runs', peak(warm)),
              ('(resident before the apply)', applied['mem-baseline-kb'] / 1024)]
    panel = [(name, memory[key] / 1024) for name, key in
             [('panel (VmHWM)', 'panel-kb'), ('its web process (VmHWM)', 'web-kb')]
             if isinstance(memory.get(key), float)]
    return waits, editor, panel

names = ['/'.join(b.rstrip('/').split('/')[-2:]) for b in builds]

# The rows of all builds in one order: each build's rows keep theirs, a row only some builds have
# goes before the next row of its build that all have.
def merged(orders):
    rows = []
    for order in orders:
        for i, name in enumerate(order):
            if name in rows:
                continue
            later = next((n for n in order[i + 1:] if n in rows), None)
            rows.insert(rows.index(later) if later else len(rows), name)
    return rows

def cell(values, fmt):
    return '%16s' % (fmt(statistics.median(values)) if values else '-')

for size in sizes:
    w, h = map(int, size.split('x'))
    table, editor, panel, orders = {}, {}, {}, {}
    for b in range(count):
        for run in range(1, runs + 1):
            waits, mem, peaks = stages(*parse('%s/%s-%d-%d' % (out, size, b, run)))
            for wait, rows in waits.items():
                orders.setdefault(wait, {}).setdefault(b, [name for name, _ in rows])
                for name, value in rows:
                    table.setdefault(wait, {}).setdefault(name, {}).setdefault(b, []).append(value)
            for name, value in mem:
                editor.setdefault(name, {}).setdefault(b, []).append(value)
            for name, value in peaks:
                panel.setdefault(name, {}).setdefault(b, []).append(value)
    print('\n%s (%.1f MP), median of %d runs, ms' % (size, w * h / 1e6, runs))
    print('  %-38s' % '' + ''.join('%16s' % n[-16:] for n in names))
    for wait, rows in table.items():
        print('  %s' % wait)
        for name in merged(list(orders[wait].values())):
            values = rows[name]
            print('    %-36s' % name +
                  ''.join(cell(values.get(b, []), lambda v: '%.0f' % v) for b in range(count)))
    area = w * h * 4 / 2**20
    print('  editor memory above what it held before the run, MiB (area RGBA: %.0f MiB)' % area)
    for name, values in editor.items():
        print('    %-36s' % name + ''.join(
            cell(values.get(b, []), lambda v: '%.0f (%.2fx)' % (v, v / area)) for b in range(count)))
    print('  peak memory over the run, MiB')
    for name, values in panel.items():
        print('    %-36s' % name +
              ''.join(cell(values.get(b, []), lambda v: '%.0f' % v) for b in range(count)))
REPORT
