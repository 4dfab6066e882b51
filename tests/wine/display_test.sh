#!/usr/bin/env bash
# On a virtual display, a report is a real window the program waits on until OK is pressed.
set -euo pipefail
exe=$1
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }
done
export WINEPREFIX=${MORVELAN_WINEPREFIX:?set by the test}
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=/usr/lib/wine/wineserver
display=:$((90 + RANDOM % 100))
work=$(mktemp -d)
xvfb=
program=
cleanup() {
    [ -z "$program" ] || kill "$program" 2>/dev/null || true
    "$wineserver" -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# Earlier runs in this prefix had no display; their desktop process must not be reused.
"$wineserver" -k 2>/dev/null || true

# The empty tail reports the usage text; the relay trace shows the text the box was given.
DISPLAY=$display WINEDEBUG=+relay /usr/lib/wine/wine64 "$exe" >"$work/out" 2>"$work/trace" &
program=$!

window=
for _ in $(seq 1 60); do
    window=$(DISPLAY=$display xdotool search --name '^Morvelan v1\.51 - Info$' 2>/dev/null |
        head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.5
done
[ -n "$window" ] || { echo "no window titled 'Morvelan v1.51 - Info' appeared"; exit 1; }
echo "ok: window $window titled '$(DISPLAY=$display xdotool getwindowname "$window")'"

sleep 1
kill -0 "$program" 2>/dev/null || { echo "the program ended while its box was open"; exit 1; }
echo "ok: the program waits while the box is open"
grep -F 'Call user32.MessageBoxA(' "$work/trace" | grep -qF '"Usage:\n\nMorvelan -h hostname' ||
    { echo "the box was not given the usage text"; exit 1; }
echo "ok: the box shows the usage text"

DISPLAY=$display xdotool windowactivate --sync "$window" key --clearmodifiers Return ||
    DISPLAY=$display xdotool key --window "$window" Return
for _ in $(seq 1 40); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.25
done
kill -0 "$program" 2>/dev/null && { echo "the program did not end after OK"; exit 1; }
rc=0
wait "$program" || rc=$?
program=
[ "$rc" = 0 ] || { echo "exit status $rc after the usage text"; exit 1; }
grep -q '^Usage:' "$work/out" || { echo "the usage text is not on standard output"; exit 1; }
echo "ok: OK closed the box and the program ended with status 0"
