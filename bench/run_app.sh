#!/usr/bin/env bash
# Runs the result transfer benchmark under Wine (x64 build): bench/run_app.sh [build dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/x64}
cmake --build "$build" --target bench_listview -j2 >/dev/null
exec "$root/tests/wine/run_in_wine.sh" "$build/bin/bench-listview" bench_listview.exe
