#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures and builds into build/ (or the folder given), after installing what is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir"
