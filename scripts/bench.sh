#!/usr/bin/env bash
# The benchmarks, on the i686 build under Wine (x86_64 where 32-bit programs
# cannot run): they print figures and
# assert nothing. Set-up and build as for the tests.
#   scripts/bench.sh [variables...]     the whole road for these plant sizes
#                                       (default: 1000 100000)
# Prints, in this order: the tag table, data-change delivery (offered and
# delivered values/s, reports/s and server CPU for 10k/200 ms with 1 and 4
# clients, 50k/200 ms and 100k/1000 ms), the shared segment (snapshot write
# and read cost at 1k/10k/100k), and the whole road (stand-in platform ->
# Lumaret -> Tessiva -> a subscribed client: latency, CPU, memory).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LUMARET_ROOT=$ROOT
. "$ROOT/scripts/wine-env.sh"
ARCH=i686
if [ "$LUMARET_WINE32" = 0 ]; then
  ARCH=x86_64
  echo "NOTE: this machine cannot run 32-bit programs; measuring the x86_64 build instead"
fi
BUILD="$ROOT/build/$ARCH"
SIZES=("$@")
[ ${#SIZES[@]} -gt 0 ] || SIZES=(1000 100000)

"$ROOT/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }
cmake -S "$ROOT" -B "$BUILD" -U LUMARET_COMPONENTS -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$ARCH.cmake" >/dev/null &&
  cmake --build "$BUILD" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null || { echo "build failed" >&2; exit 1; }

echo "=== in-process and library benchmarks"
"$ROOT/scripts/wine-prefix.sh" create "$BUILD/wineprefix" >/dev/null
for bench in opcda_tag_table_bench opcda_delivery_bench segment_bench; do
  echo "--- $bench"
  "$BUILD/wine-run" "$BUILD/bin/$bench.exe" | grep -v '^wine-run: exit code'
done
"$ROOT/scripts/wine-prefix.sh" stop "$BUILD/wineprefix" >/dev/null

echo "=== the whole road"
session="$BUILD/tests/desktop/gui-session"
prefix="$BUILD/tests/desktop/wineprefix-gui"
platform_dir="$BUILD/bench-platform"
"$ROOT/tests/desktop/gui-session.sh" start "$session" "$prefix" >/dev/null || { echo "no display session" >&2; exit 1; }
mkdir -p "$platform_dir"
for size in "${SIZES[@]}"; do
  rm -f "$platform_dir/plant.json"
  python3 "$ROOT/tools/platform/platform_main.py" --port 0 --ready-file "$platform_dir/plant.json" \
    --plant-size "$size" --log-limit 20 >"$platform_dir/plant-$size.log" 2>&1 &
  platform=$!
  for _ in $(seq 1 300); do [ -f "$platform_dir/plant.json" ] && break; sleep 0.2; done
  LUMARET_PLATFORM_DIR="$platform_dir" LUMARET_DESKTOP_WORK="$BUILD/bench-work" \
    "$BUILD/tests/desktop/gui-run" "$BUILD/bin/gateway_road_bench.exe" "$size" 40 | grep -v '^gui-run: exit code\|^m_hMapping='
  kill "$platform" 2>/dev/null
  wait "$platform" 2>/dev/null
done
"$ROOT/tests/desktop/gui-session.sh" stop "$session" "$prefix" >/dev/null
