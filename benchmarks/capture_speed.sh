#!/usr/bin/env bash
# zel-framestats on large captures beside `wc -l` (the least any reader of
# the file pays) and pandas (read_csv of the one column, mean and p99), in
# one run, each the fastest of a few repetitions with the page cache warm.
# Prints a Markdown table: wall time, throughput, peak memory (bytes a
# frame and in all) and the ratios the tool is held to.
#
#   benchmarks/capture_speed.sh [FRAMES [REPETITIONS]]     (10000000, 3)
#   BEFORE=path/to/zel-framestats benchmarks/capture_speed.sh   (and its rows)
#
# Builds zel-framestats and the capture generator in build-bench/ and keeps
# the generated files in build-bench/captures/. BEFORE adds the rows of
# another build of the tool (an older commit's, say) to the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-10000000}
repetitions=${2:-3}
python=${PYTHON:-/usr/bin/python3}  # with Debian's python3-pandas
build=build-bench
dir=$build/captures

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_TESTS=OFF \
  -DZELTIMERS_BUILD_EXAMPLES=OFF -DZELTIMERS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --parallel 2 --target zel-framestats zeltimers_capture_gen >/dev/null
tool=$build/tools/framestats/zel-framestats

mkdir -p "$dir"
pm=$dir/presentmon-$frames.csv
mango=$dir/mangohud-$frames.csv
[ -s "$pm" ] && [ -s "$mango" ] || "$build/benchmarks/zeltimers_capture_gen" "$frames" "$pm" "$mango"

pandas=$(mktemp)
timing=$(mktemp)
trap 'rm -f "$pandas" "$timing"' EXIT
cat >"$pandas" <<'EOF'
import sys
import pandas as pd
path, column, skip = sys.argv[1], sys.argv[2], int(sys.argv[3])
times = pd.read_csv(path, skiprows=skip, usecols=[column])[column]
print(times.mean(), times.quantile(0.99))
EOF

# "wall-seconds kilobytes cpu-seconds" of the fastest of the repetitions.
best() {
  local best_s="" best_kb="" best_cpu=""
  for _ in $(seq "$repetitions"); do
    if ! /usr/bin/time -o "$timing" -f "%e %M %U %S" "$@" >/dev/null 2>&1; then
      echo "capture_speed.sh: failed: $*" >&2  # not a row of made-up figures
      return 1
    fi
    read -r s kb user system <"$timing"
    if [ -z "$best_s" ] || awk -v a="$s" -v b="$best_s" 'BEGIN { exit !(a < b) }'; then
      best_s=$s best_kb=$kb best_cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
    fi
  done
  echo "$best_s $best_kb $best_cpu"
}

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load before: $(uptime | sed 's/.*load average: //')"
echo
echo "| file | program | wall (s) | cpu (s) | MB/s | peak (MB) | bytes a frame | x wc -l | pandas / it |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
for kind in presentmon mangohud; do
  if [ "$kind" = presentmon ]; then file=$pm column=MsBetweenPresents skip=0; else
    file=$mango column=frametime skip=2; fi
  # Out of the page cache and read back, so that both files are cached the
  # same way, as reading caches them, whatever wrote them: how a file came
  # into the cache changes how fast it reads (docs/performance.md).
  sync "$file"
  dd if="$file" iflag=nocache count=0 status=none
  cat "$file" >/dev/null
  mb=$(($(stat -c %s "$file") / 1000000))
  read -r wc_s wc_kb wc_cpu < <(best wc -l "$file")
  read -r table_s table_kb table_cpu < <(best "$tool" "$file")
  read -r json_s json_kb json_cpu < <(best "$tool" --json "$file")
  if [ -n "${BEFORE:-}" ]; then
    read -r old_s old_kb old_cpu < <(best "$BEFORE" "$file")
    read -r old_json_s old_json_kb old_json_cpu < <(best "$BEFORE" --json "$file")
  fi
  read -r pd_s pd_kb pd_cpu < <(best "$python" "$pandas" "$file" "$column" "$skip")
  row() {
    awk -v f="$kind ($mb MB)" -v p="$1" -v s="$2" -v kb="$3" -v cpu="$4" -v mb="$mb" -v n="$frames" \
      -v wc="$wc_s" -v pd="$pd_s" 'BEGIN {
        printf "| %s | %s | %.2f | %.2f | %.0f | %.0f | %.1f | %.2f | %.2f |\n",
          f, p, s, cpu, (s > 0 ? mb / s : 0), kb / 1024, kb * 1024 / n, (wc > 0 ? s / wc : 0),
          (s > 0 ? pd / s : 0) }'
  }
  row "wc -l" "$wc_s" "$wc_kb" "$wc_cpu"
  if [ -n "${BEFORE:-}" ]; then
    row "zel-framestats (before)" "$old_s" "$old_kb" "$old_cpu"
    row "zel-framestats --json (before)" "$old_json_s" "$old_json_kb" "$old_json_cpu"
  fi
  row "zel-framestats" "$table_s" "$table_kb" "$table_cpu"
  row "zel-framestats --json" "$json_s" "$json_kb" "$json_cpu"
  row "pandas" "$pd_s" "$pd_kb" "$pd_cpu"
done
echo
echo "load after: $(uptime | sed 's/.*load average: //')"
