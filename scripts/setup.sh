#!/usr/bin/env bash
# One-step machine setup for building and testing the gateway on Debian 12:
# installs the toolchain and Wine through apt (skipped when everything is
# installed), then builds the Windows libraries (scripts/build-deps.sh,
# stamped). A second run with nothing changed takes seconds.
#
# The package index is refreshed with retries; an index that still cannot be
# fetched (a mirror caught mid-sync) is reported and set-up goes on, because
# most packages install without it. Only a failed `apt-get install` ends the
# set-up, with one line that names the packages and the reason.
#
# Environment (used by the set-up test; defaults for real machines):
#   LUMARET_SETUP_FORCE_APT=1     go through apt even when everything is installed
#   LUMARET_SETUP_SKIP_DEPS=1     stop after the apt step
#   LUMARET_APT_SOURCES_DIR       where the deb-src entry goes (/etc/apt/sources.list.d)
#   LUMARET_APT_TRIES             apt-get update attempts (3)
#   LUMARET_APT_RETRY_PAUSE       seconds between attempts (15)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

SOURCES_DIR=${LUMARET_APT_SOURCES_DIR:-/etc/apt/sources.list.d}
APT_TRIES=${LUMARET_APT_TRIES:-3}
APT_PAUSE=${LUMARET_APT_RETRY_PAUSE:-15}
APT_OPTS=(-q -o Acquire::Retries=3)

log() { printf '[setup] %s\n' "$*"; }

PACKAGES=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  libwine-dev wine wine64 wine32:i386 fonts-wine fonts-wqy-microhei
  xvfb xauth x11-utils imagemagick cmake make xz-utils dpkg-dev python3
  libboost1.74-dev nsis openssl clang libclang-rt-14-dev
)

packages_missing() {
  local p st
  [ "${LUMARET_SETUP_FORCE_APT:-0}" = 1 ] && return 0
  dpkg --print-foreign-architectures | grep -qx i386 || return 0
  for p in "${PACKAGES[@]}"; do
    st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$st" = "install ok installed" ] || return 0
  done
  [ -f "$SOURCES_DIR/lumaret-src.sources" ] || return 0
  return 1
}

write_source_entry() {
  # deb-src entries for the same suites as the machine's binary sources
  local uris suites
  uris=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uris" ] || uris=http://deb.debian.org/debian
  suites="bookworm bookworm-updates"
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uris" "$suites" | "${SUDO[@]}" tee "$SOURCES_DIR/lumaret-src.sources" >/dev/null
}

# Indexes that apt could not fetch in the last update, one per line.
FAILED_INDEXES=""

