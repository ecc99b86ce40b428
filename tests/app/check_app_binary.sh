#!/usr/bin/env bash
# Static check of the application: check_app_binary.sh <objdump> <exe> <pointer size>
# - a GUI program of the expected width that imports only system DLLs and no
#   engine library (the engine is loaded by name at run time);
# - icon resource 1 with 16, 32, 48 and 256 pixel images, and a manifest that
#   asks for administrator rights and Common Controls 6 and declares the
#   program DPI-aware.
set -euo pipefail
objdump=$1 exe=$2 ptr=$3
fail() { echo "FAIL: $*"; exit 1; }
dump=$("$objdump" -p "$exe")
grep -q 'Subsystem.*(Windows GUI)' <<<"$dump" || fail "not a GUI program"
if [ "$ptr" = 8 ]; then magic=020b; else magic=010b; fi
grep -q "Magic.*$magic" <<<"$dump" || fail "wrong width"
imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
  case $dll in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|ole32.dll|winmm.dll|msvcrt.dll) ;;
    *) fail "unexpected import $dll" ;;
  esac
done
grep -q 'requireAdministrator' <<<"$(strings -a "$exe")" || fail "manifest without requireAdministrator"
grep -q 'Microsoft.Windows.Common-Controls' <<<"$(strings -a "$exe")" || fail "manifest without Common Controls"
grep -q 'version="6.0.0.0"' <<<"$(strings -a "$exe")" || fail "Common Controls not version 6"
grep -q '<dpiAware[^>]*>true</dpiAware>' <<<"$(strings -a "$exe")" || fail "manifest not DPI-aware"
# The resource directory must hold an icon group (type 14) with id 1 whose
# images are 16, 32, 48 and 256 pixels wide.
python3 - "$exe" <<'PY' || fail "icon resource 1 missing or without its four sizes"
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3C)[0]
sections = struct.unpack_from('<H', data, pe + 6)[0]
opt_size = struct.unpack_from('<H', data, pe + 20)[0]
opt = pe + 24
magic = struct.unpack_from('<H', data, opt)[0]
dirs = opt + (96 if magic == 0x10b else 112)
rsrc_rva = struct.unpack_from('<I', data, dirs + 2 * 8)[0]
sec = opt + opt_size
def file_offset(rva):
    for i in range(sections):
        va, size, raw = struct.unpack_from('<III', data, sec + i * 40 + 12)
        if va <= rva < va + max(size, 1):
            return raw + (rva - va)
    return None
base = file_offset(rsrc_rva)
if base is None:
    sys.exit(1)
def entries(offset):
    named, ids = struct.unpack_from('<HH', data, offset + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from('<II', data, offset + 16 + 8 * i)
        yield name, target
def first_data(target):
    while target & 0x80000000:
        target = next(entries(base + (target & 0x7FFFFFFF)))[1]
    rva, size = struct.unpack_from('<II', data, base + target)
    return data[file_offset(rva):file_offset(rva) + size]
for name, target in entries(base):
    if name == 14 and target & 0x80000000:
        for n, t in entries(base + (target & 0x7FFFFFFF)):
            if n == 1:
                group = first_data(t)
                count = struct.unpack_from('<H', group, 4)[0]
                widths = sorted(group[6 + 14 * i] or 256 for i in range(count))
                sys.exit(0 if widths == [16, 32, 48, 256] else 1)
sys.exit(1)
PY
echo "ok"
