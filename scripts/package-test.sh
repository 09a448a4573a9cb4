#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package, installs it on this machine with apt-get, and
# runs the installed programs: --version, and the service's own command line
# (as its user) against the installed simulator, read through the client.
# Then removes the package again. Needs root (CI is).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build-package -DCMAKE_BUILD_TYPE=Release -DNALVEXA_BENCH=OFF -DNALVEXA_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/nalvexa_*_amd64.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Depends

work=$(mktemp -d)
cleanup() {
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work" /etc/nalvexa/TR7100.ini
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq nalvexa >/dev/null 2>&1 || true
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
/usr/bin/nalvexa --version
test -f /usr/share/man/man1/nalvexa.1.gz -o -f /usr/share/man/man1/nalvexa.1
test -f /usr/share/applications/nalvexa.desktop
test -f /lib/systemd/system/nalvexa@.service
id nalvexa | grep -q dialout
if command -v systemd-analyze >/dev/null; then
  # The unit as systemd reads it (no systemd runs here to start it).
  out=$(systemd-analyze verify --man=no nalvexa@TR7100.service 2>&1 || true)
  [ -z "$out" ] || { echo "$out"; exit 1; }
fi

/usr/bin/nalvexa-sim tr7100 --set=0x1234=0xABCD >"$work/sim.out" 2>"$work/sim.log" &
until grep -q '^device ' "$work/sim.out" 2>/dev/null; do sleep 0.1; done
device=$(sed -n 's/^device //p' "$work/sim.out")
chmod 666 "$device"  # the service's user opens it
rm -f "/var/lock/LCK..${device#/dev/}" "/var/lock/LCK..$(echo "${device#/dev/}" | tr / _)"  # a fresh pty: any lock is stale
printf '[TR7100]\nSerialPort=%s\n[SocketServer]\nSocketPort=0\nBindAddress=127.0.0.1\n' "$device" >/etc/nalvexa/TR7100.ini
chown nalvexa:nalvexa /etc/nalvexa/TR7100.ini

# The unit's command line with the instance TR7100.
exec_start=$(sed -n 's/^ExecStart=//p' /lib/systemd/system/nalvexa@.service | sed 's/%i/TR7100/g')
runuser -u nalvexa -- $exec_start >"$work/driver.out" 2>"$work/driver.log" &
for _ in $(seq 50); do grep -q '^listening on port ' "$work/driver.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on port //p' "$work/driver.out")
[ -n "$port" ] || { cat "$work/driver.log"; exit 1; }
/usr/bin/nalvexa-client --port "$port" read 5 2 0x1234 1 | tee "$work/client.out"
grep -q '^data cdab$' "$work/client.out"
kill -TERM %2
wait %2 || true
grep -q '^MaxNoOfRetries=0$' /etc/nalvexa/TR7100.ini  # SIGTERM saved the settings
echo "package test passed"
