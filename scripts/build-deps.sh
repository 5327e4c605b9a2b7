#!/usr/bin/env bash
# Builds the static Windows libraries the programs link (Boost.Serialization,
# jsoncpp, libcurl with Schannel, GoogleTest/GoogleMock) for i686 and x86_64
# from Debian's source packages into .deps/ (ignored by git). Stamped with
# this script's hash and the source versions: a rerun with the same stamp
# does nothing. Needs the packages that scripts/setup.sh installs.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DEPS="$ROOT/.deps"
SRC="$DEPS/src"
ARCHES=(i686 x86_64)
JOBS=$(nproc 2>/dev/null || echo 2)
SOURCE_PACKAGES=(boost1.74 libjsoncpp curl googletest)

log() { printf '[setup] %s\n' "$*"; }

# Waits for every background job and fails when any of them failed.
wait_all() {
  local pid rc=0
  for pid in $(jobs -p); do wait "$pid" || rc=1; done
  return $rc
}

# --- dependency sources ---------------------------------------------------

fetch_sources() {
  mkdir -p "$SRC"
  local pkg
  for pkg in "${SOURCE_PACKAGES[@]}"; do
    if ! ls "$SRC"/"${pkg}"_*.dsc >/dev/null 2>&1; then
      log "downloading source package $pkg"
      (cd "$SRC" && apt-get source -q --download-only "$pkg" >/dev/null)
    fi
  done
}

dsc_of() { ls "$SRC"/"$1"_*.dsc | sort -V | tail -n 1; }

source_versions() {
  local pkg
  for pkg in "${SOURCE_PACKAGES[@]}"; do basename "$(dsc_of "$pkg")"; done
}

# Unpacks a whole source package (Debian patches applied) into $SRC/<pkg>.
unpack_full() {
  local pkg=$1 dsc
  dsc=$(dsc_of "$pkg")
  rm -rf "${SRC:?}/$pkg"
  dpkg-source -q -x "$dsc" "$SRC/$pkg" >/dev/null 2>&1
}

# Boost is large: take only the serialization sources from the orig tarball.
unpack_boost() {
  local tarball
  tarball=$(ls "$SRC"/boost1.74_*.orig.tar.* | sort | sed -n 1p)
  rm -rf "$SRC/boost"
  mkdir -p "$SRC/boost"
  tar -xf "$tarball" -C "$SRC/boost" --strip-components=1 --wildcards '*/libs/serialization/src/*' 
}

# --- per-architecture builds ---------------------------------------------

triplet_of() { echo "$1-w64-mingw32"; }

