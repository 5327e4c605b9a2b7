#!/usr/bin/env bash
# The whole gateway, started the way users start it, against the stand-in
# platform: installs the product into a fresh Wine prefix (code page 936,
# CJK fonts) with its own installer, prepares a first session's settings and
# selection with the product's own code, starts Lumaret.exe, and lets the
# command-line OPC client list, browse, subscribe and write while the
# platform changes the values. Saves a screenshot and shuts everything down.
#
#   scripts/demo.sh [--no-setup] [--build-dir DIR] [--seconds N]
#
# Exit code 0, or 1 with the step that failed. Artifacts (screenshot, logs)
# go to <build dir>/demo/.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LUMARET_ROOT=$ROOT
. "$LUMARET_ROOT/scripts/wine-env.sh"
BUILD="$ROOT/build/i686"
SETUP=1
SUBSCRIBE_SECONDS=10
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) SETUP=0 ;;
    --build-dir) BUILD=$(cd "$2" && pwd); shift ;;
    --seconds) SUBSCRIBE_SECONDS=$2; shift ;;
    *) echo "usage: $0 [--no-setup] [--build-dir DIR] [--seconds N]" >&2; exit 2 ;;
  esac
  shift
done

OUT="$BUILD/demo"
STEP="start"
PLATFORM_PID=""
XVFB_PID=""
LUMARET_PID=""

step() { STEP="$*"; printf '\n=== %s\n' "$*"; }

cleanup() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 wineserver -k >/dev/null 2>&1
  [ -n "$LUMARET_PID" ] && kill "$LUMARET_PID" >/dev/null 2>&1
  [ -n "$PLATFORM_PID" ] && kill "$PLATFORM_PID" >/dev/null 2>&1 && wait "$PLATFORM_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" >/dev/null 2>&1
}

fail() {
  echo "DEMO FAILED at step: $STEP${1:+ ($1)}" >&2
  cleanup
  exit 1
}

trap 'fail "interrupted"' INT TERM

[ "$LUMARET_WINE32" = 1 ] || fail "this machine cannot execute 32-bit programs (Wine's 32-bit loader: Exec format error), and the product is 32-bit"

# --- 1. set-up and build ----------------------------------------------------
if [ "$SETUP" = 1 ]; then
  step "set-up (packages and Windows libraries)"
  "$ROOT/scripts/setup.sh" || fail
  step "build (i686)"
  cmake -S "$ROOT" -B "$BUILD" -U LUMARET_COMPONENTS -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686.cmake" >/dev/null || fail
  cmake --build "$BUILD" -j"$(nproc)" --target installer lumaret_demo_setup || fail
fi
for f in LumaretSetup.exe lumaret_demo_setup.exe; do
  [ -f "$BUILD/bin/$f" ] || fail "missing $BUILD/bin/$f"
done
rm -rf "$OUT"
mkdir -p "$OUT"

# --- 2. stand-in platform ---------------------------------------------------
step "stand-in platform"
python3 "$ROOT/tools/platform/platform_main.py" --port 0 --ready-file "$OUT/platform.json" \
  >"$OUT/platform.log" 2>&1 &
PLATFORM_PID=$!
for _ in $(seq 1 100); do [ -s "$OUT/platform.json" ] && break; sleep 0.1; done
[ -s "$OUT/platform.json" ] || fail "platform did not start"
PORT=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['port'])" "$OUT/platform.json")
CONTROL=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['control_base_url'])" "$OUT/platform.json")
echo "platform listening on 127.0.0.1:$PORT"

# --- 3. display and Wine prefix ---------------------------------------------
step "display and Wine prefix"
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { DISPLAY_NUMBER=$n; break; }
  done
  Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x800x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$DISPLAY_NUMBER"
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
  echo "virtual display $DISPLAY"
fi
export WINEPREFIX="$OUT/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Windows programs run with the Chinese ANSI code page (936); the shell
# itself keeps its own locale.
wine() { env LC_ALL=zh_CN.UTF-8 wine "$@"; }
wineboot() { env LC_ALL=zh_CN.UTF-8 wineboot "$@"; }
export -f wine wineboot 2>/dev/null
wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
"$ROOT/scripts/wine-cjk-fonts.sh" || fail "fonts"
timeout 60 wineserver -w

