#!/usr/bin/env bash
# Runs scripts/setup.sh with apt-get, dpkg, dpkg-query and sudo replaced by
# stubs on PATH (nothing on the machine is touched) through three scenarios:
#   1. the package index fails once, then works: retried, packages installed;
#   2. the i386 index of the security suite never arrives and the first
#      install fails on i386/amd64 versions: the install is retried without
#      that suite and succeeds;
#   3. the install fails for good: exit 1 and one line that names the
#      packages, the reason and the missing index;
#   4. the index fails as a warning only, with exit code 0: still retried
#      and named, and the install works without that suite;
#   5. adding the i386 architecture, or writing the deb-src entry, fails:
#      exit 1 and one clear line.
#   setup_script_test.sh <setup.sh> <work dir>
set -u
SETUP=$1
WORK=$2
rm -rf "$WORK"
mkdir -p "$WORK/bin" "$WORK/sources"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The stubs log every call to $WORK/calls and behave as the scenario file says.
cat >"$WORK/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_DIR/calls"
case " $* " in
  *" update "*)
    n=$(cat "$STUB_DIR/update-count" 2>/dev/null || echo 0); n=$((n + 1)); echo $n >"$STUB_DIR/update-count"
    if [ "$n" -le "$(cat "$STUB_DIR/update-failures")" ]; then
      level=$(cat "$STUB_DIR/update-level" 2>/dev/null || echo E)
      echo "$level: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
      echo "$level: Some index files failed to download. They have been ignored, or old ones used instead."
      [ "$level" = W ] && exit 0
      exit 100
    fi
    echo "Reading package lists..."; exit 0 ;;
  *" install "*)
    pinned=0
    for arg in "$@"; do case "$arg" in Dir::Etc::Preferences=*) pinned=1; cp "${arg#Dir::Etc::Preferences=}" "$STUB_DIR/pin" ;; esac; done
    mode=$(cat "$STUB_DIR/install-mode")
    if [ "$mode" = ok ] || { [ "$mode" = pin-ok ] && [ $pinned = 1 ]; }; then
      echo "Setting up wine32:i386 (8.0~repack-4) ..."; exit 0
    fi
    echo "Some packages could not be installed."
    echo "The following packages have unmet dependencies:"
    echo " libcurl4:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed"
    echo " libfreetype6:i386 : Depends: libpng16-16:i386 (>= 1.6.2-1) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac
exit 0
STUB
cat >"$WORK/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB_DIR/calls"
[ "${1:-}" = --print-foreign-architectures ] && echo i386
if [ "${1:-}" = --add-architecture ] && [ -f "$STUB_DIR/dpkg-fails" ]; then
  echo "dpkg: error: cannot open /var/lib/dpkg/arch-new: Permission denied" >&2
  exit 2
fi
exit 0
STUB
printf '#!/usr/bin/env bash\necho "dpkg-query $*" >>"$STUB_DIR/calls"\nexit 1\n' >"$WORK/bin/dpkg-query"
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$WORK/bin/sudo"
chmod +x "$WORK/bin/"*

# run_setup <name> <update failures> <install mode> -> output in $WORK/<name>.out, rc echoed
# (SOURCES: the deb-src folder, UPDATE_LEVEL: E or W for a failed fetch)
run_setup() {
  local name=$1
  rm -f "$WORK/calls" "$WORK/update-count" "$WORK/pin"
  echo "$2" >"$WORK/update-failures"
  echo "$3" >"$WORK/install-mode"
  echo "${UPDATE_LEVEL:-E}" >"$WORK/update-level"
  STUB_DIR="$WORK" PATH="$WORK/bin:$PATH" LUMARET_SETUP_FORCE_APT=1 LUMARET_SETUP_SKIP_DEPS=1 \
    LUMARET_APT_SOURCES_DIR="${SOURCES:-$WORK/sources}" LUMARET_APT_RETRY_PAUSE=0 LUMARET_APT_TRIES=3 \
    bash "$SETUP" >"$WORK/$name.out" 2>&1
  echo $?
}