build_boost_serialization() {
  local arch=$1 tri out obj f
  tri=$(triplet_of "$arch")
  out="$DEPS/$arch"
  obj="$DEPS/build/$arch/boost"
  rm -rf "$obj"; mkdir -p "$obj" "$out/lib"
  local files=(archive_exception basic_archive basic_iarchive basic_iserializer
    basic_oarchive basic_oserializer basic_pointer_iserializer
    basic_pointer_oserializer basic_serializer_map binary_iarchive
    binary_oarchive extended_type_info extended_type_info_typeid void_cast)
  for f in "${files[@]}"; do
    "$tri-g++-posix" -O2 -w -std=c++17 -DNDEBUG -DBOOST_ALL_NO_LIB \
      -isystem "$DEPS/boost-include" -c "$SRC/boost/libs/serialization/src/$f.cpp" \
      -o "$obj/$f.o" &
  done
  wait_all
  rm -f "$out/lib/libboost_serialization.a"
  "$tri-ar" rcs "$out/lib/libboost_serialization.a" "$obj"/*.o
}

build_jsoncpp() {
  local arch=$1 tri out obj f
  tri=$(triplet_of "$arch")
  out="$DEPS/$arch"
  obj="$DEPS/build/$arch/jsoncpp"
  rm -rf "$obj"; mkdir -p "$obj" "$out/lib" "$out/include"
  for f in json_reader json_value json_writer; do
    "$tri-g++-posix" -O2 -w -std=c++17 -I "$SRC/libjsoncpp/include" \
      -c "$SRC/libjsoncpp/src/lib_json/$f.cpp" -o "$obj/$f.o" &
  done
  wait_all
  rm -f "$out/lib/libjsoncpp.a"
  "$tri-ar" rcs "$out/lib/libjsoncpp.a" "$obj"/*.o
  rm -rf "$out/include/json"
  cp -r "$SRC/libjsoncpp/include/json" "$out/include/json"
}

build_curl() {
  local arch=$1 tri out
  tri=$(triplet_of "$arch")
  out="$DEPS/$arch"
  mkdir -p "$out/lib" "$out/include"
  make -s -C "$SRC/curl/lib" -f Makefile.mk clean >/dev/null 2>&1 || true
  rm -rf "$SRC/curl/lib/$tri"
  mkdir -p "$SRC/curl/lib/$tri"
  make -s -C "$SRC/curl/lib" -f Makefile.mk -j"$JOBS" TRIPLET="$tri" \
    CROSSPREFIX="$tri-" CC="$tri-gcc-posix" AR="$tri-ar" RANLIB="$tri-ranlib" \
    CFG=-schannel-sspi-ipv6 CFLAGS="-O2 -w -DHTTP_ONLY" libcurl.a >/dev/null
  cp "$SRC/curl/lib/libcurl.a" "$out/lib/libcurl.a"
  rm -rf "$out/include/curl"
  cp -r "$SRC/curl/include/curl" "$out/include/curl"
}

build_googletest() {
  local arch=$1 tri out obj gt gm
  tri=$(triplet_of "$arch")
  out="$DEPS/$arch"
  obj="$DEPS/build/$arch/gtest"
  gt="$SRC/googletest/googletest"
  gm="$SRC/googletest/googlemock"
  rm -rf "$obj"; mkdir -p "$obj" "$out/lib" "$out/include"
  "$tri-g++-posix" -O2 -w -std=c++17 -I "$gt/include" -I "$gt" -c "$gt/src/gtest-all.cc" -o "$obj/gtest-all.o" &
  "$tri-g++-posix" -O2 -w -std=c++17 -I "$gt/include" -I "$gt" -c "$gt/src/gtest_main.cc" -o "$obj/gtest_main.o" &
  "$tri-g++-posix" -O2 -w -std=c++17 -I "$gt/include" -I "$gm/include" -I "$gm" -c "$gm/src/gmock-all.cc" -o "$obj/gmock-all.o" &
  wait_all
  rm -f "$out"/lib/libgtest*.a "$out"/lib/libgmock.a
  "$tri-ar" rcs "$out/lib/libgtest.a" "$obj/gtest-all.o"
  "$tri-ar" rcs "$out/lib/libgtest_main.a" "$obj/gtest_main.o"
  "$tri-ar" rcs "$out/lib/libgmock.a" "$obj/gmock-all.o"
  rm -rf "$out/include/gtest" "$out/include/gmock"
  cp -r "$gt/include/gtest" "$out/include/gtest"
  cp -r "$gm/include/gmock" "$out/include/gmock"
}

build_deps() {
  fetch_sources
  local stamp_file="$DEPS/stamp" stamp
  stamp=$( (sha256sum "${BASH_SOURCE[0]}" | cut -d' ' -f1; source_versions) | sha256sum | cut -d' ' -f1)
  if [ -f "$stamp_file" ] && [ "$(cat "$stamp_file")" = "$stamp" ]; then
    log "Windows dependencies up to date ($DEPS)"
    return
  fi
  log "building Windows dependencies into $DEPS"
  rm -f "$stamp_file"
  # Boost headers come from Debian's libboost-dev; MinGW must not see the
  # rest of /usr/include, so expose only the boost folder through a symlink.
  mkdir -p "$DEPS/boost-include"
  ln -sfn /usr/include/boost "$DEPS/boost-include/boost"
  unpack_boost
  unpack_full libjsoncpp
  unpack_full curl
  unpack_full googletest
  local arch
  for arch in "${ARCHES[@]}"; do
    log "  $arch: Boost.Serialization"; build_boost_serialization "$arch"
    log "  $arch: jsoncpp";             build_jsoncpp "$arch"
    log "  $arch: libcurl";             build_curl "$arch"
    log "  $arch: GoogleTest";          build_googletest "$arch"
  done
  echo "$stamp" > "$stamp_file"
  log "Windows dependencies built"
}

build_deps
