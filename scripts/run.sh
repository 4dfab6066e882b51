#!/usr/bin/env bash
# Builds the program and runs it under Wine with the given arguments, on a Debian machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Presets are found in the project's folder; the program runs in the caller's, where -s saves.
(cd "$root" && cmake --preset win64 >/dev/null && cmake --build --preset win64 --target morvelan >/dev/null)
export WINEPREFIX="$root/build/run-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once)..."
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    # The registry reaches the disk only when the server ends; wait, so that this runs once.
    /usr/lib/wine/wineserver -w
fi
exec /usr/lib/wine/wine64 "$root/build/win64/morvelan.exe" "$@"
