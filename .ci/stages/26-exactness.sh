#!/usr/bin/env bash
# Bit-exactness across toolchains: the library and its tests built with g++
# and clang++, at -O0 and at -O3 -march=x86-64-v3 (where FMA is available to
# the compiler), each in its own folder; the scripted-counter suite, whose
# expectations are exact to the bit, must pass in every one. One more build
# without -ffp-contract=off (ZELTIMERS_STRICT_FP=OFF) must FAIL it, which
# shows that the protection is what keeps the results exact. That build uses
# clang++: it fuses a multiply and an add written in one expression, as in
# the time value's conversion to seconds. g++ fuses only where the product
# has no other use, which the conversion's sub-second shortcut gives it.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make g++ clang libgtest-dev

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
  "$dir/tests/zeltimers_tests" >"$dir/tests.log" 2>&1 || true
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

start=$SECONDS
ran=()
for compiler in g++ clang++; do
  for opt in O0 O3v3; do
    flags=-O0
    if [ "$opt" = O3v3 ]; then
      [ "$v3" = yes ] || continue
      flags="-O3 -march=x86-64-v3"
    fi
    failed=$(variant "${compiler%%+*}-$opt" "$compiler" "$flags")
    if [ "$failed" != 0 ]; then
      cat "build-exact-${compiler%%+*}-$opt/tests.log"
      echo "exactness: $compiler $flags: $failed tests failed"
      exit 1
    fi
    ran+=("$compiler $flags")
  done
done

control="skipped (no x86-64-v3)"
if [ "$v3" = yes ]; then
  failed=$(variant clang-O3v3-contracting clang++ "-O3 -march=x86-64-v3" -DZELTIMERS_STRICT_FP=OFF)
  if [ "$failed" = 0 ]; then
    echo "exactness: without -ffp-contract=off the suite still passed; the exact tests" \
      "no longer notice contraction"
    exit 1
  elif ! [[ $failed =~ ^[0-9]+$ ]]; then
    cat build-exact-clang-O3v3-contracting/tests.log
    echo "exactness: the build without -ffp-contract=off did not run to the end"
    exit 1
  fi
  control="clang++ -O3 -march=x86-64-v3 without -ffp-contract=off fails $failed tests, as it must"
fi

summary=$(printf '%s, ' "${ran[@]}")
echo "exactness: suite passes bit-exact with ${summary%, }; $control ($((SECONDS - start)) s)"
