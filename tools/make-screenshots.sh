#!/usr/bin/env bash
# Makes the README's screenshots of the window application again, under Wine
# on a virtual X display with a small window manager (openbox), so the window
# has its title bar, frame and icon:
#   docs/ostrelle-idle.png     the window as it starts
#   docs/ostrelle-results.png  a scan of all processes, scrolled to a detection
# The scan finds something because the staged test AMSI provider detects the
# antivirus test string, which a helper process keeps in its memory. The
# program is driven from the keyboard as a user drives it.
#   bash tools/make-screenshots.sh [output folder, default docs]
# Needs the x64 build (made here when missing) and the packages of
# tools/install-deps.sh (Xvfb, openbox, x11-utils, xdotool, ImageMagick).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(mkdir -p "${1:-docs}" && cd "${1:-docs}" && pwd)
stage=$root/build/x64/bin/appstage
[ -f "$stage/Ostrelle64.exe" ] && [ -f "$stage/ostrelle_holder.exe" ] || bash tools/build.sh x64
runner=$root/tests/wine/run_in_wine.sh
export WINEPREFIX=$root/build/x64/wineprefix

display=
for n in $(seq 81 99); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb :$display -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${openbox_pid:-}" ] && kill "$openbox_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox --sm-disable >/dev/null 2>&1 &
openbox_pid=$!

probe() { "$runner" "$stage" ostrelle_gui_tests.exe probe "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*" >&2; exit 1; }
# The window with the frame the window manager drew around it.
shoot() {
  local frame
  frame=$(xwininfo -id "$window" -children | sed -n 's/^  Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  [ -n "$frame" ] && [ "$frame" != "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" ] ||
    frame=$window
  import -window "$frame" +repage -strip "$1"
}

"$runner" "$stage" ostrelle_holder.exe hold >/dev/null 2>&1 &
pids+=($!)
"$runner" "$stage" Ostrelle64.exe >/dev/null 2>&1 &
pids+=($!)
window=
for _ in $(seq 1 120); do
  window=$(xdotool search --name '^Ostrelle \(64 Bit\)$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || fail "the program's window did not appear"
xdotool windowmove --sync "$window" 40 40 >/dev/null 2>&1 || true
probe wait 'Please select a scan type rom the menubar!' 30 >/dev/null || fail "no start status"
sleep 1
shoot "$out/ostrelle-idle.png"

# Wide enough for all six columns, as a user would size it for the results.
xdotool windowsize --sync "$window" 1290 600 >/dev/null 2>&1 || xdotool windowsize "$window" 1290 600
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window"
sleep 0.5
# Alt+S opens "&Scans", R picks "scan p&rocessses".
xdotool key alt+s
sleep 0.7
xdotool key r
status=$(probe wait 'Ready!' 900) || fail "the scan did not finish: $status"
revealed=$(probe reveal | grep '^row ') || fail "no detection in the results"
# A click on the detection's row, as a user's, gives the list the focus.
read -r _ _ x y <<<"$revealed"
xdotool mousemove --sync "$x" "$y" click 1
xdotool mousemove 0 0
sleep 1
shoot "$out/ostrelle-results.png"
identify "$out/ostrelle-idle.png" "$out/ostrelle-results.png"
