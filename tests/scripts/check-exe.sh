#!/usr/bin/env bash
# Reads a built exe back: system DLLs only, hardened headers, version resource and manifest,
# and at most MAX_BYTES when that is given.
set -euo pipefail
objdump=$1
exe=$2
max=${3:-}
fail() { echo "FAIL: $exe: $*"; exit 1; }
has() { grep -qE -- "$1" <<<"$2" || fail "$3"; }

headers=$("$objdump" -p "$exe")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | xargs)
[ "$imports" = "crypt32.dll kernel32.dll msvcrt.dll user32.dll" ] || fail "imports $imports"
has 'Subsystem.*\(Windows CUI\)' "$headers" "not a console program"
has '^\s+DYNAMIC_BASE$' "$headers" "no address space layout randomisation"
has '^\s+NX_COMPAT$' "$headers" "no data execution prevention"
has 'Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation' "$headers" "no relocations"
if grep -q 'PE32+' <<<"$headers"; then
    has '^\s+HIGH_ENTROPY_VA$' "$headers" "no high-entropy addresses"
fi
# A writable code section lacks READONLY.
"$objdump" -h "$exe" | grep -E 'CODE' | grep -v READONLY && fail "writable code section"

versions=$("${objdump%objdump}strings" -el "$exe" | xargs -d '\n')
for pair in "ProductName Morvelan" "FileVersion 1.51" "ProductVersion 1.51" \
    "OriginalFilename morvelan.exe"; do
    has "$pair" "$versions" "version resource lacks $pair"
done
manifest=$(grep -a -o -E 'level="asInvoker"|Microsoft.Windows.Common-Controls|8e0f7a12-bfb3' \
    "$exe" | sort -u | wc -l)
[ "$manifest" = 3 ] || fail "manifest incomplete"
size=$(stat -c %s "$exe")
[ -z "$max" ] || [ "$size" -le "$max" ] || fail "$size bytes, more than $max"
echo "ok: $exe ($size bytes): imports $imports; hardened; version resource and manifest"
