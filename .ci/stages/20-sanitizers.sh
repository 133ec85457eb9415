#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (plus float-cast-overflow and float-divide-by-zero, which -fsanitize=undefined
# leaves out), built once with clang and once with g++. Any report aborts the
# test that made it.
#
# The clang build also has the fuzz harnesses on, so 22-fuzz.sh reuses it.
# The g++ build paces with the relative sleep of systems without an
# absolute one (ZELPACING_RELATIVE_SLEEP), so that path is tested too.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make g++ clang libclang-rt-14-dev libgtest-dev libsqlite3-dev libpq-dev

san="-fsanitize=address,undefined,float-cast-overflow,float-divide-by-zero -fno-sanitize-recover=all"
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1

# build DIR TARGET... -- CMAKE_ARGS...: configures and builds quietly.
build() {
  local dir=$1 targets=()
  shift
  while [ "$1" != "--" ]; do targets+=(--target "$1"); shift; done
  shift
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
         cmake --build "$dir" -j "$(jobs)" "${targets[@]}"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    return 1
  fi
}

# Runs every test of a build folder, showing the log on failure; leaves the
# number that passed in $passed.
run_ctest() {
  local log=$1/ctest.log
  if ! ctest --test-dir "$1" --output-on-failure -j "$(jobs)" >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  passed=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")
}

start=$SECONDS
# The package tests build an outside program without the sanitizers' runtime,
# so the sanitized builds leave them out (ZELTIMERS_INSTALL=OFF).
build build-asan-clang all -- -DCMAKE_CXX_COMPILER=clang++ -DZELTIMERS_BUILD_FUZZERS=ON \
  -DZELTIMERS_INSTALL=OFF -DCMAKE_CXX_FLAGS="$san -fno-omit-frame-pointer"
run_ctest build-asan-clang
clang_tests=$passed

build build-asan-gcc all -- -DCMAKE_CXX_COMPILER=g++ -DZELTIMERS_INSTALL=OFF -DZELPACING_RELATIVE_SLEEP=ON \
  -DCMAKE_CXX_FLAGS="$san -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$san" -DCMAKE_SHARED_LINKER_FLAGS="$san"
run_ctest build-asan-gcc
gcc_tests=$passed

echo "sanitizers: ASan+UBSan clang $clang_tests/$clang_tests tests passed," \
  "g++ (relative sleep) $gcc_tests/$gcc_tests passed ($((SECONDS - start)) s)"
