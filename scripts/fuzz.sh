#!/usr/bin/env bash
# Builds the native fuzz targets (fuzz/CMakeLists.txt: clang, libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs every target on its
# seed corpus (fuzz/corpus/<name>/) plus mutations:
#   scripts/fuzz.sh [SECONDS]     each target for SECONDS seconds (default 60)
#   scripts/fuzz.sh --runs N      each target for N executions
#   scripts/fuzz.sh --ci [N]      each target for N executions (default 30000)
#                                 on a fresh work corpus: the CI pass
# Every run allows no single allocation above 64 MiB (-malloc_limit_mb) and
# 2 GiB of memory in all (-rss_limit_mb). It prints executions, coverage and
# crashes per target and exits 1 when a target crashed. An input that made a
# target crash (or leak, or allocate too much) is copied into the target's
# corpus folder, so that it stays as a regression input once committed.
# A target's work corpus (what it found beyond the seeds) is kept in
# build/fuzz/work/<name>/ between timed runs.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build/fuzz"
MODE=time
AMOUNT=60
case "${1:-}" in
  --runs) MODE=runs; AMOUNT=${2:?--runs needs a count} ;;
  --ci) MODE=ci; AMOUNT=${2:-30000} ;;
  "") ;;
  *) AMOUNT=$1 ;;
esac
[[ "$AMOUNT" =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS] | --runs N | --ci [N]" >&2; exit 2; }

DEPS_DIR="$ROOT/.deps"
[ -d "$DEPS_DIR/src" ] || { echo "fuzz: $DEPS_DIR/src is missing; run scripts/setup.sh" >&2; exit 1; }

echo "=== fuzz: build"
if ! { cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE= \
         -DLUMARET_DEPS_DIR="$DEPS_DIR" >"$BUILD.configure.log" 2>&1 || { cat "$BUILD.configure.log"; false; }; } ||
   ! nice -n 5 cmake --build "$BUILD" -j"$(nproc 2>/dev/null || echo 2)" >"$BUILD.build.log" 2>&1; then
  [ -f "$BUILD.build.log" ] && tail -n 40 "$BUILD.build.log"
  echo "=== fuzz: build failed"
  echo "=== fuzz: 0 passed, 1 failed"
  exit 1
fi

mapfile -t TARGETS <"$BUILD/fuzz_targets.txt"
passed=0
failed=0
rows=()
for target in "${TARGETS[@]}"; do
  name=${target%_fuzz}
  seeds="$ROOT/fuzz/corpus/$name"
  artifacts="$BUILD/artifacts/$target"
  log="$BUILD/$target.log"
  mkdir -p "$seeds" "$artifacts"
  if [ "$MODE" = ci ]; then
    work=$(mktemp -d)
  else
    work="$BUILD/work/$target"
    mkdir -p "$work"
  fi
  limit=(-max_total_time="$AMOUNT")
  [ "$MODE" = time ] || limit=(-runs="$AMOUNT")
  before=$(ls "$artifacts" | wc -l)
  # New inputs go to the work corpus (the first folder); the seeds are only read.
  "$BUILD/$target" "${limit[@]}" -malloc_limit_mb=64 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "$seeds" >"$log" 2>&1
  rc=$?
  [ "$MODE" = ci ] && rm -rf "$work"

  execs=$(sed -n -E 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  speed=$(sed -n -E 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  rss=$(sed -n -E 's/^stat::peak_rss_mb: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  cov=$(grep -o -E 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
  [ -n "$execs" ] || execs=$(grep -o -E '^Done [0-9]+ runs' "$log" | tail -n 1 | grep -o -E '[0-9]+')
  crashes=$(( $(ls "$artifacts" | wc -l) - before ))
  if [ "$rc" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi
  # Keep what crashed as a regression input of the corpus.
  for found in $(ls -t "$artifacts" | head -n "$(( crashes > 0 ? crashes : 0 ))"); do
    cp "$artifacts/$found" "$seeds/$found"
    echo "fuzz: $target: $found kept as fuzz/corpus/$name/$found (commit it with the fix)"
  done
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    grep -E -m 5 'ERROR|runtime error|SUMMARY|out-of-memory|malloc' "$log"
  fi
  rows+=("$(printf '%-22s %12s %8s %11s %-22s %8s %8s' "$target" "${execs:-?}" "${speed:-?}" "${rss:-?} MB" "${cov:-?}" "$crashes" \
    "$([ "$rc" -eq 0 ] && echo ok || echo FAILED)")")
done

echo "=== fuzz: $([ "$MODE" = time ] && echo "$AMOUNT s" || echo "$AMOUNT runs") per target"
printf '%-22s %12s %8s %11s %-22s %8s %8s\n' target executions exec/s "peak RSS" coverage crashes result
for row in "${rows[@]}"; do echo "$row"; done
echo "=== fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
