#!/usr/bin/env bash
# Runs a Windows program under Wine in the tests' private prefix, with no display.
set -euo pipefail
export WINEPREFIX="${MORVELAN_WINEPREFIX:?set by the test}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts in a test prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Without a display a message box returns at once instead of waiting for a click.
unset DISPLAY WAYLAND_DISPLAY
exec "${MORVELAN_WINE:-/usr/lib/wine/wine64}" "$@"
