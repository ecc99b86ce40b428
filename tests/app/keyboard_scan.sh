#!/usr/bin/env bash
# The name scan driven by keyboard on its own X display, as a user types it:
# Alt+S opens "&Scans", N picks "scan processes with &name", the name is typed
# into the input dialog and Return presses OK. A holder process with the
# antivirus test string in memory is the target. Checks the status text and
# the list view rows. (The README's screenshots: tools/make-screenshots.sh.)
#   keyboard_scan.sh <stage directory>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "$1" && pwd)
runner=$here/../wine/run_in_wine.sh
bin_dir=$stage
while [ "$(basename "$bin_dir")" != bin ] && [ "$bin_dir" != / ]; do bin_dir=$(dirname "$bin_dir"); done
export WINEPREFIX=${TARVEX_WINEPREFIX:-$(dirname "$bin_dir")/wineprefix}

display=
for n in $(seq 71 99); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free display"; exit 1; }
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k >/dev/null 2>&1
  kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
sleep 1

fail() { echo "FAIL: $*"; exit 1; }
probe() { "$runner" "$stage" ostrelle_gui_tests.exe probe "$@" 2>/dev/null | tr -d '\r'; }

"$runner" "$stage" ostrelle_holder.exe hold >/dev/null 2>&1 &
pids+=($!)
"$runner" "$stage" Ostrelle64.exe >/dev/null 2>&1 &
pids+=($!)

window=
for _ in $(seq 1 120); do
  window=$(xdotool search --name '^Ostrelle \(64 Bit\)$' 2>/dev/null | head -1)
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || fail "window not found"
sleep 2

xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.5
xdotool key alt+s
sleep 0.7
xdotool key n
dialog=
for _ in $(seq 1 40); do
  dialog=$(xdotool search --name '^Processname$' 2>/dev/null | head -1)
  [ -n "$dialog" ] && break
  sleep 0.25
done
[ -n "$dialog" ] || fail "input dialog did not open from the keyboard"
xdotool windowfocus "$dialog" 2>/dev/null
sleep 0.3
xdotool type --delay 40 ostrelle_holder.exe
xdotool key Return

status=$(probe status)
case $status in "Scan is in progress...."*|"Ready!") ;; *) fail "status after Return: $status" ;; esac
status=$(probe wait "Ready!" 300)
[ "$status" = "Ready!" ] || fail "scan did not finish: $status"
rows=$(probe rows)
count=$(printf '%s' "$rows" | grep -c . || true)
echo "rows: $count"
if [ "$count" -gt 0 ]; then
  bad=$(printf '%s\n' "$rows" | awk -F' [|] ' 'tolower($1) !~ /ostrelle_holder\.exe$/' | head -1)
  [ -z "$bad" ] || fail "row of another process: $bad"
  printf '%s\n' "$rows" | awk -F' [|] ' '$4 ~ /^yes \(32768\)/' | grep -q . || fail "no detection row"
fi
echo "ok"
