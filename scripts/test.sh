#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build
ctest --test-dir build --output-on-failure
