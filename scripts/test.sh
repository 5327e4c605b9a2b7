#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 machine: installs what the build
# needs (scripts/setup.sh, stamped), builds the i686 and x86_64 trees and runs
# every test of both under Wine, each tree in its own throw-away prefix; then
# the short fuzz pass (scripts/fuzz.sh --ci: every native fuzz target for a
# fixed number of executions on its seeds, regression inputs included).
#   scripts/test.sh [ctest arguments...]
# The tests mostly wait (COM activations, timers, a GUI), so the second tree
# is built, at a lower priority, while the first one's tests run; the two test
# runs themselves never overlap (they share machine-wide names and port 8787).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)
START=$(date +%s)

elapsed() { echo "$(( $(date +%s) - START )) s"; }

"$ROOT/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }
echo "=== set-up done after $(elapsed)"
LUMARET_ROOT=$ROOT
. "$ROOT/scripts/wine-env.sh"
if [ "$LUMARET_WINE32" = 0 ]; then
  # Not a failure of ours, and nothing here can change it: say so loudly, build
  # i686 all the same, and test what this machine can run.
  echo "=== NOTE: this machine cannot execute 32-bit Linux programs (Wine's 32-bit loader fails with"
  echo "===       'Exec format error'), so no 32-bit Windows program can run here: the i686 tree is"
  echo "===       built but its tests are not run; the x86_64 tests run through Wine's 64-bit loader."
  echo "===       Run the full suite on a machine that executes 32-bit programs before a release."
fi

failed=()

configure() {
  # The whole product, whatever component list a hand-made build left in the cache.
  cmake -S "$ROOT" -B "$ROOT/build/$1" -U LUMARET_COMPONENTS -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$1.cmake" >/dev/null
}

run_tests() {
  local arch=$1
  shift
  echo "=== $arch: tests"
  rm -f "$ROOT/build/$arch-tests.log"
  (cd "$ROOT/build/$arch" && ctest -j2 --output-on-failure "$@") >"$ROOT/build/$arch-tests.log" 2>&1
  local rc=$?
  cat "$ROOT/build/$arch-tests.log"
  echo "=== $arch: tests done after $(elapsed)"
  return $rc
}

# The first tree is built at full speed and tested while the second builds at
# a lower priority. Normally i686 (the shipping target) comes first; on a
# machine without 32-bit support x86_64 does, and the i686 tree is only built.
if [ "$LUMARET_WINE32" = 1 ]; then
  first=i686 second=x86_64 second_runnable=1
else
  first=x86_64 second=i686 second_runnable=0
  rm -f "$ROOT/build/i686-tests.log"
fi

echo "=== $first: configure and build"
first_tests=""
if configure "$first" && cmake --build "$ROOT/build/$first" -j"$JOBS"; then
  run_tests "$first" "$@" &
  first_tests=$!
else
  failed+=("$first build")
fi
echo "=== $first: built after $(elapsed)"

echo "=== $second: configure and build"
second_built=1
configure "$second" && nice -n 10 cmake --build "$ROOT/build/$second" -j"$JOBS" >"$ROOT/build/$second-build.log" 2>&1 || second_built=0
if [ "$second_built" = 0 ]; then
  cat "$ROOT/build/$second-build.log"
  failed+=("$second build")
fi
echo "=== $second: built after $(elapsed)"

if [ -n "$first_tests" ]; then
  wait "$first_tests" || failed+=("$first tests")
fi
if [ "$second_built" = 1 ] && [ "$second_runnable" = 1 ]; then
  run_tests "$second" "$@" || failed+=("$second tests")
fi

echo "=== fuzz: short pass"
"$ROOT/scripts/fuzz.sh" --ci >"$ROOT/build/fuzz-tests.log" 2>&1 || failed+=("fuzz pass")
cat "$ROOT/build/fuzz-tests.log"
echo "=== fuzz: done after $(elapsed)"

# One summary line per architecture, the fuzz pass and overall from the
# logs, then every failed test by name.
total_passed=0
total_failed=0
failed_names=()
# One part's summary line and its counts in the totals; the names of its
# failed tests come on the standard input.
tally() {
  local label=$1 n_passed=$2 n_failed=$3 name
  echo "=== $label: $n_passed passed, $n_failed failed"
  total_passed=$((total_passed + n_passed))
  total_failed=$((total_failed + n_failed))
  while IFS= read -r name; do
    [ -n "$name" ] && failed_names+=("$label: $name")
  done
}
for arch in i686 x86_64; do
  log_file="$ROOT/build/$arch-tests.log"
  [ -f "$log_file" ] || continue
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log_file" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "=== $arch: no test summary (the run did not finish)"
    continue
  fi
  n_failed=$(printf '%s\n' "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  n_total=$(printf '%s\n' "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  tally "$arch" $((n_total - n_failed)) "$n_failed" < <(sed -n '/The following tests FAILED:/,$p' "$log_file" | sed -n -E 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/p')
done
fuzz_summary=$(grep -E '^=== fuzz: [0-9]+ passed, [0-9]+ failed' "$ROOT/build/fuzz-tests.log" | tail -n 1)
if [ -z "$fuzz_summary" ]; then
  echo "=== fuzz: no summary (the pass did not finish)"
else
  tally fuzz "$(printf '%s\n' "$fuzz_summary" | sed -E 's/.* ([0-9]+) passed.*/\1/')" \
    "$(printf '%s\n' "$fuzz_summary" | sed -E 's/.* ([0-9]+) failed.*/\1/')" < <(sed -n -E 's/^([a-z_]+_fuzz) .* FAILED$/\1/p' "$ROOT/build/fuzz-tests.log")
fi
echo "=== overall: $total_passed passed, $total_failed failed"

echo "=== finished after $(elapsed)"
if [ ${#failed[@]} -gt 0 ] || [ ${#failed_names[@]} -gt 0 ]; then
  for name in "${failed_names[@]}"; do echo "FAILED TEST: $name" >&2; done
  [ ${#failed[@]} -eq 0 ] || echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
if [ "$LUMARET_WINE32" = 1 ]; then
  echo "all tests passed (i686, x86_64, fuzz)"
else
  echo "all tests passed (x86_64, fuzz; i686 built, its tests not runnable on this machine)"
fi
