#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) and runs each:
#   fuzz/run.sh [seconds per target] [target ...]
# The seconds default to TARVEX_FUZZ_SECONDS, else 60; ctest runs one target
# per entry (fuzz/CMakeLists.txt, ctest --preset fuzz).
# Each target first replays its regression cases (fuzz/regressions/<target>/),
# then fuzzes for the given time, starting from the committed seeds
# (fuzz/corpus/<target>/) in a scratch copy, so the repository stays as it is.
# A crash leaves its input in build/fuzz/artifacts/<target>/ and fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${TARVEX_FUZZ_SECONDS:-60}
if [[ ${1:-} =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_stream_records fuzz_command_line fuzz_text_report fuzz_region_walk fuzz_mft_reader)

out=$root/build/fuzz
mkdir -p "$out/obj"
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined
       -I"$root/engine" -I"$root/engine/logic" -I"$root/engine/scanners/logic" -I"$root/app/logic" -I"$root/console/logic")

objects=()
for source in "$root"/engine/logic/*.cpp "$root"/engine/scanners/logic/*.cpp "$root"/app/logic/*.cpp "$root"/console/logic/*.cpp; do
  object=$out/obj/$(echo "${source#$root/}" | tr / _).o
  if [ ! -f "$object" ] || [ "$source" -nt "$object" ]; then
    clang++ "${flags[@]}" -fsanitize=fuzzer-no-link -c "$source" -o "$object"
  fi
  objects+=("$object")
done

status=0
for target in "${targets[@]}"; do
  clang++ "${flags[@]}" -fsanitize=fuzzer "$root/fuzz/$target.cpp" "${objects[@]}" -o "$out/$target"
  if [ -d "$root/fuzz/regressions/$target" ] && [ -n "$(ls -A "$root/fuzz/regressions/$target")" ]; then
    "$out/$target" "$root"/fuzz/regressions/"$target"/* >/dev/null 2>&1 || { echo "$target: a regression case fails"; status=1; continue; }
  fi
  work=$(mktemp -d)
  cp -r "$root/fuzz/corpus/$target/." "$work/" 2>/dev/null || true
  mkdir -p "$out/artifacts/$target"
  if "$out/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$out/artifacts/$target/" -print_final_stats=1 "$work" >"$out/$target.log" 2>&1; then
    echo "$target: ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$target.log" | grep -o '[0-9]*$') runs in ${seconds} s)"
  else
    echo "$target: FAILED, see $out/$target.log and $out/artifacts/$target/"
    tail -30 "$out/$target.log"
    status=1
  fi
  rm -rf "$work"
done
exit $status
