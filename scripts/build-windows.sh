#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the Windows programs with mingw-w64: nalvexa.exe (headless)
# and nalvexa-client.exe, statically linked, and the core's unit tests.
#   scripts/build-windows.sh [BUILD_DIR]    (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-windows}"
scripts/install-deps.sh g++-mingw-w64-x86-64-posix libasio-dev googletest cmake ninja-build
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out"
ls -l "$out"/nalvexa.exe "$out"/nalvexa-client.exe
