#!/usr/bin/env bash
# Fails when the exe imports a DLL that not every Windows has (a leaked runtime DLL).
set -euo pipefail
objdump=$1
exe=$2
allowed=" kernel32.dll user32.dll advapi32.dll crypt32.dll msvcrt.dll "
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no import table found in $exe"; exit 1; }
status=0
for dll in $dlls; do
    case "$allowed" in
    *" $dll "*) echo "ok: $dll" ;;
    *) echo "unexpected import: $dll"; status=1 ;;
    esac
done
exit $status
