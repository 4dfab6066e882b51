#!/usr/bin/env bash
# Makes the release package and checks it: its checksum, and that it holds exactly the exe,
# the README and the licence of this build and tree.
set -euo pipefail
build=$1 name=$2 exe=$3 source=$4 work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$build" && rm -rf package && cpack --config CPackConfig.cmake >/dev/null
(cd package && sha256sum -c "$name.zip.sha256")
cd "$work" && cmake -E tar xf "$build/package/$name.zip"
[ "$(find . -type f | sort | xargs)" = "./LICENSE ./README.md ./morvelan.exe" ]
cmp morvelan.exe "$exe" && cmp README.md "$source/README.md" && cmp LICENSE "$source/LICENSE"
echo "ok: $name.zip holds morvelan.exe, README.md and LICENSE; checksum verified"
