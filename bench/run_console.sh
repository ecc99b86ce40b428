#!/usr/bin/env bash
# Runs the console program overhead benchmark under Wine (x64 build):
#   bench/run_console.sh [build dir] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/x64}
rounds=${2:-5}
cmake --build "$build" --target bench_console_stage -j2 >/dev/null
exec "$root/tests/wine/run_in_wine.sh" "$build/bin/bench-console" bench_console.exe "$rounds"