# 1. One failed index fetch, then a good one.
rc=$(run_setup retry 1 ok)
[ "$rc" = 0 ] || fail "retry: exit code $rc"
[ "$(cat "$WORK/update-count")" = 2 ] || fail "retry: apt-get update ran $(cat "$WORK/update-count") times, expected 2"
grep -q 'Acquire::Retries=' "$WORK/calls" || fail "retry: apt-get without Acquire::Retries"
grep -q 'install' "$WORK/calls" || fail "retry: no install"
[ -f "$WORK/sources/lumaret-src.sources" ] || fail "retry: no deb-src entry written"

# 2. The i386 security index never arrives; the install works without that suite.
rc=$(run_setup pinned 99 pin-ok)
[ "$rc" = 0 ] || fail "pinned: exit code $rc"
[ "$(cat "$WORK/update-count")" = 3 ] || fail "pinned: apt-get update ran $(cat "$WORK/update-count") times, expected 3"
grep -q 'missing indexes: .*bookworm-security/main/binary-i386' "$WORK/pinned.out" || fail "pinned: missing index not named"
grep -q 'Pin: release n=bookworm-security' "$WORK/pin" 2>/dev/null || fail "pinned: retry not pinned away from bookworm-security"
[ "$(grep -c ' install ' "$WORK/calls")" = 2 ] || fail "pinned: expected two install attempts"

# 3. The install fails for good: one clear line.
rc=$(run_setup broken 99 fail)
[ "$rc" = 1 ] || fail "broken: exit code $rc, expected 1"
line=$(grep 'FAILED: apt-get install could not install' "$WORK/broken.out")
[ "$(printf '%s\n' "$line" | grep -c .)" = 1 ] || fail "broken: expected exactly one FAILED line"
case "$line" in *libcurl4:i386*zlib1g:i386*bookworm-security*) ;; *) fail "broken: FAILED line lacks package, reason or index: $line" ;; esac

# 4. The index fails as a warning only (exit code 0).
rc=$(UPDATE_LEVEL=W run_setup warned 99 pin-ok)
[ "$rc" = 0 ] || fail "warned: exit code $rc"
[ "$(cat "$WORK/update-count")" = 3 ] || fail "warned: apt-get update ran $(cat "$WORK/update-count") times, expected 3"
grep -q 'missing indexes: .*bookworm-security/main/binary-i386' "$WORK/warned.out" || fail "warned: missing index not named"
grep -q 'Pin: release n=bookworm-security' "$WORK/pin" 2>/dev/null || fail "warned: retry not pinned away from bookworm-security"

# 5. The i386 architecture cannot be added; the deb-src entry cannot be written.
touch "$WORK/dpkg-fails"
rc=$(run_setup no-arch 0 ok)
rm -f "$WORK/dpkg-fails"
[ "$rc" = 1 ] || fail "no-arch: exit code $rc, expected 1"
[ "$(grep -c "FAILED: 'dpkg --add-architecture i386' did not work: .*Permission denied" "$WORK/no-arch.out")" = 1 ] ||
  fail "no-arch: expected one FAILED line with dpkg's reason"
grep -q ' update' "$WORK/calls" && fail "no-arch: went on after the failure"
rc=$(SOURCES="$WORK/no-such-dir" run_setup no-source 0 ok)
[ "$rc" = 1 ] || fail "no-source: exit code $rc, expected 1"
[ "$(grep -c "FAILED: could not write the deb-src entry $WORK/no-such-dir/lumaret-src.sources: " "$WORK/no-source.out")" = 1 ] ||
  fail "no-source: expected one FAILED line naming the entry"

for f in retry pinned broken warned no-arch no-source; do echo "--- $f"; cat "$WORK/$f.out"; done
if [ "$failures" -ne 0 ]; then
  echo "setup script: $failures check(s) failed"
  exit 1
fi
echo "setup script: all scenarios passed"
