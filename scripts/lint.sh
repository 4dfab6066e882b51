#!/usr/bin/env bash
# Static analysis of every source: clang-format, clang-tidy and cppcheck; fails on any finding.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
echo "== clang-format (${#sources[@]} files)"
clang-format --dry-run --Werror "${sources[@]}" || status=1

# Each file is checked with the flags it is built with: portable files and native tests from
# the native build, Windows files and the tests under Wine from the win64 build.
for preset in native win64; do
    cmake --preset "$preset" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
done
mapfile -t native < <(git ls-files 'src/*.cpp' 'tests/native/*.cpp' 'tests/fuzz/*.cpp' |
    grep -v '_win\.cpp$')
mapfile -t windows < <(git ls-files 'src/*_win.cpp' 'tests/wine/*.cpp')
# clang finds the mingw-w64 C headers itself, but not the C++ library's versioned folders.
mingw_cxx=()
while read -r dir; do
    mingw_cxx+=("--extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-win32 -E -x c++ - -v </dev/null 2>&1 | grep '^ .*/include/c++')

tidy() { # build folder, extra arguments..., then the files on standard input
    xargs -P 2 -n 1 clang-tidy --quiet -p "$@" 2>&1 | grep -v 'warnings generated' || true
}
echo "== clang-tidy (${#native[@]} portable files, ${#windows[@]} Windows files)"
findings=$(
    printf '%s\n' "${native[@]}" | tidy build/native
    printf '%s\n' "${windows[@]}" | tidy build/win64 --extra-arg=--target=x86_64-w64-mingw32 \
        "${mingw_cxx[@]}"
)
if grep -q -E '(error|warning):' <<<"$findings"; then
    printf '%s\n' "$findings"
    status=1
fi

echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ --library=googletest \
    --library=windows --enable=warning,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem -I src -D_WIN32 -U_WIN64 \
    src tests/native tests/fuzz tests/wine || status=1

if [ "$status" -eq 0 ]; then echo "lint: clean"; else echo "lint: findings above"; fi
exit "$status"
