#!/usr/bin/env bash
# Static check of the console program: a console-subsystem executable that
# imports system DLLs only and does not link the engine (it loads it by name),
# with a manifest that sets the UTF-8 code page and runs it as its invoker.
#   check_console_binary.sh <objdump> <OstrelleCmd64.exe|OstrelleCmd.exe>
set -euo pipefail
objdump=$1
exe=$2
headers=$("$objdump" -p "$exe")
grep -q 'Subsystem.*0*3.*(Windows CUI)' <<<"$headers" || { echo "not a console program: $exe"; exit 1; }
allowed='^(kernel32|user32|msvcrt|advapi32|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
while read -r dll; do
  if ! grep -qiE "$allowed" <<<"$dll"; then
    echo "unexpected import: $dll"
    status=1
  fi
done < <(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | tr 'A-Z' 'a-z')
manifest=$(strings -a "$exe" | tr -d '\r')
for needed in '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>' \
              'level="asInvoker"'; do
  grep -qF "$needed" <<<"$manifest" || { echo "manifest without $needed"; status=1; }
done
exit $status
