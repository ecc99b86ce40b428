#!/usr/bin/env bash
# Runs a GUI test program of the application under Wine and then ends every
# process left in the build's prefix (a log opened with the shell starts an
# editor): run_gui.sh <directory> <program.exe> [arguments...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$(cd "$1" && pwd)
bin_dir=$dir
while [ "$(basename "$bin_dir")" != bin ] && [ "$bin_dir" != / ]; do bin_dir=$(dirname "$bin_dir"); done
export WINEPREFIX=${TARVEX_WINEPREFIX:-$(dirname "$bin_dir")/wineprefix}
"$here/../wine/run_in_wine.sh" "$@"
status=$?
wineserver -k >/dev/null 2>&1 || true
exit $status
