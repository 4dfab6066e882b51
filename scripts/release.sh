#!/usr/bin/env bash
# Makes a release in dist/: the shipped 32-bit exe built from a clean folder, the same bytes for
# the same commit, signed when a certificate is given, zipped with its SHA-256, and the winget
# and Scoop manifests when the download folder is given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Files may be named relative to the folder the script is started from.
for file in MORVELAN_SIGN_PFX MORVELAN_SIGN_PASSFILE MORVELAN_SIGN_CAFILE; do
    [ -z "${!file:-}" ] || export "$file=$(realpath -m -- "${!file}")"
done
cd "$root"
build=$root/build/release dist=$root/dist
id=Morvelan.Morvelan publisher="The Morvelan developers"
description="Starts a Remote Desktop session from the command line"
homepage=${MORVELAN_HOMEPAGE:-}
# The time zone, the locale and the umask of whoever runs this must not reach the bytes.
export TZ=UTC LC_ALL=C
umask 022

fail() { # status, message
    echo "Error: $2" >&2
    exit "$1"
}

https_url() {
    local re='^https://[^[:space:][:cntrl:]"\\]+$'
    [[ $1 =~ $re ]]
}

check_settings() {
    signing=
    if [ -n "${MORVELAN_SIGN_PFX:-}${MORVELAN_SIGN_PASSFILE:-}" ]; then
        if [ ! -f "${MORVELAN_SIGN_PFX:-}" ] || [ ! -f "${MORVELAN_SIGN_PASSFILE:-}" ]; then
            fail 2 "MORVELAN_SIGN_PFX and MORVELAN_SIGN_PASSFILE must both name files."
        fi
        [ -z "${MORVELAN_SIGN_CAFILE:-}" ] || [ -f "$MORVELAN_SIGN_CAFILE" ] ||
            fail 2 "MORVELAN_SIGN_CAFILE must name a file."
        signing=yes
    fi
    if [ -n "${MORVELAN_RELEASE_URL:-}" ]; then
        https_url "$MORVELAN_RELEASE_URL" || fail 2 "MORVELAN_RELEASE_URL must be an https URL."
    fi
    if [ -n "$signing${MORVELAN_RELEASE_URL:-}" ] && ! https_url "$homepage"; then
        fail 2 "MORVELAN_HOMEPAGE must be the program's https home page, which the signature and \
the manifests name."
    fi
}

# The commit's time stands for the build's: the linker writes it into the PE header.
source_time() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
            fail 1 "Not a git checkout: set SOURCE_DATE_EPOCH to the time of the sources."
    fi
    export SOURCE_DATE_EPOCH
    if git rev-parse -q --verify HEAD >/dev/null 2>&1 && ! git diff --quiet HEAD; then
        echo "Note: the files differ from the last commit: a rebuild of it gives other bytes."
    fi
}

build_exe() {
    rm -rf "$build"
    cmake --preset win32 -B "$build" >/dev/null
    cmake --build "$build" --parallel 2 >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    [[ $version =~ ^[0-9]+(\.[0-9]+)+$ ]] || fail 1 "No version in $build/CMakeCache.txt."
    name=morvelan-$version-win32
}

sign_exe() { # unsigned exe, signed exe
    local sign=(-pkcs12 "$MORVELAN_SIGN_PFX" -readpass "$MORVELAN_SIGN_PASSFILE" -h sha256
        -n Morvelan -i "$homepage") trust=()
    [ -z "${MORVELAN_SIGN_TIMESTAMP:-}" ] || sign+=(-ts "$MORVELAN_SIGN_TIMESTAMP")
    [ -z "${MORVELAN_SIGN_CAFILE:-}" ] || trust=(-CAfile "$MORVELAN_SIGN_CAFILE")
    osslsigncode sign "${sign[@]}" -in "$1" -out "$2" >"$build/sign.log" 2>&1 ||
        fail 1 "osslsigncode could not sign the exe: $(tail -n 3 "$build/sign.log")"
    osslsigncode verify "${trust[@]}" -in "$2" >"$build/verify.log" 2>&1 ||
        fail 1 "The signature does not verify; see $build/verify.log."
    # Anyone can check a signed release against an unsigned rebuild of the same commit.
    osslsigncode remove-signature -in "$2" -out "$build/removed.exe" >/dev/null
    cmp -s "$build/removed.exe" "$1" ||
        fail 1 "Without its signature the signed exe differs from the unsigned one."
    echo "Signed: the signature verifies, and without it the exe is the unsigned one."
}

