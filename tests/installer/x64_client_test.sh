#!/usr/bin/env bash
# A 64-bit OPC client against the 32-bit server, installed the way a
# scripted install does it: a fresh Wine prefix (nothing registered by
# anybody else), "LumaretSetup.exe /S", a gateway stand-in that publishes
# variables in the shared segment, then the installed 64-bit opccli lists
# the server by category, browses it (both ways), reads, subscribes and
# writes; the write arrives at a listener on the gateway's port. The
# uninstaller then leaves the 64-bit registry view as it found it.
#   x64_client_test.sh <build dir>
# Prints "x64 client test passed", or the step that failed.
set -uo pipefail

BUILD=$(cd "$1" && pwd)
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
LUMARET_ROOT=$ROOT
. "$LUMARET_ROOT/scripts/wine-env.sh"
WORK="$BUILD/x64-client-test"
STEP="start"
WRITER_PID=""
LISTENER_PID=""

export WINEPREFIX="$WORK/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export LC_ALL=zh_CN.UTF-8

cleanup() {
  [ -n "$WRITER_PID" ] && kill "$WRITER_PID" >/dev/null 2>&1
  [ -n "$LISTENER_PID" ] && kill "$LISTENER_PID" >/dev/null 2>&1
  timeout 30 wineserver -k >/dev/null 2>&1
}
fail() {
  echo "X64 CLIENT TEST FAILED at step: $STEP${1:+ ($1)}" >&2
  cleanup
  exit 1
}
step() { STEP="$*"; echo "=== $*"; }

rm -rf "$WORK"
mkdir -p "$WORK"

step "fresh prefix"
"$ROOT/scripts/wine-prefix.sh" create "$WINEPREFIX" >/dev/null || fail

step "install with LumaretSetup.exe /S"
wine "$BUILD/bin/LumaretSetup.exe" /S || fail
timeout 60 wineserver -w
INSTALL='C:\Program Files (x86)\Lumaret'
OPCCLI=(wine "$INSTALL\\x64\\opccli.exe")
file "$WINEPREFIX/drive_c/Program Files (x86)/Lumaret/x64/opccli.exe" | grep -q x86-64 || fail "no 64-bit client"

step "gateway stand-ins: segment writer, write listener on port 8787"
python3 - "$WORK/frames.bin" <<'PY' &
import socket, sys
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 8787))
server.listen(1)
out = open(sys.argv[1], "wb", buffering=0)
while True:
    connection, _ = server.accept()
    while True:
        data = connection.recv(4096)
        if not data:
            break
        out.write(data)
PY
LISTENER_PID=$!
wine "$BUILD/bin/segment_test_writer.exe" script >/dev/null 2>&1 &
WRITER_PID=$!
ITEM=P.Dev1.Name1

step "list by category"
"${OPCCLI[@]}" list >"$WORK/list.txt" 2>&1 || fail "$(cat "$WORK/list.txt")"
grep -q '^OPC.SERVER.1.0 {6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9} DA 1.0 2.0 3.0 "QNLumaret"' "$WORK/list.txt" \
  || fail "$(cat "$WORK/list.txt")"

step "connect and read (the bridge starts with the first snapshot)"
read_ok=0
for _ in $(seq 1 30); do
  if "${OPCCLI[@]}" read OPC.SERVER.1.0 "$ITEM" >"$WORK/read.txt" 2>&1 && grep -q "^$ITEM 1 VT_I4 192(good) " "$WORK/read.txt"; then
    read_ok=1
    break
  fi
  sleep 2
done
[ "$read_ok" = 1 ] || fail "$(cat "$WORK/read.txt")"
"${OPCCLI[@]}" status OPC.SERVER.1.0 | grep -q "state running" || fail "status"

step "browse (DA 2.0 and DA 3.0)"
"${OPCCLI[@]}" browse OPC.SERVER.1.0 >"$WORK/browse.txt" 2>&1 || fail
grep -q "leaf $ITEM" "$WORK/browse.txt" || fail "$(cat "$WORK/browse.txt")"
"${OPCCLI[@]}" browse3 OPC.SERVER.1.0 P --page 1 --properties >"$WORK/browse3.txt" 2>&1 || fail
grep -q "item $ITEM" "$WORK/browse3.txt" || fail "$(cat "$WORK/browse3.txt")"
"${OPCCLI[@]}" read OPC.SERVER.1.0 "$ITEM" --max-age 1000 | grep -q "^$ITEM 1 VT_I4 192(good) " || fail "max age"

step "subscribe"
"${OPCCLI[@]}" subscribe OPC.SERVER.1.0 "$ITEM" --count 1 --seconds 30 >"$WORK/subscribe.txt" 2>&1 || fail
grep -q "received [1-9]" "$WORK/subscribe.txt" || fail "$(cat "$WORK/subscribe.txt")"

step "write"
"${OPCCLI[@]}" write OPC.SERVER.1.0 "$ITEM" i4 42 >"$WORK/write.txt" 2>&1 || fail "$(cat "$WORK/write.txt")"
arrived=0
for _ in $(seq 1 50); do
  grep -aq "$ITEM" "$WORK/frames.bin" 2>/dev/null && { arrived=1; break; }
  sleep 0.2
done
[ "$arrived" = 1 ] || fail "no write frame at the gateway's port"

step "uninstall"
kill "$WRITER_PID" >/dev/null 2>&1
WRITER_PID=""
wine "$INSTALL\\uninstall.exe" /S || fail
timeout 60 wineserver -w
for key in 'HKCR\CLSID\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}' 'HKCR\OPC.SERVER.1.0' \
           'HKCR\Interface\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}'; do
  # reg.exe of the prefix is the 64-bit one: the 64-bit view.
  if wine reg query "$key" >/dev/null 2>&1; then fail "$key left behind"; fi
done

cleanup
echo "x64 client test passed"
exit 0