update_index() {
  local try out rc
  for ((try = 1; try <= APT_TRIES; try++)); do
    rc=0
    out=$("${SUDO[@]}" apt-get update "${APT_OPTS[@]}" 2>&1) || rc=$?
    # An index that could not be fetched may be reported as a warning only,
    # with exit code 0: it counts as a failed update all the same.
    FAILED_INDEXES=$(printf '%s\n' "$out" | sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' | sort -u)
    [ "$rc" -eq 0 ] && [ -z "$FAILED_INDEXES" ] && return 0
    printf '%s\n' "$out" | grep -E '^(E|W):' >&2 || true
    if ((try < APT_TRIES)); then
      log "apt-get update failed (attempt $try of $APT_TRIES); trying again in ${APT_PAUSE} s"
      sleep "$APT_PAUSE"
    fi
  done
  log "apt-get update still fails after $APT_TRIES attempts; going on with the indexes apt has"
  [ -z "$FAILED_INDEXES" ] || log "missing indexes: $(echo $FAILED_INDEXES)"
  return 0
}

# One line naming what could not be installed, why, and what to try.
explain_install_failure() {
  local out=$1 pkgs reasons hint
  pkgs=$(printf '%s\n' "$out" | sed -n \
    -e 's/^ *\([^ ]*\) : Depends:.*/\1/p' \
    -e 's/^E: Unable to locate package \(.*\)/\1/p' \
    -e 's/^E: Package .\([^ ]*\). has no installation candidate/\1/p' \
    -e "s/^E: Version '[^']*' for '\([^']*\)' was not found/\1/p" | sort -u | paste -sd ' ' -)
  reasons=$(printf '%s\n' "$out" | sed -n \
    -e 's/^ *[^ ]* : \(Depends: .*\)/\1/p' \
    -e 's/^ *\(Depends: .*\)/\1/p' \
    -e 's/^E: \(Unable to locate package .*\)/\1/p' \
    -e 's/^E: \(Package .* has no installation candidate\)/\1/p' | sort -u | head -n 3 | paste -sd ';' -)
  [ -n "$reasons" ] || reasons=$(printf '%s\n' "$out" | grep '^E:' | head -n 1 | sed 's/^E: //')
  if [ -n "$FAILED_INDEXES" ]; then
    hint="the package index $(echo $FAILED_INDEXES) could not be fetched (mirror mid-sync?), so i386 and amd64 versions may not match; run scripts/setup.sh again later or point /etc/apt/sources.list.d/debian.sources at another mirror"
  else
    hint="run 'apt-get update' and scripts/setup.sh again, or check /etc/apt/sources.list.d"
  fi
  log "FAILED: apt-get install could not install ${pkgs:-the packages}: ${reasons:-see the output above}; $hint"
}

# apt-get install of the whole package list; the transcript goes to $1.
run_install() {
  local transcript=$1 rc
  shift
  set +e
  "${SUDO[@]}" apt-get install -y "${APT_OPTS[@]}" --no-install-recommends "$@" "${PACKAGES[@]}" 2>&1 |
    tee "$transcript" | grep -v -E '^(Get|Selecting|Preparing|Unpacking|Setting up|Processing|\(Reading database)'
  rc=${PIPESTATUS[0]}
  set -e
  return "$rc"
}

# Suites whose index could not be fetched, from the failed URLs (.../dists/<suite>/...).
failed_suites() {
  printf '%s\n' $FAILED_INDEXES | sed -n 's|.*/dists/\([^/]*\)/.*|\1|p' | sort -u
}

install_packages() {
  if ! packages_missing; then
    log "apt packages already installed"
    return 0
  fi
  log "installing apt packages"
  local problem
  if ! problem=$("${SUDO[@]}" dpkg --add-architecture i386 2>&1); then
    log "FAILED: 'dpkg --add-architecture i386' did not work: ${problem:-no message}; run scripts/setup.sh as root or as a user who may use sudo" >&2
    return 1
  fi
  if ! problem=$(write_source_entry 2>&1); then
    log "FAILED: could not write the deb-src entry $SOURCES_DIR/lumaret-src.sources: ${problem:-no message}; run scripts/setup.sh as root or as a user who may use sudo, and check that $SOURCES_DIR exists" >&2
    return 1
  fi
  update_index
  local transcript
  transcript=$(mktemp)
  if run_install "$transcript"; then
    rm -f "$transcript"
    log "apt packages installed"
    return 0
  fi
  # A suite whose index is missing for one architecture offers newer amd64
  # versions whose i386 twins apt cannot see (Multi-Arch: same needs both at
  # one version). Leaving that suite out of this install makes the versions
  # match again; its updates arrive with the next run once the mirror synced.
  local suites pin suite
  suites=$(failed_suites)
  if [ -n "$suites" ]; then
    pin=$(mktemp)
    for suite in $suites; do
      printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\n' "$suite" >>"$pin"
    done
    log "retrying the install without the packages of $(echo $suites) (its index is incomplete)"
    if run_install "$transcript" -o Dir::Etc::Preferences="$pin"; then
      rm -f "$transcript" "$pin"
      log "apt packages installed without the updates of $(echo $suites); run apt-get upgrade when the mirror has synced"
      return 0
    fi
    rm -f "$pin"
  fi
  explain_install_failure "$(cat "$transcript")" >&2
  rm -f "$transcript"
  return 1
}

install_packages || exit 1
[ "${LUMARET_SETUP_SKIP_DEPS:-0}" = 1 ] && exit 0
"$ROOT/scripts/build-deps.sh"
