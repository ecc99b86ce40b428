#!/usr/bin/env bash
# Native benchmark of the console program's output writer (no Wine): peak heap
# and time per entry for runs of 10,000 to 1,000,000 entries in each form.
#   bench/run_output_writer.sh [entries...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/bench-output-writer
mkdir -p "$out"
logic=$root/console/logic
g++ -std=c++17 -O2 -DNDEBUG -I"$logic" "$root/bench/native/bench_output_writer.cpp" \
  "$logic"/console_run_output.cpp "$logic"/console_output_formats.cpp "$logic"/console_records.cpp \
  "$logic"/console_scan_outcome.cpp "$logic"/console_text.cpp -o "$out/bench_output_writer"
"$out/bench_output_writer" "$@"
