#!/usr/bin/env bash
# run_all_drives.sh <stage dir> <program.exe> [arguments...]
# Runs a test program in the prefix named by TARVEX_WINEPREFIX after turning
# the prefix's user folders into plain folders: Wine links them to the Linux
# home folder, which a walk of all drives would otherwise enter.
set -euo pipefail
: "${TARVEX_WINEPREFIX:?set TARVEX_WINEPREFIX to the prefix of this run}"
runner=$(cd "$(dirname "$0")/../wine" && pwd)/run_in_wine.sh
"$runner" "$1" "$2" --gtest_list_tests >/dev/null  # makes the prefix on first use
find "$TARVEX_WINEPREFIX/drive_c/users" -type l -print0 |
  while IFS= read -r -d '' link; do rm -f "$link" && mkdir -p "$link"; done
exec "$runner" "$@"
