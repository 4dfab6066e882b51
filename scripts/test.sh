#!/usr/bin/env bash
# Installs what is missing, checks the sources, builds the three presets and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/lint.sh
for preset in win32 win64 native; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
# The shipped exe's end-to-end cases need a 32-bit stand-in for WMI.
cmake --build --preset win32 --target wmi_standin
scripts/coverage.sh
scripts/fuzz.sh 60
tests/scripts/check-release.sh
ctest --preset win32
ctest --preset native
ctest --preset win64
