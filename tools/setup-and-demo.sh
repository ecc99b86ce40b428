#!/usr/bin/env bash
# Installs what is missing, builds the x64 and x86 deliverables, and runs a
# real scan under Wine: the example caller scans buffers through the engine's
# exports, once with the test AMSI provider (which detects the antivirus test
# string) and once with the system's AMSI (Wine's answers everything clean).
# Last, it makes the release ZIPs and MSIs (build/dist/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh x64 x86
echo
echo "Built:"
ls -1 build/x64/bin/*.dll build/x64/bin/*.exe build/x86/bin/*.dll build/x86/bin/*.exe 2>/dev/null | sed 's/^/  /'
echo
echo "=== Scan with the test AMSI provider (build/x64/bin/demo) ==="
tests/wine/run_in_wine.sh build/x64/bin/demo scan_demo.exe
echo "=== Scan with the system's AMSI (build/x64/bin/demo-system) ==="
tests/wine/run_in_wine.sh build/x64/bin/demo-system scan_demo.exe
echo "=== Release packages: ZIPs and MSIs (build/dist) ==="
bash tools/package.sh
ls -1 build/dist | sed 's/^/  /'
