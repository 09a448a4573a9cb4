#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs and builds, then runs the driver headless against the simulated
# TR7100 drive and reads and writes a parameter through nalvexa-client.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

build/nalvexa-sim tr7100 --set=0x1234=0xABCD >"$work/sim.out" 2>"$work/sim.log" &
# wait_for LINE FILE LOG: up to 10 s for LINE at the start of a line of FILE.
wait_for() {
  for _ in $(seq 100); do grep -q "^$1" "$2" 2>/dev/null && return 0; sleep 0.1; done
  echo "demo: no \"$1\" within 10 s:"; cat "$3"; exit 1
}
wait_for 'device ' "$work/sim.out" "$work/sim.log"
device=$(sed -n 's/^device //p' "$work/sim.out")
echo "simulated TR7100 drive on $device"

printf '[TR7100]\nSerialPort=%s\n[SocketServer]\nSocketPort=0\nBindAddress=127.0.0.1\n' "$device" >"$work/Nalvexa.ini"
build/nalvexa --headless --ini "$work/Nalvexa.ini" >"$work/driver.out" 2>"$work/driver.log" &
wait_for 'listening on port ' "$work/driver.out" "$work/driver.log"
port=$(sed -n 's/^listening on port //p' "$work/driver.out")
head -n 1 "$work/driver.out"
echo "nalvexa listening on port $port"

run() { echo "\$ nalvexa-client --port $port $*"; build/nalvexa-client --port "$port" "$@"; }
run read 5 2 0x1234 1
run write 3 0201 0x0010 2
run read 3 2 0x0010 2
run close
echo "--- the serial line, as the drive saw it"
sleep 0.2
cat "$work/sim.log"
