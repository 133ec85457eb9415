#!/usr/bin/env bash
# Runs the libFuzzer harness in fuzz/ for a bounded time on both cores,
# starting from its checked-in seeds (fuzz/corpus/, read only). Any crash,
# sanitizer report, broken property, leak or timeout fails the stage; the
# input that did it is left in build-asan-clang/fuzz/.
# Reuses the clang ASan+UBSan build of 20-sanitizers.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make clang libclang-rt-14-dev libgtest-dev

seconds=${ZEL_FUZZ_SECONDS:-60}
dir=build-asan-clang

start=$SECONDS
mkdir -p "$dir"
if ! { cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DZELTIMERS_BUILD_FUZZERS=ON &&
       cmake --build "$dir" -j "$(jobs)" --target zeltimers_fuzz; } >"$dir/fuzz-build.log" 2>&1; then
  cat "$dir/fuzz-build.log"
  exit 1
fi

# Two runs side by side, one per core, each from the seeds into a corpus of
# its own.
pids=()
for worker in 1 2; do
  work=$dir/fuzz/corpus-$worker
  rm -rf "$work"
  mkdir -p "$work"
  "$dir/fuzz/zeltimers_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -seed="$worker" \
    -print_final_stats=1 -artifact_prefix="$dir/fuzz/" "$work" fuzz/corpus \
    >"$dir/fuzz/worker-$worker.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in 0 1; do
  if ! wait "${pids[$i]}"; then
    tail -n 60 "$dir/fuzz/worker-$((i + 1)).log"
    failed=1
  fi
done
if [ "$failed" != 0 ]; then
  echo "fuzz: the harness found a problem; the input is in $dir/fuzz/"
  exit 1
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir"/fuzz/worker-*.log |
       awk '{ n += $1 } END { print n + 0 }')
corpus=$(cat "$dir"/fuzz/corpus-*/* 2>/dev/null | wc -c)
seeds=$(find fuzz/corpus -type f | wc -l)
echo "fuzz: ${seconds} s on 2 workers, $runs runs from $seeds seeds ($((corpus / 1024)) KiB of" \
  "inputs kept) ($((SECONDS - start)) s)"
