#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows build under wine: the core's unit tests, then nalvexa.exe
# headless with its serial port "COM5:" (wine's dosdevices/com5, linked to a
# simulated drive's pseudo-terminal) for TR7100, QMR, LVT and CAN over slcan:
# reads and writes through nalvexa-client, and the close request, after
# which the settings file must hold all the driver's settings; then TR7100
# with the driver as a Windows service, stopped by the service manager.
#   scripts/wine-test.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
linux="$(realpath "${1:-build}")"
windows="$(realpath "${2:-build-windows}")"
scripts/install-deps.sh wine wine64

work="$(mktemp -d)"
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEARCH=win64
sim_pid=""
driver_pid=""
cleanup() {
  [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# One wine server for the whole run, with no pipe of ours open: a server
# started by a piped command keeps that pipe open after the command ends.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
# A new prefix can be left with two service managers that do not know each
# other's services: start again on the finished prefix.
wineserver -k
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1

echo "== unit tests (unit_tests.exe)"
if ! wine "$windows/tests/unit_tests.exe" --gtest_brief=1 >"$work/unit.log" 2>&1; then
  cat "$work/unit.log"; echo "FAILED: unit tests under wine"; exit 1
fi
tail -2 "$work/unit.log"

client() { "$linux/nalvexa-client" --port "$port" --timeout 10000 "$@"; }
expect() {  # expect WANTED COMMAND...: the client's output must be WANTED
  local wanted="$1" got
  shift
  got="$(client "$@" | tr '\n' ' ')"
  if [ "$got" != "$wanted" ]; then
    echo "FAILED: nalvexa-client $* printed \"$got\", not \"$wanted\""
    echo "--- driver"; cat "$work/driver.log"; echo "--- simulator"; tail -20 "$work/sim.log"
    exit 1
  fi
}

# start_case KEYWORD INI_TEXT SIMULATOR ARGS...: the simulator on COM5 and the driver on it.
start_case() {
  local keyword="$1" ini_text="$2"
  shift 2
  "$linux/nalvexa-sim" "$@" >"$work/sim.out" 2>"$work/sim.log" &
  sim_pid=$!
  for _ in $(seq 50); do grep -q '^device ' "$work/sim.out" && break; sleep 0.1; done
  ln -sfn "$(sed -n 's/^device //p' "$work/sim.out")" "$WINEPREFIX/dosdevices/com5"
  printf '%s[SocketServer]\r\nSocketPort=0\r\n' "$ini_text" >"$work/Nalvexa.ini"
  cp "$work/Nalvexa.ini" "$work/written.ini"
  local ini
  ini="$(winepath -w "$work/Nalvexa.ini")"
  : >"$work/driver.log"
  wine "$windows/nalvexa.exe" --headless --ini "$ini" "$keyword" >"$work/driver.log" 2>&1 &
  driver_pid=$!
  port=""
  for _ in $(seq 300); do
    port="$(sed -n 's/^listening on port //p' "$work/driver.log" | tr -d '\r')"
    [ -n "$port" ] && break
    sleep 0.1
  done
  if [ -z "$port" ]; then echo "FAILED: $keyword: the driver did not listen"; cat "$work/driver.log"; exit 1; fi
  echo "== $keyword on COM5:, port $port"
}

# end_case: the close request ends the driver, which saves its settings.
end_case() {
  expect "closed 00 " close
  for _ in $(seq 100); do kill -0 "$driver_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$driver_pid" 2>/dev/null; then echo "FAILED: the driver did not end"; exit 1; fi
  driver_pid=""
  # The saved file holds every setting, also those the test did not write.
  if cmp -s "$work/Nalvexa.ini" "$work/written.ini"; then
    echo "FAILED: the settings were not saved"; exit 1
  fi
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}

start_case TR7100 $'[TR7100]\r\nSerialPort=COM5:\r\n' tr7100 --set=0x1234=0xABCD
expect "status 0 data cdab " read 5 2 0x1234 1
expect "status 0 " write 5 3412 0x1234 1
expect "status 0 data 3412 " read 5 2 0x1234 1
end_case

start_case QMR $'[TR7100]\r\nSerialPort=COM5:\r\nBaudRate=19200\r\n' qmr --set=3/1=1122
expect "status 0 data 1122 " read 3 2 1 1 0
expect "status 0 " write 3 1234 1 0x0010 0
expect "status 0 data 1234 " read 3 2 1 0x0010 0
end_case

start_case LVT $'[TR7100]\r\nSerialPort=COM5:\r\nBaudRate=9600\r\n' lvt --object=0x20/2/4
expect "status 0 " write 0 0a0b0c0d 0x20 0 2
expect "status 0 data 0a0b0c0d " read 0 4 0x20 0 2
end_case

start_case CAN $'[CAN]\r\nChannel=slcan:COM5:\r\n' canopen
expect "status 0 data 11223344556677 " read 0 7 0x2000 1 3
expect "status 0 " write 0 0102 0x2000 1 1
expect "status 0 data 0102 " read 0 2 0x2000 1 1
end_case

# The same driver as a Windows service: started and stopped by the service
# manager, whose stop saves the settings as the close request does.
"$linux/nalvexa-sim" tr7100 --set=0x1234=0xABCD >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 50); do grep -q '^device ' "$work/sim.out" && break; sleep 0.1; done
ln -sfn "$(sed -n 's/^device //p' "$work/sim.out")" "$WINEPREFIX/dosdevices/com5"
# A port nothing listens on (a service has no console to tell its port).
port=""
for _ in $(seq 50); do
  candidate=$((40000 + RANDOM % 20000))
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port="$candidate"; break; fi
done
[ -n "$port" ] || { echo "FAILED: no free port found"; exit 1; }
printf '[TR7100]\r\nSerialPort=COM5:\r\n[SocketServer]\r\nSocketPort=%s\r\n' "$port" >"$work/Nalvexa.ini"
cp "$work/Nalvexa.ini" "$work/written.ini"
exe="$(winepath -w "$windows/nalvexa.exe")"
ini="$(winepath -w "$work/Nalvexa.ini")"
wine sc create nalvexa binPath= "$exe --headless --ini $ini" </dev/null >"$work/sc.log" 2>&1 \
  || { cat "$work/sc.log"; echo "FAILED: sc create"; exit 1; }
# Wine's service manager refuses starts ("database locked") while it is
# still starting its own services.
started=0
for _ in $(seq 10); do
  if wine sc start nalvexa </dev/null >>"$work/sc.log" 2>&1; then started=1; break; fi
  sleep 1
done
[ "$started" -eq 1 ] || { cat "$work/sc.log"; echo "FAILED: sc start"; exit 1; }
echo "== TR7100 as a service, port $port"
for _ in $(seq 100); do client read 5 2 0x1234 1 >/dev/null 2>&1 && break; sleep 0.2; done
expect "status 0 data cdab " read 5 2 0x1234 1
wine sc stop nalvexa </dev/null >>"$work/sc.log" 2>&1 || { cat "$work/sc.log"; echo "FAILED: sc stop"; exit 1; }
stopped=0
for _ in $(seq 100); do
  if wine sc query nalvexa </dev/null 2>/dev/null | grep -q "STATE.*STOPPED"; then stopped=1; break; fi
  sleep 0.2
done
[ "$stopped" -eq 1 ] || { echo "FAILED: the service did not stop"; exit 1; }
if cmp -s "$work/Nalvexa.ini" "$work/written.ini"; then echo "FAILED: the stopped service did not save its settings"; exit 1; fi

# A client's close request ends the service on its own: a failure to the
# manager (service-specific error 1), so that its failure actions restart it.
wine sc start nalvexa </dev/null >>"$work/sc.log" 2>&1 || { cat "$work/sc.log"; echo "FAILED: sc start again"; exit 1; }
for _ in $(seq 100); do client read 5 2 0x1234 1 >/dev/null 2>&1 && break; sleep 0.2; done
expect "closed 00 " close
ended=0
for _ in $(seq 100); do
  if wine sc query nalvexa </dev/null 2>/dev/null | grep -q "SERVICE_EXIT_CODE *: 1 "; then ended=1; break; fi
  sleep 0.2
done
[ "$ended" -eq 1 ] || { wine sc query nalvexa </dev/null 2>/dev/null; echo "FAILED: the close request was no failure to the manager"; exit 1; }

echo "wine test passed"
