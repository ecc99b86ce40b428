#!/usr/bin/env bash
# Runs the process memory scan benchmark under Wine (x64 build):
# bench/run_processes.sh [build dir] [rounds] [commit MiB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/x64}
cmake --build "$build" --target bench_processes -j2 >/dev/null
exec "$root/tests/wine/run_in_wine.sh" "$build/bin/bench-processes" bench_processes.exe "${2:-3}" "${3:-512}"
