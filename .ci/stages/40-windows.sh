#!/usr/bin/env bash
# Windows: cross-builds ZelTimers_v3.0.dll, the test programs and
# zel-framedemo with MinGW-w64 and runs the whole test suite under Wine: the
# real-clock tests against Windows' performance counter and the frame
# pacer's waitable timer, and the demo for half a second at 120 fps. Prints
# one summary line.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

ensure_packages cmake make g++-mingw-w64-x86-64-posix googletest wine wine64

build=build-windows
# A private Wine prefix, no debug chatter, and no offer to install Mono or
# Gecko, which no test needs.
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

start=$SECONDS
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
cmake --build "$build" --parallel 2 >/dev/null
for file in bin/ZelTimers_v3.0.dll src/ZelTimers_v3.0.dll.a bin/zel-framedemo.exe; do
  [ -f "$build/$file" ] || { echo "missing $build/$file"; exit 1; }
done
built=$((SECONDS - start))

start=$SECONDS
# One server for the whole run: by default it exits a few seconds after its
# last client, and a test program that starts as it exits loses its
# connection ("wine client error ... Connection reset by peer").
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure --parallel 2 --no-tests=error >"$build/ctest.log" 2>&1 ||
  { cat "$build/ctest.log"; exit 1; }
tested=$((SECONDS - start))

grep -q 'framedemo.runs_at_target_rate .*Passed' "$build/ctest.log" ||
  { echo "zel-framedemo did not run"; exit 1; }
result=$(grep -E '^[0-9]+% tests passed' "$build/ctest.log")
printf 'windows: DLL, import library, tests and demo built in %d s; %s (demo included) under %s in %d s\n' \
  "$built" "$result" "$(wine --version 2>/dev/null)" "$tested"
