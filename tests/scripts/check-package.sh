#!/usr/bin/env bash
# Makes the release package and checks what it holds against the build and the tree.
set -euo pipefail
build=$1
name=$2
exe=$3
source=$4
cd "$build"
rm -rf package
cpack --config CPackConfig.cmake >/dev/null
zip="package/$name.zip"
[ -f "$zip" ] || { echo "no $zip"; exit 1; }
(cd package && sha256sum -c "$name.zip.sha256")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$build/$zip")
listing=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
[ "$listing" = "./LICENSE ./README.md ./morvelan.exe " ] || { echo "unexpected content: $listing"; exit 1; }
cmp "$work/morvelan.exe" "$exe"
cmp "$work/README.md" "$source/README.md"
cmp "$work/LICENSE" "$source/LICENSE"
echo "ok: $zip holds morvelan.exe, README.md and LICENSE; checksum verified"
