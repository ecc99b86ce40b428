#!/usr/bin/env bash
# Runs a Windows test program under Wine: run_in_wine.sh <directory> <program.exe> [arguments...]
#
# The prefix (TARVEX_WINEPREFIX, default build/wineprefix beside the directory's
# bin/) is made once: Windows 10 for every program, Windows 7 for the program
# names ending in _win7.exe, no Z: drive and no links from the user folders to
# the Linux home folder, so all-drive walks see the prefix's C: only, and no
# crash dialog.
# Programs are started from C:\tarvex (see below). The test AMSI provider beside the program is preferred over Wine's own
# (TARVEX_WINEDLLOVERRIDES replaces that choice). Without a display, the run
# gets its own Xvfb server.
# TARVEX_WINE names another Wine loader and TARVEX_WINE_PREFIX_KIND the kind of
# prefix it makes, and TARVEX_WINE_SERVER_PER_NAMESPACE stops a server of the
# prefix that runs in another user namespace (the x86 test bed sets all three,
# tools/x86-bed/enter.sh); a prefix of another kind is made anew.
set -euo pipefail

dir=$(cd "$1" && pwd)
program=$2
shift 2

bin_dir=$dir
while [ "$(basename "$bin_dir")" != bin ] && [ "$bin_dir" != / ]; do bin_dir=$(dirname "$bin_dir"); done
export WINEPREFIX=${TARVEX_WINEPREFIX:-$(dirname "$bin_dir")/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${TARVEX_WINEDLLOVERRIDES:-amsi=n,b}";mscoree=;mshtml="
wine=${TARVEX_WINE:-$(command -v wine64 || command -v wine)}
ready_marker=$WINEPREFIX/.tarvex-ready-3${TARVEX_WINE_PREFIX_KIND:+-$TARVEX_WINE_PREFIX_KIND}

prepare_prefix() {
  [ -f "$ready_marker" ] && return 0
  [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; }
  rm -rf "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
  # A program that crashes ends at once with its backtrace on standard error
  # and a failing exit code; Wine's crash dialog would wait for a click.
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  for name in tarvex_wine_tests_win7.exe Ostrelle64_win7.exe Ostrelle_win7.exe; do
    "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /d win7 /f >/dev/null 2>&1
  done
  wineserver -w || true
  rm -f "$WINEPREFIX/dosdevices/z:"
  # Wine links the user folders (Desktop, Documents, ...) to the Linux home
  # folder; plain folders keep walks of all drives inside the prefix.
  find "$WINEPREFIX/drive_c/users" -type l -print0 |
    while IFS= read -r -d '' link; do rm -f "$link" && mkdir -p "$link"; done
  touch "$ready_marker"
}

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ -n "${TARVEX_WINE_SERVER_PER_NAMESPACE:-}" ]; then
  # A server left by a run in another user namespace (it waits a few seconds
  # for new clients) cannot read or control this namespace's processes.
  namespace=$(readlink /proc/self/ns/user)
  if [ "$(cat "$WINEPREFIX.namespace" 2>/dev/null)" != "$namespace" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    echo "$namespace" >"$WINEPREFIX.namespace"
  fi
fi
prepare_prefix
flock -u 9

# Programs run from C:\tarvex, a link to the build's bin directory: a program
# outside every drive would not find the DLLs beside it.
ln -sfn "$bin_dir" "$WINEPREFIX/drive_c/tarvex"
rel=${dir#"$bin_dir"}
cd "$WINEPREFIX/drive_c/tarvex$rel"
program="C:\\tarvex$(echo "$rel" | tr / '\\')\\$program"
if [ -z "${DISPLAY:-}" ]; then
  # xvfb-run's server goes away under Wine's X connection at the end; that
  # line is noise, everything else on standard error is passed on.
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$program" "$@" \
    2> >(grep --line-buffered -v '^X connection to .* broken' >&2)
fi
exec "$wine" "$program" "$@"
