#!/usr/bin/env bash
# Runs the stream and folder benchmarks under Wine (x64 build): bench/run_streams.sh [build dir]
# Makes a 256 MiB file and trees of 2,000 files in 200 folders and of 20,000
# files in 2,000 folders inside the prefix's C: drive (once), then runs each
# measurement in a process of its own, so each peak working set is its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
cmake --build "$build" --target bench_streams -j2 >/dev/null
run() { "$root/tests/wine/run_in_wine.sh" "$build/bin/bench-streams" bench_streams.exe "$@"; }
run >/dev/null || true  # makes the prefix on first use
drive_c=$build/wineprefix/drive_c
data=$drive_c/tarvex-bench-streams
mkdir -p "$data"
if [ ! -f "$data/256mib.bin" ]; then
  (yes 'plain clean text for the stream benchmark' || true) | head -c $((256 << 20)) > "$data/256mib.bin.part"
  mv "$data/256mib.bin.part" "$data/256mib.bin"
fi
make_tree() {  # make_tree <name> <folders> <files per folder>
  local tree=$data/$1
  [ -f "$tree/.done" ] && return 0
  rm -rf "$tree"
  for ((d = 0; d < $2; d++)); do
    # Folders nest ten deep in chains, so the walk goes down as well as across.
    local folder=$tree/c$((d / 10))
    for ((k = 0; k < d % 10; k++)); do folder=$folder/n$k; done
    mkdir -p "$folder"
    (cd "$folder" && for ((f = 0; f < $3; f++)); do : > "f$f.txt"; done)
  done
  touch "$tree/.done"
}
make_tree small 200 10
make_tree large 2000 10
run stream 'C:\tarvex-bench-streams\256mib.bin'
run folder 'C:\tarvex-bench-streams\small'
run folder 'C:\tarvex-bench-streams\large'
