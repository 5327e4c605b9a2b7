#!/usr/bin/env bash
# One-step machine setup for building and testing the gateway on Debian 12:
# installs the toolchain and Wine through apt (skipped when everything is
# installed), then builds the Windows libraries (scripts/build-deps.sh,
# stamped). A second run with nothing changed takes seconds.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

log() { printf '[setup] %s\n' "$*"; }

PACKAGES=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  libwine-dev wine wine64 wine32:i386 fonts-wine fonts-wqy-microhei
  xvfb xauth x11-utils imagemagick cmake make xz-utils dpkg-dev python3
  libboost1.74-dev nsis openssl
)

packages_missing() {
  local p st
  dpkg --print-foreign-architectures | grep -qx i386 || return 0
  for p in "${PACKAGES[@]}"; do
    st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$st" = "install ok installed" ] || return 0
  done
  [ -f /etc/apt/sources.list.d/lumaret-src.sources ] || return 0
  return 1
}

install_packages() {
  if ! packages_missing; then
    log "apt packages already installed"
    return
  fi
  log "installing apt packages"
  "${SUDO[@]}" dpkg --add-architecture i386
  # deb-src entries for the same suites as the machine's binary sources
  local uris suites
  uris=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uris" ] || uris=http://deb.debian.org/debian
  suites="bookworm bookworm-updates"
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uris" "$suites" | "${SUDO[@]}" tee /etc/apt/sources.list.d/lumaret-src.sources >/dev/null
  "${SUDO[@]}" apt-get update -q
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
}

install_packages
"$ROOT/scripts/build-deps.sh"
