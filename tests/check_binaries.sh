#!/usr/bin/env bash
# Static check of the engine library: check_binaries.sh <objdump> <dll> <pointer size>
# - exports exactly the 18 interface names, undecorated;
# - in the x86 build each export is a stdcall function (its symbol is Name@bytes
#   with the byte count of its arguments);
# - imports only DLLs that ship with Windows (the C++ runtime is linked in);
# - imports no function that the oldest Windows it must load on lacks
#   (windows_function_floors.txt): the x86 build loads on Windows XP, the x64
#   build on Windows Vista, where they report every scan as not supported;
# - holds no fault point of the fault-injection test build.
set -euo pipefail
objdump=$1 dll=$2 ptr=$3
fail() { echo "FAIL: $*"; exit 1; }

expected="CancleScan GetScanObject GetScanResult GetScanfile GetScanfileLength GetScanlistEntry
GetScanlistSize IsAmsiAvailable SetScanlistToStart TarvexAds TarvexAds2 TarvexAdsInFile
TarvexAdsInFolder TarvexAllProcesses TarvexBuffer TarvexBuffer2 TarvexProcessWithName TarvexProcessWithPid"
expected=$(echo $expected | tr ' ' '\n' | sort)

dump=$("$objdump" -p "$dll")
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[\s*[0-9]*\] //p' | sort)
[ "$exports" = "$expected" ] || fail "exports differ: $(diff <(echo "$expected") <(echo "$exports") | tr '\n' ' ')"

if [ "$ptr" = 4 ]; then
  # Argument bytes of each export in the x86 build (4 per argument).
  declare -A bytes=(
    [TarvexAds]=16 [TarvexAds2]=8 [TarvexAdsInFile]=16 [TarvexAdsInFolder]=16 [TarvexAllProcesses]=12
    [TarvexProcessWithName]=16 [TarvexProcessWithPid]=20 [TarvexBuffer]=32 [TarvexBuffer2]=24
    [CancleScan]=4 [IsAmsiAvailable]=0 [GetScanObject]=0 [GetScanResult]=0 [GetScanfile]=0
    [GetScanfileLength]=0 [GetScanlistEntry]=4 [GetScanlistSize]=0 [SetScanlistToStart]=0)
  image_base=$(echo "$dump" | awk '/^ImageBase/ {print $2}')
  text_vma=$("$objdump" -h "$dll" | awk '$2 == ".text" {print $4}')
  text_rva=$(( 16#$text_vma - 16#$image_base ))
  symbols=$("$objdump" -t "$dll")
  export_rvas=$(echo "$dump" | sed -n 's/^\s*\[\s*[0-9]*\] +base\[\s*[0-9]*\] \([0-9a-f]*\) Export RVA/\1/p')
  for name in $expected; do
    # The export's address must be the stdcall symbol _Name@bytes (section 1 is .text).
    line=$(echo "$symbols" | grep -E "\(sec  1\).* 0x[0-9a-f]+ _${name}@${bytes[$name]}\$" || true)
    [ -n "$line" ] || fail "$name: no stdcall symbol _${name}@${bytes[$name]}"
    value=$(echo "$line" | awk '{print $(NF-1)}')
    rva=$(printf '%x' $(( text_rva + 16#${value#0x} )))
    echo "$export_rvas" | grep -qx "0*$rva" || fail "$name: no export at the address of _${name}@${bytes[$name]}"
  done
fi

imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
allowed="advapi32.dll kernel32.dll msvcrt.dll ole32.dll shlwapi.dll user32.dll"
for dll_name in $imports; do
  case " $allowed " in *" $dll_name "*) ;; *) fail "imports $dll_name, which is not a system DLL" ;; esac
done
# Imported function names: the name column of each import table's entries.
functions=$(echo "$dump" | sed -n '/^The Import Tables/,/^The Export Tables/p' |
  awk '/DLL Name:/ {in_table = 1; next} /^$/ {in_table = 0} in_table && NF >= 2 && $1 ~ /^[0-9a-f]+$/ {print $NF}' |
  sort -u)
[ -n "$functions" ] || fail "no imported functions found in the dump"
if [ "$ptr" = 4 ]; then floor_passes="" ; oldest="Windows XP"; else floor_passes="vista"; oldest="Windows Vista"; fi
floors=$(dirname "$0")/windows_function_floors.txt
while read -r first name; do
  case "$first" in ''|'#'*) continue ;; esac
  case " $floor_passes " in *" $first "*) continue ;; esac
  if echo "$functions" | grep -qx "$name"; then
    fail "imports $name, which $oldest lacks (first in $first): bind it at run time"
  fi
done < "$floors"

# The fault points exist in the test build only.
if grep -qa "TARVEX_FAULT" "$dll"; then fail "holds the fault points of the test build"; fi
echo "ok: $(echo "$exports" | wc -l) exports; imports: $(echo $imports); none newer than $oldest"
