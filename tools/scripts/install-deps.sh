#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ make
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    libexpat1-dev libpugixml-dev libmspack-dev libfreetype-dev fonts-liberation2 libpng-dev zlib1g-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev gcab
    clang libclang-rt-14-dev
    wine wine64 wine32:i386
    chromium
    nsis
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
