#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(
    cmake make g++ libgtest-dev python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    wine64 wine32:i386
    clang libclang-rt-14-dev clang-format clang-tidy cppcheck gcovr openssl
    zip unzip osslsigncode ca-certificates python3-yaml
)
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # The shipped exe is 32-bit: 32-bit Wine runs it.
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
