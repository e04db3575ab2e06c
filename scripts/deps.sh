#!/usr/bin/env bash
# Installs the Debian 12 packages the builds and tests need, when they are missing. 32-bit Wine
# (wine32:i386, which runs the i686 product) needs the i386 architecture; when it cannot be
# installed the script says so and goes on, and scripts/test.sh falls back to the x86_64 build.
set -euo pipefail
packages=(cmake ninja-build g++ make python3 googletest libgtest-dev libgmock-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine64 wine srecord
          clang libclang-rt-14-dev llvm-14 lld-14 xvfb imagemagick zip unzip libcli11-dev
          nlohmann-json3-dev)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
installed wine32:i386 && [ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture (for wine32:i386)"
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if ! installed wine32:i386; then
  echo "Installing: wine32:i386"
  $sudo apt-get install -y -qq wine32:i386 >/dev/null ||
    echo "deps.sh: wine32:i386 could not be installed; the i686 product cannot run under Wine here" >&2
fi
