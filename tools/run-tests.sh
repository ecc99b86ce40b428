#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the host, x64 and x86
# presets, and runs every ctest group (host unit tests under ASan and UBSan,
# the Wine tests of the x64 build, the static checks of both builds) and the
# fuzz targets (ctest --preset fuzz, TARVEX_FUZZ_SECONDS each, default 60).
set -uo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh || exit 1
bash tools/build.sh host x64 x86 || { echo "build failed"; exit 1; }

passed=0 failed=0
for preset in host x64 x86 fuzz; do
  echo "== ctest --preset $preset"
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  counts=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  rm -f "$log"
  if [ -z "$counts" ]; then failed=$((failed + 1)); continue; fi
  total=$(echo "$counts" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$counts" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