# --- 4. install ---------------------------------------------------------------
step "install with LumaretSetup.exe /S"
wine "$BUILD/bin/LumaretSetup.exe" /S || fail
timeout 60 wineserver -w
INSTALL_UNIX="$WINEPREFIX/drive_c/Program Files (x86)/Lumaret"
INSTALL_WIN='C:\Program Files (x86)\Lumaret'
[ -f "$INSTALL_UNIX/Lumaret.exe" ] || fail "Lumaret.exe not installed"
OPCCLI=(wine "$INSTALL_WIN\\opccli.exe")

# --- 5. first session: settings and selection --------------------------------
step "first session (login, project, selection) with the gateway's code"
wine "$BUILD/bin/lumaret_demo_setup.exe" "$INSTALL_WIN" 127.0.0.1 "$PORT" demo demo123 P1001 \
  "setpoint,running,cycles_u8,level_i8,offset_i16,batches_u16,Flow Rate,energy_kwh,alarm" \
  | tee "$OUT/selection.txt" || fail
mapfile -t ITEMS < <(sed -n 's/^selected \(.*\) [^ ]*$/\1/p' "$OUT/selection.txt" | tr -d '\r')
SETPOINT=""
for item in "${ITEMS[@]}"; do case "$item" in *.setpoint) SETPOINT=$item ;; esac; done
[ -n "$SETPOINT" ] || fail "setpoint not selected"

# --- 6. Lumaret ---------------------------------------------------------------
step "start Lumaret.exe"
wine explorer /desktop=Lumaret,1280x800 "$INSTALL_WIN\\Lumaret.exe" >"$OUT/lumaret.log" 2>&1 &
LUMARET_PID=$!
echo "waiting for the first published values"
published=0
for _ in $(seq 1 60); do
  if "${OPCCLI[@]}" read OPC.SERVER.1.0 "$SETPOINT" 2>/dev/null | grep -q '192(good)'; then
    published=1
    break
  fi
  sleep 2
done
[ "$published" = 1 ] || fail "no good value published within 2 minutes"

# --- 7. OPC client --------------------------------------------------------------
step "OPC client: list"
"${OPCCLI[@]}" list | tee "$OUT/list.txt" || fail
grep -q '^OPC.SERVER.1.0 ' "$OUT/list.txt" || fail "server not listed"
step "OPC client: browse"
"${OPCCLI[@]}" browse OPC.SERVER.1.0 | tee "$OUT/browse.txt" || fail
step "OPC client: subscribe for $SUBSCRIBE_SECONDS s and write the setpoint meanwhile"
"${OPCCLI[@]}" subscribe OPC.SERVER.1.0 "${ITEMS[@]}" --rate 500 --seconds "$SUBSCRIBE_SECONDS" \
  >"$OUT/subscribe.txt" 2>&1 &
SUBSCRIBER=$!
sleep $(( SUBSCRIBE_SECONDS / 3 ))
"${OPCCLI[@]}" write OPC.SERVER.1.0 "$SETPOINT" r8 75.5 || fail "write refused"
wait "$SUBSCRIBER" || fail "subscriber failed"
cat "$OUT/subscribe.txt"
python3 - "$CONTROL/_control/requests?reqCode=writeVariantById" "$OUT/platform_writes.json" <<'PY' \
  || fail "the platform did not receive the write"
import json, sys, urllib.request
text = urllib.request.urlopen(sys.argv[1], timeout=10).read().decode("utf-8")
open(sys.argv[2], "w").write(text)
entries = json.loads(text)["requests"]
values = [str(e.get("fields", {}).get("value", "")) for e in entries]
print("platform received writes:", values)
sys.exit(0 if "75.5" in values else 1)
PY
grep -q "setpoint 75.5 " "$OUT/subscribe.txt" || fail "the written value did not come back to the subscriber"
echo "the write reached the platform and the new value came back to the subscriber"

# --- 8. screenshot ---------------------------------------------------------------
step "screenshot"
sleep 2
import -display "$DISPLAY" -window root "$OUT/lumaret.png" || fail
echo "screenshot: $OUT/lumaret.png"

# --- 9. shut down -------------------------------------------------------------------
step "shut down"
cleanup
echo "demo finished: artifacts in $OUT"
exit 0
