#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the host, x64 and x86
# presets and the x86 test bed, and runs every ctest group (host unit tests
# under ASan and UBSan, the Wine tests of the x64 build, the static checks of
# both builds, the x86 build's Wine suites in the x86 test bed) and the fuzz
# targets (ctest --preset fuzz, TARVEX_FUZZ_SECONDS each, default 60).
# TARVEX_X86_FULL=1 runs the longer x86 suites too (ctest -C full,
# docs/x86-test-bed.md).
set -uo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh || exit 1
bash tools/build.sh host x64 x86 || { echo "build failed"; exit 1; }
# Without a bed the x86 Wine suites fail in their ctest run (the banner above
# tells why); everything else still runs.
bash tools/x86-bed.sh

passed=0 failed=0
# Adds a ctest log's counts to the totals; a log without them counts as one
# failure (ctest did not run to the end).
tally() {
  local counts total bad
  counts=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -1)
  if [ -z "$counts" ]; then failed=$((failed + 1)); return; fi
  total=$(echo "$counts" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$counts" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

for preset in host x64; do
  echo "== ctest --preset $preset"
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  tally "$log"
  rm -f "$log"
done

# The fuzz targets are native and run one at a time: they fuzz beside the x86
# suites, which run one at a time too, and their log follows the x86 one.
fuzz_log=$(mktemp)
ctest --preset fuzz >"$fuzz_log" 2>&1 &
fuzz_pid=$!
echo "== ctest --preset x86"
log=$(mktemp)
configuration=()
[ "${TARVEX_X86_FULL:-0}" = 1 ] && configuration=(-C full)
ctest --preset x86 "${configuration[@]}" 2>&1 | tee "$log"
tally "$log"
rm -f "$log"
wait "$fuzz_pid"
echo "== ctest --preset fuzz"
cat "$fuzz_log"
tally "$fuzz_log"
rm -f "$fuzz_log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
