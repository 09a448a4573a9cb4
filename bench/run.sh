#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the benchmarks (a release build in build-bench/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release
# ser2net, for the comparison only: installed without starting Debian's ser2net
# service (a policy that forbids starting services while apt runs).
if [ ! -x /usr/sbin/ser2net ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  policy=/usr/sbin/policy-rc.d
  had_policy=0
  [ -e "$policy" ] && had_policy=1
  [ "$had_policy" -eq 1 ] || { printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null; $sudo chmod 755 "$policy"; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends ser2net >/dev/null
  [ "$had_policy" -eq 1 ] || $sudo rm -f "$policy"
  # Not started at boot either: only the benchmark runs it, on its own port.
  $sudo systemctl disable ser2net >/dev/null 2>&1 || true
fi
build-bench/bench/roundtrip_bench "${1:-3000}"
