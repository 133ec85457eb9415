#!/usr/bin/env bash
# Builds the outside project in this folder against ZelTimers as a user would.
#   package_test.sh MODE BUILD_DIR SOURCE_DIR WORK_DIR CXX GENERATOR
# MODE install:          cmake --install BUILD_DIR into WORK_DIR/prefix
#      find_package:     find_package(ZelTimers 3.0) on that prefix; run it
#      version_policy:   3.0 is accepted, 2.0 and 4.0 are refused
#      pkg_config:       c++ consumer.cpp $(pkg-config --cflags --libs zeltimers zeltimers-analysis
#                        zeltimers-pacing)
#      add_subdirectory: the source tree added to the outside project
#      system:           the system's copy (the Debian packages), found by
#                        find_package and pkg-config without hints; run both
set -euo pipefail
mode=$1 build=$(cd "$2" && pwd) source=$(cd "$3" && pwd) work=$4 cxx=$5 generator=$6
here=$(cd "$(dirname "$0")" && pwd)
prefix=$work/prefix

configure() {  # configure DIR [ARGS...]
  local dir=$1
  shift
  rm -rf "$dir"
  cmake -S "$here" -B "$dir" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_BUILD_TYPE=Release "$@"
}

case $mode in
install)
  rm -rf "$work"
  mkdir -p "$work"
  cmake --install "$build" --prefix "$prefix"
  libdir=$(dirname "$(find "$prefix" -name 'libZelTimers_v3.0.so.3.0.0')")
  # The soname chain a Linux loader and linker expect.
  test "$(readlink "$libdir/libZelTimers_v3.0.so")" = libZelTimers_v3.0.so.3
  test "$(readlink "$libdir/libZelTimers_v3.0.so.3")" = libZelTimers_v3.0.so.3.0.0
  objdump -p "$libdir/libZelTimers_v3.0.so.3.0.0" | grep -q 'SONAME *libZelTimers_v3.0.so.3$'
  test -f "$prefix/include/ZelTimers.h"
  test -f "$prefix/include/ZelAnalysis/Capture.h"
  test -f "$prefix/include/ZelPacing/FramePacer.h"
  if [ -f "$build/src/fleet/libZelTimersFleet.a" ]; then
    test -f "$prefix/include/ZelFleet/FleetStore.h"
    test -f "$prefix/share/zeltimers/sql/fleet.sql"
  fi
  ;;
find_package)
  configure "$work/find" -DCMAKE_PREFIX_PATH="$prefix"
  cmake --build "$work/find"
  "$work/find/consumer"
  # The fleet store: its component found wherever the build had it.
  if [ -f "$build/src/fleet/libZelTimersFleet.a" ]; then
    rm -f "$work/fleet.db"
    "$work/find/fleet_consumer" "$work/fleet.db"
  fi
  ;;
version_policy)
  for version in 2.0 4.0; do
    if configure "$work/version-$version" -DCMAKE_PREFIX_PATH="$prefix" \
      -DZELTIMERS_WANT_VERSION=$version >/dev/null 2>&1; then
      echo "find_package(ZelTimers $version) accepted version 3.0.0" >&2
      exit 1
    fi
  done
  configure "$work/version-3.0" -DCMAKE_PREFIX_PATH="$prefix" -DZELTIMERS_WANT_VERSION=3.0 >/dev/null
  echo "3.0 accepted, 2.0 and 4.0 refused"
  ;;
pkg_config)
  if ! command -v pkg-config >/dev/null; then
    echo "pkg-config is not installed"
    exit 77
  fi
  pcdir=$(dirname "$(find "$prefix" -name zeltimers.pc)")
  export PKG_CONFIG_PATH=$pcdir
  test "$(pkg-config --modversion zeltimers)" = 3.0.0
  flags=$(pkg-config --cflags --libs zeltimers zeltimers-analysis zeltimers-pacing)
  echo "pkg-config --cflags --libs zeltimers zeltimers-analysis zeltimers-pacing: $flags"
  mkdir -p "$work/pc"
  # shellcheck disable=SC2086  # the flags are meant to split into words
  "$cxx" -std=c++17 "$here/consumer.cpp" $flags -o "$work/pc/consumer"
  LD_LIBRARY_PATH=$(pkg-config --variable=libdir zeltimers) "$work/pc/consumer"
  if [ -f "$pcdir/zeltimers-fleet.pc" ]; then
    # shellcheck disable=SC2046  # the flags are meant to split into words
    "$cxx" -std=c++17 "$here/fleet_consumer.cpp" $(pkg-config --cflags --libs zeltimers-fleet) \
      -o "$work/pc/fleet_consumer"
    rm -f "$work/pc/fleet.db"
    "$work/pc/fleet_consumer" "$work/pc/fleet.db"
  fi
  ;;
add_subdirectory)
  # Unoptimised: this builds the whole library again, and only the embedding
  # is under test here.
  configure "$work/subdir" -DZELTIMERS_SOURCE_DIR="$source" -DCMAKE_BUILD_TYPE=None
  # Embedded, the library builds no tests or examples and installs nothing.
  for option in BUILD_TESTS BUILD_EXAMPLES INSTALL; do
    if ! grep -q "^ZELTIMERS_$option:BOOL=OFF" "$work/subdir/CMakeCache.txt"; then
      echo "ZELTIMERS_$option is not off in an embedded build" >&2
      exit 1
    fi
  done
  cmake --build "$work/subdir" --parallel 2
  "$work/subdir/consumer"
  ;;
system)
  unset CMAKE_PREFIX_PATH PKG_CONFIG_PATH LD_LIBRARY_PATH
  configure "$work/system"
  grep -Eq '^ZelTimers_DIR:PATH=/usr/lib/([^/]+/)?cmake/ZelTimers$' "$work/system/CMakeCache.txt" ||
    { grep '^ZelTimers_DIR' "$work/system/CMakeCache.txt" >&2; exit 1; }
  cmake --build "$work/system"
  "$work/system/consumer"
  flags=$(pkg-config --cflags --libs zeltimers zeltimers-analysis zeltimers-pacing)
  echo "pkg-config --cflags --libs zeltimers zeltimers-analysis zeltimers-pacing: $flags"
  # shellcheck disable=SC2086  # the flags are meant to split into words
  "$cxx" -std=c++17 "$here/consumer.cpp" $flags -o "$work/system/pc-consumer"
  "$work/system/pc-consumer"
  # Both programs load the library the packages installed.
  for program in consumer pc-consumer; do
    ldd "$work/system/$program" | grep -E 'libZelTimers_v3\.0\.so\.3 => /(usr/)?lib/' >/dev/null
  done
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
