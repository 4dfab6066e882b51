#!/usr/bin/env bash
# Reads a built exe back: system DLLs only, hardened and Terminal Services aware headers,
# version resource and manifest of the project's VERSION, and at most MAX_BYTES when given.
set -euo pipefail
objdump=$1 exe=$2 version=$3 max=${4:-}
fail() { echo "FAIL: $exe: $*"; exit 1; }
facts=$("$objdump" -p "$exe"; "${objdump%objdump}strings" -el "$exe" | xargs -d '\n' echo;
    grep -ao 'level="asInvoker"\|Common-Controls\|8e0f7a12-bfb3\|version="[0-9.]*"' "$exe" || true)
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$facts" | tr 'A-Z' 'a-z' | sort | xargs)
[ "$imports" = "advapi32.dll crypt32.dll kernel32.dll msvcrt.dll user32.dll" ] || fail "imports $imports"
# Randomised addresses need relocations; 64-bit ones get the high-entropy kind. Terminal
# Services aware: a session host gives other exes a private Windows folder, without the client.
entropy=$(grep -q 'PE32+' <<<"$facts" && echo HIGH_ENTROPY_VA || echo NX_COMPAT)
for fact in '(Windows CUI)' DYNAMIC_BASE NX_COMPAT "$entropy" TERMINAL_SERVICE_AWARE \
    'Directory [.reloc]' "FileVersion $version" "ProductVersion $version" \
    "version=\"$version.0.0\"" 'level="asInvoker"' Common-Controls 8e0f7a12-bfb3; do
    grep -qF -- "$fact" <<<"$facts" || fail "no $fact"
done
# A writable code section lacks READONLY.
! "$objdump" -h "$exe" | grep CODE | grep -v READONLY || fail "writable code section"
size=$(stat -c %s "$exe")
[ -z "$max" ] || [ "$size" -le "$max" ] || fail "$size bytes, more than $max"
echo "ok: $exe ($size bytes): imports $imports; hardened; version resource and manifest"
