#!/usr/bin/env bash
# Bit-exactness across toolchains: the library and its tests built with g++
# and clang++, at -O0 and at -O3 -march=x86-64-v3 (where FMA is available to
# the compiler), and under flags a host's build may pass down through
# CMAKE_CXX_FLAGS (-ffast-math, -Ofast, x87 arithmetic), each in its own
# folder; the scripted-counter suite, whose expectations are exact to the
# bit, must pass in every one. The same builds without the library's
# floating-point rules (ZELTIMERS_STRICT_FP=OFF) must FAIL it: with FMA
# contraction, with -ffast-math (which folds the NaN test away, so NaN no
# longer stores zero) and with x87 arithmetic. That shows the rules are what
# keep the results exact, and that the tests notice when they are gone.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make g++ clang libgtest-dev libbenchmark-dev

# variant NAME COMPILER FLAGS [CMAKE_ARGS...]: builds the suite; the failed
# test count goes to stdout (0 when all pass).
variant() {
  local dir=build-exact-$1 compiler=$2 flags=$3
  shift 3
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER="$compiler" \
           -DCMAKE_CXX_FLAGS="$flags" "$@" &&
         cmake --build "$dir" -j "$(jobs)" --target zeltimers_tests; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log" >&2
    return 1
  fi
  "$dir/tests/zeltimers_tests" ${filter:+--gtest_filter="$filter"} >"$dir/tests.log" 2>&1 || true
  if grep -q '^\[  PASSED  \]' "$dir/tests.log" && ! grep -q '^\[  FAILED  \]' "$dir/tests.log"; then
    echo 0
  else
    sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$dir/tests.log" |
      grep . || echo "?"
  fi
}

# The x86-64-v3 binaries would die of an illegal instruction elsewhere. The
# dynamic loader knows the level; the CPU flags are the fallback.
v3_supported() {
  local levels flag
  levels=$(/lib64/ld-linux-x86-64.so.2 --help 2>/dev/null || true)
  if grep -q 'x86-64-v3' <<<"$levels"; then
    grep -q 'x86-64-v3 (supported' <<<"$levels"
    return
  fi
  for flag in avx avx2 bmi1 bmi2 f16c fma movbe; do
    grep -qw "$flag" /proc/cpuinfo || return 1
  done
}
v3=yes
if ! v3_supported; then
  v3=no
  echo "note: this CPU does not support x86-64-v3 (AVX2, FMA, ...); those variants are skipped"
fi

# must_pass NAME COMPILER FLAGS: the suite passes bit-exact, or the stage
# stops.
must_pass() {
  local failed
  failed=$(variant "$@")
  if [ "$failed" != 0 ]; then
    cat "build-exact-$1/tests.log"
    echo "exactness: $2 $3: $failed tests failed"
    exit 1
  fi
  ran+=("$2 $3")
}

# must_fail NAME COMPILER FLAGS: the same build without the library's rules
# fails some tests, or the stage stops.
must_fail() {
  local failed noun=tests
  # Without the rules only the four classes' tests are judged: the frame
  # statistics built that way promise nothing (a NaN may crash a plot scale).
  failed=$(filter='-FrameStats.*:FramePlot.*' variant "$1" "$2" "$3" -DZELTIMERS_STRICT_FP=OFF)
  if [ "$failed" = 0 ]; then
    echo "exactness: $2 $3 without the library's floating-point rules still passed;" \
      "the exact tests no longer notice those flags"
    exit 1
  elif ! [[ $failed =~ ^[0-9]+$ ]]; then
    cat "build-exact-$1/tests.log"
    echo "exactness: $2 $3 without the library's floating-point rules did not run to the end"
    exit 1
  fi
  [ "$failed" = 1 ] && noun="test"
  controls+=("$2 $3 fails $failed $noun")
}

start=$SECONDS
ran=()
controls=()
for compiler in g++ clang++; do
  must_pass "${compiler%%+*}-O0" "$compiler" -O0
  if [ "$v3" = yes ]; then
    must_pass "${compiler%%+*}-O3v3" "$compiler" "-O3 -march=x86-64-v3"
  fi
done
# A host's flags come first on the command line; the library's rules follow
# them and must win.
must_pass g-fastmath g++ "-O2 -ffast-math"
must_pass clang-Ofast clang++ -Ofast
must_pass g-Ofast g++ -Ofast
must_pass g-x87 g++ "-O2 -mfpmath=387"

skipped=
if [ "$v3" = yes ]; then
  # clang: it fuses a multiply and an add written in one expression, as in
  # the time value's conversion to seconds. g++ fuses only a product that has
  # no other use, and the conversion's sub-second shortcut gives it another.
  must_fail clang-O3v3-contracting clang++ "-O3 -march=x86-64-v3"
else
  skipped="; the contraction control skipped (no x86-64-v3)"
fi
must_fail g-fastmath-loose g++ "-O2 -ffast-math"
# The failure must be the Set table's NaN row.
if ! grep -q '^\[  FAILED  \] .*TimeValueSet\..*GetParam() = -\?nan' \
     build-exact-g-fastmath-loose/tests.log; then
  cat build-exact-g-fastmath-loose/tests.log
  echo "exactness: g++ -O2 -ffast-math without the library's rules did not fail the NaN case of Set"
  exit 1
fi
controls[-1]+=" (NaN no longer stores zero)"
must_fail g-x87-loose g++ "-O2 -mfpmath=387"

# Each shortcut against its plain form, over its whole range or a large
# sample of it, in an optimised build.
check=build-exact-fast-forms
mkdir -p "$check"
if ! { cmake -S . -B "$check" -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_TESTS=OFF \
         -DZELTIMERS_BUILD_EXAMPLES=OFF -DZELTIMERS_INSTALL=OFF -DZELTIMERS_BUILD_BENCHMARKS=ON &&
       cmake --build "$check" -j "$(jobs)" --target zeltimers_fast_forms_check; } \
     >"$check/build.log" 2>&1; then
  cat "$check/build.log"
  exit 1
fi
"$check/benchmarks/zeltimers_fast_forms_check" >"$check/check.log" ||
  { cat "$check/check.log"; echo "exactness: a shortcut differs from its plain form"; exit 1; }
forms=$(wc -l <"$check/check.log")

summary=$(printf '%s, ' "${ran[@]}")
control=$(printf '%s, ' "${controls[@]}")
echo "exactness: suite passes bit-exact with ${summary%, };" \
  "without the library's rules ${control%, }, as they must$skipped; $forms shortcuts equal" \
  "their plain forms ($((SECONDS - start)) s)"
