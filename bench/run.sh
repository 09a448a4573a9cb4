#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the benchmarks (a release build in build-bench/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release
build-bench/bench/roundtrip_bench "${1:-3000}"
