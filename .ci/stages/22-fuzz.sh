#!/usr/bin/env bash
# Runs each libFuzzer harness in fuzz/ for a bounded time, starting from its
# checked-in seeds (fuzz/corpus/<harness>/, read only). Any crash, sanitizer
# report, broken property, leak or timeout fails the stage; the input that
# did it is left in build-asan-clang/fuzz/.
# Reuses the clang ASan+UBSan build of 20-sanitizers.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make clang libclang-rt-14-dev libgtest-dev

seconds=${ZEL_FUZZ_SECONDS:-60}
dir=build-asan-clang
harnesses=(time_value timer frame_rate)

start=$SECONDS
mkdir -p "$dir"
if ! { cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DZELTIMERS_BUILD_FUZZERS=ON &&
       cmake --build "$dir" -j "$(jobs)" ${harnesses[@]/#/--target zeltimers_fuzz_}; } \
     >"$dir/fuzz-build.log" 2>&1; then
  cat "$dir/fuzz-build.log"
  exit 1
fi

# All harnesses at once, sharing the cores.
pids=()
for harness in "${harnesses[@]}"; do
  work=$dir/fuzz/corpus-$harness
  rm -rf "$work"
  mkdir -p "$work"
  "$dir/fuzz/zeltimers_fuzz_$harness" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$dir/fuzz/$harness-" \
    "$work" "fuzz/corpus/$harness" >"$dir/fuzz/$harness.log" 2>&1 &
  pids+=($!)
done

figures=()
failed=0
for i in "${!harnesses[@]}"; do
  harness=${harnesses[$i]}
  log=$dir/fuzz/$harness.log
  if ! wait "${pids[$i]}"; then
    tail -n 60 "$log"
    echo "fuzz: $harness found a problem; the input is in $dir/fuzz/"
    failed=1
    continue
  fi
  seeds=$(find "fuzz/corpus/$harness" -type f | wc -l)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  corpus=$(grep -o 'corp: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*')
  figures+=("$harness $runs runs, $seeds seeds -> corpus $corpus")
done
[ "$failed" = 0 ] || exit 1

summary=$(printf '%s; ' "${figures[@]}")
echo "fuzz: ${seconds} s each, side by side: ${summary%; } ($((SECONDS - start)) s)"
