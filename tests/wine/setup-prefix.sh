#!/usr/bin/env bash
# Creates the tests' private Wine prefix and installs the stand-in client as mstsc.exe.
set -euo pipefail
prefix=$1
client=$2
here=$(cd "$(dirname "$0")" && pwd)
export MORVELAN_WINEPREFIX=$prefix
if [ ! -f "$prefix/system.reg" ]; then
    "$here/wine-run.sh" wineboot -i
fi
# Lets the relay trace show the message box calls and nothing else.
"$here/wine-run.sh" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d 'user32.MessageBoxA' /f >/dev/null
# A copy of the program under this name runs without Wine's crypto provider, so the data
# protection really fails for it.
"$here/wine-run.sh" reg add 'HKCU\Software\Wine\AppDefaults\morvelan-nocrypt.exe\DllOverrides' \
    /v rsaenh /t REG_SZ /d '' /f >/dev/null
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
cp "$client" "$prefix/drive_c/windows/system32/mstsc.exe"
rm -rf "$prefix/drive_c/morvelan-tests"
