#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 machine: installs what the build
# needs (scripts/setup.sh, stamped), builds the i686 and x86_64 trees and runs
# every test of both under Wine, each tree in its own throw-away prefix.
#   scripts/test.sh [ctest arguments...]
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

"$ROOT/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }

failed=()
for arch in i686 x86_64; do
  build="$ROOT/build/$arch"
  echo "=== $arch: configure and build"
  if ! cmake -S "$ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch.cmake" >/dev/null ||
     ! cmake --build "$build" -j"$JOBS"; then
    failed+=("$arch build")
    continue
  fi
  echo "=== $arch: tests"
  (cd "$build" && ctest -j2 --output-on-failure "$@") || failed+=("$arch tests")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "all tests passed (i686, x86_64)"
