#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the Windows programs with mingw-w64: nalvexa.exe (headless)
# and nalvexa-client.exe, statically linked, and the core's unit tests.
#   scripts/build-windows.sh [BUILD_DIR]    (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-windows}"
packages=(g++-mingw-w64-x86-64-posix libasio-dev googletest cmake ninja-build)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out"
ls -l "$out"/nalvexa.exe "$out"/nalvexa-client.exe
