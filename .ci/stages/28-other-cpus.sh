#!/usr/bin/env bash
# Other CPUs: cross-builds the scripted-counter suite, whose expectations are
# exact to the bit, for 32-bit x86 (i686) and 64-bit Arm (aarch64) Linux with
# Debian's cross compilers and runs it under QEMU's user-mode emulator; it
# must pass on both. The i686 compiler does its arithmetic on the x87 unit
# unless told otherwise, so the same i686 build without the library's
# floating-point rules (ZELTIMERS_STRICT_FP=OFF) must FAIL it, which shows
# that the rules reach that target. Prints one summary line.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

# Not g++-multilib: it conflicts with the cross compilers.
ensure_packages cmake make g++-i686-linux-gnu g++-aarch64-linux-gnu qemu-user-static googletest

# suite CPU QEMU STRICT_FP: configures build-CPU with cmake/CPU-linux-gnu.cmake,
# builds zeltimers_tests and runs it under QEMU with the target's libraries.
# Prints the passed and failed test counts; failed is "?" when the run did
# not reach the end. The control reuses the folder, so GoogleTest is built
# once per CPU.
suite() {
  local cpu=$1 qemu=$2 strict=$3 dir=build-$1 passed failed
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$cpu-linux-gnu.cmake" \
           -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_GTEST_SOURCE_DIR=/usr/src/googletest \
           -DZELTIMERS_BUILD_EXAMPLES=OFF -DZELTIMERS_INSTALL=OFF \
           -DZELTIMERS_BUILD_BENCHMARKS=OFF -DZELTIMERS_STRICT_FP="$strict" &&
         cmake --build "$dir" --parallel 2 --target zeltimers_tests; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log" >&2
    return 1
  fi
  # Without the rules only the four classes' tests are judged, as in the
  # exactness stage.
  local filter=
  [ "$strict" = OFF ] && filter='-FrameStats.*:FramePlot.*'
  # QEMU's i386 user-mode emulator hangs at a new thread's start here (a
  # bare std::thread program does too), so the two tests that split
  # Summarize over two threads run on aarch64 and natively only.
  [ "$strict" = ON ] && [ "$cpu" = i686 ] &&
    filter='-FrameStats.PartsAddUpToTheWhole:FrameStats.RefusesWhatHasNoStatistics'
  "$qemu" -L "/usr/$cpu-linux-gnu" "$dir/tests/zeltimers_tests" ${filter:+--gtest_filter="$filter"} \
    >"$dir/tests.log" 2>&1 || true
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$dir/tests.log")
  failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$dir/tests.log")
  if [ -z "$passed" ]; then
    failed="?"
  fi
  echo "${passed:-0} ${failed:-0}"
}

start=$SECONDS
counts=$(suite i686 qemu-i386-static OFF)
read -r _ failed <<<"$counts"
if [ "$failed" = 0 ]; then
  echo "other CPUs: i686 without the library's floating-point rules still passed;" \
    "the exact tests no longer notice x87 arithmetic"
  exit 1
elif ! [[ $failed =~ ^[0-9]+$ ]]; then
  cat build-i686/tests.log
  echo "other CPUs: i686 without the library's floating-point rules did not run to the end"
  exit 1
fi
control=$failed

ran=()
for target in i686:qemu-i386-static aarch64:qemu-aarch64-static; do
  cpu=${target%%:*}
  counts=$(suite "$cpu" "${target#*:}" ON)
  read -r passed failed <<<"$counts"
  if [ "$failed" != 0 ] || [ "$passed" = 0 ]; then
    cat "build-$cpu/tests.log"
    echo "other CPUs: $cpu: $failed tests failed"
    exit 1
  fi
  ran+=("$cpu $passed/$passed")
done

qemu=$(qemu-aarch64-static --version | sed -n 's/.* version \([0-9.]*\).*/\1/p')
echo "other CPUs: suite passes bit-exact under QEMU $qemu on ${ran[0]} and ${ran[1]} tests;" \
  "i686 without the library's rules fails $control tests, as it must ($((SECONDS - start)) s)"
