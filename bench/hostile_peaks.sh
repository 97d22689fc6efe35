#!/usr/bin/env bash
# The peak memory (VmHWM, the largest resident set a process had) of the panel and of the demo
# editor under hostile input:
#   panel   idle                       the page sends nothing: the panel's own peak
#   panel   flood of N MiB             "apply-result-chunk" text for one ack id, then its
#                                      "apply-result"
#   panel   huge.png as a result       747 KB, a valid PNG that claims 16000 x 16000
#   panel   huge-broken.png            the same with a broken zlib stream
#   editor  huge.png / huge-broken.png as the waiting result file of a headless filter run
# The frame is 1250 x 800 for both. Each runs once, in a private display and session bus; the
# numbers are the kernel's, read from /proc when the run is over.
#
# usage: bench/hostile_peaks.sh [--build DIR] [--flood MIB]   (default: build, 1400 MiB)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
flood=1400
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --flood) flood=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--flood MIB]" >&2; exit 2 ;;
  esac
done
if [ -z "${LUMIVO_HOSTILE_SESSION:-}" ]; then
  exec env LUMIVO_HOSTILE_SESSION=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
    dbus-run-session -- "$0" --build "$build" --flood "$flood"
fi

inputs=$root/out/hostile-inputs
python3 "$root/bench/hostile_inputs.py" "$inputs"
work=$(mktemp -d /tmp/lumivo-hostile.XXXXXX)
panel_pid=
cleanup() {
  if [ -n "$panel_pid" ]; then kill "$panel_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

peak_kib() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }
report() { printf '%-7s %-34s %9s MiB   %s\n' "$1" "$2" "$(($3 / 1024))" "$4"; }

# The panel bundle with the hostile page; each run gets fresh folders.
app=$work/LumivoAffinity.app
cp -a "$build/LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app" "$app"
page=$app/Contents/Resources/panel/index.html

run_panel() {  # what, autotest mode, result file ("" for none)
  local what=$1 mode=$2 result=$3 data=$work/panel-data
  rm -rf "$data"
  local spool=$data/Lumivo/affinity-8bf-spool/com.lumivo.demo-host
  mkdir -p -m 0700 "$data" "$data/Lumivo" "$data/Lumivo/affinity-8bf-spool" "$spool"
  if [ -n "$result" ]; then
    python3 - "$root/bench/hostile_page.html" "$result" "$page" <<'PY'
import base64, sys
page = open(sys.argv[1]).read()
text = base64.b64encode(open(sys.argv[2], "rb").read()).decode()
open(sys.argv[3], "w").write(page.replace('const RESULT = "";', 'const RESULT = "%s";' % text))
PY
  else
    cp "$root/bench/hostile_page.html" "$page"
  fi
  cp "$inputs/frame.png" "$spool/input-1.png"
  XDG_DATA_HOME=$data XDG_CONFIG_HOME=$work/config LUMIVO_PANEL_AUTOTEST=$mode \
    "$app/Contents/Linux/LumivoAffinity" "$spool/input-1.png" "$spool" 2>"$work/panel.log" &
  panel_pid=$!
  local waited=0
  until grep -qs "LumivoPlugin: panel: hostile done" "$work/panel.log"; do
    if ! kill -0 "$panel_pid" 2>/dev/null; then
      report panel "$what" 0 "the panel ended: $(tail -1 "$work/panel.log")"
      panel_pid=
      return
    fi
    if [ $waited -ge 3000 ]; then
      report panel "$what" "$(peak_kib "$panel_pid")" "no answer within 300 s"
      kill "$panel_pid"; wait "$panel_pid" 2>/dev/null || true; panel_pid=
      return
    fi
    sleep 0.1; waited=$((waited + 1))
  done
  local answer
  answer=$(grep -o "hostile done.*" "$work/panel.log" | head -1)
  report panel "$what" "$(peak_kib "$panel_pid")" "${answer#hostile done }"
  kill "$panel_pid"; wait "$panel_pid" 2>/dev/null || true; panel_pid=
}

run_editor() {  # what, result file ("" for none)
  local what=$1 data=$work/editor-data
  rm -rf "$data"
  local spool=$data/Lumivo/affinity-8bf-spool/com.lumivo.demo-host
  mkdir -p -m 0700 "$data" "$data/Lumivo" "$data/Lumivo/affinity-8bf-spool" "$spool"
  if [ -n "$2" ]; then
    cp "$2" "$spool/result-$(date +%s%3N).png"
  fi
  # Without a display a panel the run might start can't open, so nothing outlives the run.
  local said
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME=$data /usr/bin/time -f 'peak %M' \
    "$build/LumivoHost.app/Contents/Linux/lumivo-host" --headless --plugins "$build" \
    --filter Lumivo --in "$inputs/frame.png" --out "$work/out.png" 2>&1 || true)
  local peak
  peak=$(grep -o 'peak [0-9]*' <<<"$said" | tail -1)
  report editor "$what" "${peak#peak }" "$(grep -o 'filter result.*' <<<"$said" | head -1)"
}

echo "build: $build"
printf '%-7s %-34s %13s   %s\n' program input "peak (VmHWM)" answer
run_panel "idle" idle ""
run_panel "flood of $flood MiB for one id" "flood:$flood" ""
run_panel "huge.png as the result" result "$inputs/huge.png"
run_panel "huge-broken.png as the result" result "$inputs/huge-broken.png"
run_editor "no result waiting (hands off)" ""
run_editor "huge.png as the result file" "$inputs/huge.png"
run_editor "huge-broken.png as the result file" "$inputs/huge-broken.png"
