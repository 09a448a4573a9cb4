#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with clang and runs each for SECONDS (default 60),
# starting from the seeds of byte examples in fuzz/seeds and from what earlier
# runs found (fuzz/corpus, not kept in git). Inputs that once crashed a target
# live in fuzz/regressions/TARGET and are run first, every time.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(connection serial_stacks sdo slcan ini)

command -v clang++ >/dev/null || scripts/install-deps.sh
CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja >/dev/null
cmake --build build-fuzz >/dev/null

status=0
for t in "${targets[@]}"; do
  mkdir -p "fuzz/corpus/$t"
  if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
    build-fuzz/fuzz_$t fuzz/regressions/$t/* >/dev/null 2>&1 || { echo "fuzz_$t: a regression input fails again"; status=1; }
  fi
  log="build-fuzz/fuzz_$t.log"
  if build-fuzz/fuzz_$t -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="build-fuzz/$t-" \
       "fuzz/corpus/$t" "fuzz/seeds/$t" >"$log" 2>&1; then
    echo "fuzz_$t: $(grep -o 'number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*') runs in ${seconds} s, no finding"
  else
    echo "fuzz_$t: FINDING, see $log and build-fuzz/$t-*"
    status=1
  fi
done
exit $status