pack() { # exe
    local stage=$build/stage
    mkdir -p "$stage" "$dist"
    install -m 644 "$1" "$stage/morvelan.exe"
    install -m 644 README.md LICENSE "$stage"
    touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
    # A fixed order, fixed times and modes, and no owner or extra time fields.
    (cd "$stage" && zip -q -X "$dist/$name.zip" morvelan.exe README.md LICENSE)
    (cd "$dist" && sha256sum "$name.zip" >"$name.zip.sha256")
}

winget_manifests() { # zip URL, zip SHA-256
    local head="PackageIdentifier: $id
PackageVersion: \"$version\""
    mkdir -p "$dist/winget"
    cat >"$dist/winget/$id.yaml" <<EOF
$head
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.10.0
EOF
    cat >"$dist/winget/$id.locale.en-US.yaml" <<EOF
$head
PackageLocale: en-US
Publisher: $publisher
PackageName: Morvelan
PackageUrl: "$homepage"
License: MIT
ShortDescription: $description
ManifestType: defaultLocale
ManifestVersion: 1.10.0
EOF
    cat >"$dist/winget/$id.installer.yaml" <<EOF
$head
InstallerType: zip
NestedInstallerType: portable
NestedInstallerFiles:
  - RelativeFilePath: morvelan.exe
    PortableCommandAlias: morvelan
Installers:
  - Architecture: x86
    InstallerUrl: "$1"
    InstallerSha256: $2
ManifestType: installer
ManifestVersion: 1.10.0
EOF
}

scoop_manifest() { # zip URL, zip SHA-256
    mkdir -p "$dist/scoop"
    cat >"$dist/scoop/morvelan.json" <<EOF
{
    "version": "$version",
    "description": "$description",
    "homepage": "$homepage",
    "license": "MIT",
    "url": "$1",
    "hash": "$2",
    "bin": "morvelan.exe"
}
EOF
}

# The g++ variant (-win32, not -posix) and the packages' versions are inputs of the bytes.
build_info() {
    {
        echo "commit: $(git rev-parse HEAD 2>/dev/null || echo none)"
        echo "SOURCE_DATE_EPOCH: $SOURCE_DATE_EPOCH"
        local compiler
        compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' \
            "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)
        echo "compiler: $compiler, $("$compiler" --version | head -n 1)"
        dpkg-query -W -f='package: ${Package} ${Version}\n' g++-mingw-w64-i686-win32 \
            gcc-mingw-w64-i686-win32-runtime binutils-mingw-w64-i686 mingw-w64-i686-dev cmake zip
    } >"$dist/$name.buildinfo"
}

check_settings
scripts/setup.sh
source_time
rm -rf "$dist"
build_exe
exe=$build/morvelan.exe
if [ -n "$signing" ]; then
    sign_exe "$exe" "$build/signed.exe"
    exe=$build/signed.exe
else
    echo "Unsigned: set MORVELAN_SIGN_PFX and MORVELAN_SIGN_PASSFILE to sign the exe."
fi
pack "$exe"
build_info
if [ -n "${MORVELAN_RELEASE_URL:-}" ]; then
    url=$(sed 's:/*$::' <<<"$MORVELAN_RELEASE_URL")/$name.zip
    hash=$(cut -d ' ' -f 1 "$dist/$name.zip.sha256")
    winget_manifests "$url" "$hash"
    scoop_manifest "$url" "$hash"
    echo "Manifests for $url in $dist/winget and $dist/scoop."
fi
cat "$dist/$name.zip.sha256"
