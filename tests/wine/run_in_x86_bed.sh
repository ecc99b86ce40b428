#!/usr/bin/env bash
# Runs a 32-bit Windows test program in the x86 test bed, as run_in_wine.sh runs
# a 64-bit one: run_in_x86_bed.sh <directory> <program.exe> [arguments...]
#
# Same prefix rules (one per build directory, Windows 10, *_win7.exe sees
# Windows 7, no Z:, user folders unlinked, programs run from C:\tarvex, own
# Xvfb without a display); the prefix is a 64-bit one made by the bed's Wine,
# in which only the 32-bit programs are emulated (docs/x86-test-bed.md).
# Fails, with the reason, when the bed is not built (bash tools/x86-bed.sh).
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../tools/x86-bed/enter.sh" "$here/run_in_wine.sh" "$@"
