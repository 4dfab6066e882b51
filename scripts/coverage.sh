#!/usr/bin/env bash
# Line and branch coverage of the portable code by the native unit tests (gcov, via gcovr).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset coverage >/dev/null
cmake --build --preset coverage >/dev/null
find build/coverage -name '*.gcda' -delete
ctest --preset coverage >/dev/null
# Branches the compiler adds for exceptions and unreachable paths are not the code's own.
gcovr_args=(-r . --filter 'src/' --exclude-throw-branches --exclude-unreachable-branches
    build/coverage)
gcovr "${gcovr_args[@]}"
gcovr "${gcovr_args[@]}" --branches
