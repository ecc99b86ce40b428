#!/usr/bin/env bash
# Installs what is missing, builds the x64 and x86 deliverables and the x86
# test bed (docs/x86-test-bed.md), and runs a real scan under Wine: the example
# caller scans buffers through the engine's exports, once with the test AMSI
# provider (which detects the antivirus test string) and once with the
# system's AMSI (Wine's answers everything clean), and the x86 example caller
# once more in the x86 test bed. Last, it makes the release ZIPs and MSIs
# (build/dist/). Exits non-zero, after everything else, when the x86 test bed
# cannot be built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh x64 x86
bed_status=0
bash tools/x86-bed.sh || bed_status=$?
echo
echo "Built:"
ls -1 build/x64/bin/*.dll build/x64/bin/*.exe build/x86/bin/*.dll build/x86/bin/*.exe 2>/dev/null | sed 's/^/  /'
echo
echo "=== Scan with the test AMSI provider (build/x64/bin/demo) ==="
tests/wine/run_in_wine.sh build/x64/bin/demo scan_demo.exe
echo "=== Scan with the system's AMSI (build/x64/bin/demo-system) ==="
tests/wine/run_in_wine.sh build/x64/bin/demo-system scan_demo.exe
if [ $bed_status = 0 ]; then
  echo "=== x86: scan with the test AMSI provider in the x86 test bed (build/x86/bin/demo) ==="
  tests/wine/run_in_x86_bed.sh build/x86/bin/demo scan_demo.exe
fi
echo "=== Release packages: ZIPs and MSIs (build/dist) ==="
bash tools/package.sh
ls -1 build/dist | sed 's/^/  /'
if [ $bed_status != 0 ]; then
  echo "The x86 test bed could not be built (see the banner above); the x86 Wine tests will fail." >&2
  exit $bed_status
fi
