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
scripts/coverage.sh
scripts/fuzz.sh 60
tests/scripts/check-release.sh
ctest --preset win32
ctest --preset native
ctest --preset win64
