#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds both Debian packages and checks them as Debian does (lintian: no
# error, warning or tag without a reasoned override), rates the service unit
# (systemd-analyze security, at most 2.5), then installs them in a throw-away
# root (a mount namespace whose /etc, /usr and /var are overlays) and runs the
# unit's command line there as the unit would: as its user, with /etc read
# only, against the installed simulator, read through the client. Then
# removes (settings kept) and purges (nothing of the package left). The
# machine's own /etc, packages and services are never touched. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build-deb}")"
scripts/package.sh "$out" >/dev/null
version=$(sed -n 's/^project(nalvexa VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
debs=("$out/nalvexa_${version}_${arch}.deb" "$out/nalvexa-gui_${version}_${arch}.deb"
      "$out/nalvexa-dbgsym_${version}_${arch}.deb" "$out/nalvexa-gui-dbgsym_${version}_${arch}.deb")

command -v lintian >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends lintian >/dev/null
findings=$(lintian --pedantic --display-info "${debs[@]}" 2>&1 | grep -E '^[EWIPX]: ' || true)
if [ -n "$findings" ]; then echo "$findings"; echo "lintian has findings"; exit 1; fi
echo "lintian: no error, no warning, no tag"

rating=$(systemd-analyze security --offline=yes packaging/nalvexa@.service 2>&1 | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
echo "systemd-analyze security: $rating"
awk -v r="$rating" 'BEGIN { exit !(r != "" && r <= 2.5) }' || { echo "the unit rates above 2.5"; exit 1; }

depends=$(dpkg-deb -f "${debs[0]}" Depends)
echo "nalvexa depends on: $depends"
if grep -qiE 'qt6gui|qt6widgets|libx11|libgl|libegl|xcb' <<<"$depends"; then echo "nalvexa needs a window system"; exit 1; fi

# The throw-away root.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export ROOT="$root" VERSION="$version" ARCH="$arch" OUT="$out"
unshare --mount --propagation private bash -euo pipefail <<'INSIDE'
for d in etc usr var; do
  mkdir -p "$ROOT/$d/upper" "$ROOT/$d/work"
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$ROOT/$d/upper,workdir=$ROOT/$d/work" "/$d"
done
mount -t tmpfs tmpfs /run
mkdir -p /run/lock
work=$(mktemp -d)

# Installed: both packages, the user in dialout, the settings folder.
dpkg -i "$OUT/nalvexa_${VERSION}_${ARCH}.deb" "$OUT/nalvexa-gui_${VERSION}_${ARCH}.deb" >/dev/null
id nalvexa | grep -q dialout
test -f /etc/nalvexa/example.ini
test "$(stat -c '%U:%G %a' /etc/nalvexa)" = "root:nalvexa 750"
for page in man8/nalvexa.8 man5/nalvexa.ini.5 man1/nalvexa-client.1 man1/nalvexa-can.1 man1/nalvexa-sim.1 man1/nalvexa-gui.1; do
  test -f "/usr/share/man/$page.gz"
done
if ldd /usr/bin/nalvexa /usr/bin/nalvexa-client | grep -E "libX11|libGL\.|libEGL|libxcb|Qt6"; then exit 1; fi
/usr/bin/nalvexa --version

# The unit as systemd reads it, for an instance named after its drive.
verify=$(systemd-analyze verify --man=no nalvexa@axis1.service 2>&1 || true)
if [ -n "$verify" ]; then echo "$verify"; exit 1; fi

# The unit's command line, as the unit runs it, on a drive of its own.
/usr/bin/nalvexa-sim tr7100 --set=0x1234=0xABCD >"$work/sim.out" 2>"$work/sim.log" &
for _ in $(seq 50); do grep -q '^device ' "$work/sim.out" && break; sleep 0.1; done
device=$(sed -n 's/^device //p' "$work/sim.out")
chgrp dialout "$device"; chmod 660 "$device"
sed -e "s|^SerialPort=.*|SerialPort=$device|" -e 's|^SocketPort=.*|SocketPort=0|' /etc/nalvexa/example.ini >/etc/nalvexa/axis1.ini
chmod 0640 /etc/nalvexa/axis1.ini; chgrp nalvexa /etc/nalvexa/axis1.ini
cp /etc/nalvexa/axis1.ini "$work/written"
mount --bind -o ro /etc /etc   # as ProtectSystem=strict leaves it
exec_start=$(sed -n 's/^ExecStart=//p' /lib/systemd/system/nalvexa@.service | sed 's/%i/axis1/g')
setpriv --reuid=nalvexa --regid=nalvexa --init-groups -- $exec_start >"$work/driver.out" 2>"$work/driver.log" &
driver=$!
for _ in $(seq 50); do grep -q '^listening on port ' "$work/driver.out" && break; sleep 0.1; done
port=$(sed -n 's/^listening on port //p' "$work/driver.out")
[ -n "$port" ] || { cat "$work/driver.log"; exit 1; }
/usr/bin/nalvexa-client --port "$port" read 5 2 0x1234 1 | tee "$work/client.out"
grep -q '^data cdab$' "$work/client.out"
kill -TERM "$driver"
wait "$driver"
if grep -q 'cannot' "$work/driver.log"; then cat "$work/driver.log"; exit 1; fi
cmp /etc/nalvexa/axis1.ini "$work/written"   # nothing changed, nothing written
umount /etc
kill %1 2>/dev/null || true

# Removed: the administrator's settings and the package's stay.
mkdir -p /etc/systemd/system/multi-user.target.wants
ln -s /lib/systemd/system/nalvexa@.service /etc/systemd/system/multi-user.target.wants/nalvexa@axis1.service
dpkg -r nalvexa-gui nalvexa >/dev/null
test ! -e /usr/bin/nalvexa
test -f /etc/nalvexa/axis1.ini
test -f /etc/nalvexa/example.ini
echo "removed: settings kept"

# Purged with the administrator's settings still there: they stay, owned
# by root, for no group that a later one could take the number of.
dpkg -P nalvexa >/dev/null
test "$(ls /etc/nalvexa)" = axis1.ini
test "$(stat -c '%U:%G %a' /etc/nalvexa /etc/nalvexa/axis1.ini)" = "root:root 750
root:root 640"
test -z "$(find /etc/nalvexa -nouser -o -nogroup)"
echo "purged: the administrator's settings kept, owned by root"

# Purged: nothing of the package left.
dpkg -i "$OUT/nalvexa_${VERSION}_${ARCH}.deb" >/dev/null
rm /etc/nalvexa/axis1.ini
dpkg -P nalvexa >/dev/null
test ! -e /etc/nalvexa
test ! -e /etc/systemd/system/multi-user.target.wants/nalvexa@axis1.service
! getent passwd nalvexa >/dev/null
! dpkg -l nalvexa 2>/dev/null | grep -q '^[ir]'
echo "purged: nothing left"
INSIDE
echo "package test passed"
