#!/usr/bin/env bash
# Every report reaches a message box with its text and the program's caption (Wine's relay trace).
set -euo pipefail
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT

# Only MessageBoxA is traced (RelayInclude, set with the test prefix).
WINEDEBUG=+relay "$here/wine-run.sh" "$exe" -u u -p '"unclosed' >/dev/null 2>"$trace" || true
calls=$(grep -c 'Call user32.MessageBoxA(' "$trace" || true)
caption='"Morvelan v1.51 - Info",00000000)'
status=0
check() {
    if grep -F 'Call user32.MessageBoxA(' "$trace" | grep -F "$1" | grep -qF "$caption"; then
        echo "ok: $2"
    else
        echo "missing: $2"
        status=1
    fi
}
[ "$calls" = 2 ] || { echo "expected 2 message boxes, saw $calls"; status=1; }
check "\"Error: Unterminated string constant. Make sure you've matched the \\\" chars.\"" \
    "the unterminated-quote message"
check '"Usage:\n\nMorvelan -h hostname -p password -u username -t title' "the usage text"
grep -F 'Call user32.MessageBoxA(' "$trace" | head -n 3
exit $status
