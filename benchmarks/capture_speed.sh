#!/usr/bin/env bash
# zel-framestats on large captures beside `wc -l` (the least any reader of
# the file pays) and pandas (read_csv of the one column, mean and p99), in
# one run, each the fastest of a few repetitions taken in turns, with the
# page cache warm.
# Prints a Markdown table: wall time, throughput, peak memory (bytes a
# frame and in all) and the ratios the tool is held to.
#
#   benchmarks/capture_speed.sh [FRAMES [REPETITIONS]]     (10000000, 5)
#   BEFORE=path/to/zel-framestats benchmarks/capture_speed.sh   (and its rows)
#
# Builds zel-framestats and the capture generator in build-bench/ and keeps
# the generated files in build-bench/captures/. BEFORE adds the rows of
# another build of the tool (an older commit's, say) to the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-10000000}
repetitions=${2:-5}
python=${PYTHON:-/usr/bin/python3}  # with Debian's python3-pandas
build="build-bench"
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

# Every program on both files once a repetition, in turns, so that the
# machine's slow and fast moments fall on all of them alike; each row keeps
# its fastest repetition: "wall-seconds kilobytes cpu-seconds".
declare -A best
run() {  # run KEY COMMAND...
  local key=$1
  shift
  if ! /usr/bin/time -o "$timing" -f "%e %M %U %S" "$@" >/dev/null 2>&1; then
    echo "capture_speed.sh: failed: $*" >&2  # not a row of made-up figures
    exit 1
  fi
  local s kb user system
  read -r s kb user system <"$timing"
  if [ -z "${best[$key]:-}" ] || awk -v a="$s" -v b="${best[$key]%% *}" 'BEGIN { exit !(a < b) }'; then
    best[$key]="$s $kb $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')"
  fi
}
programs=("wc -l" "zel-framestats" "zel-framestats --json")
[ -n "${BEFORE:-}" ] && programs+=("zel-framestats (before)" "zel-framestats --json (before)")
programs+=("pandas")
command_of() {  # command_of PROGRAM FILE COLUMN SKIP: the command line, one word a line
  case $1 in
    "wc -l") printf '%s\n' wc -l "$2" ;;
    "zel-framestats") printf '%s\n' "$tool" "$2" ;;
    "zel-framestats --json") printf '%s\n' "$tool" --json "$2" ;;
    "zel-framestats (before)") printf '%s\n' "$BEFORE" "$2" ;;
    "zel-framestats --json (before)") printf '%s\n' "$BEFORE" --json "$2" ;;
    pandas) printf '%s\n' "$python" "$pandas" "$2" "$3" "$4" ;;
  esac
}
file_of() { if [ "$1" = presentmon ]; then echo "$pm"; else echo "$mango"; fi; }
column_of() { if [ "$1" = presentmon ]; then echo "MsBetweenPresents 0"; else echo "frametime 2"; fi; }

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load before: $(uptime | sed 's/.*load average: //')"
for kind in presentmon mangohud; do
  file=$(file_of "$kind")
  # Out of the page cache and read back, so that both files are cached the
  # same way, as reading caches them, whatever wrote them: how a file came
  # into the cache changes how fast it reads (docs/performance.md).
  sync "$file"
  dd if="$file" iflag=nocache count=0 status=none
  cat "$file" >/dev/null
done
for _ in $(seq "$repetitions"); do
  for kind in presentmon mangohud; do
    file=$(file_of "$kind")
    read -r column skip <<<"$(column_of "$kind")"
    for program in "${programs[@]}"; do
      mapfile -t command < <(command_of "$program" "$file" "$column" "$skip")
      run "$kind/$program" "${command[@]}"
    done
  done
done

echo
echo "| file | program | wall (s) | cpu (s) | MB/s | peak (MB) | bytes a frame | x wc -l | pandas / it |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
declare -A rate
for kind in presentmon mangohud; do
  file=$(file_of "$kind")
  mb=$(($(stat -c %s "$file") / 1000000))
  read -r wc_s _ <<<"${best[$kind/wc -l]}"
  read -r pd_s _ <<<"${best[$kind/pandas]}"
  for program in "${programs[@]}"; do
    read -r s kb cpu <<<"${best[$kind/$program]}"
    rate[$kind/$program]=$(awk -v s="$s" -v mb="$mb" 'BEGIN { print (s > 0 ? mb / s : 0) }')
    awk -v f="$kind ($mb MB)" -v p="$program" -v s="$s" -v kb="$kb" -v cpu="$cpu" -v mb="$mb" \
      -v n="$frames" -v wc="$wc_s" -v pd="$pd_s" 'BEGIN {
        printf "| %s | %s | %.2f | %.2f | %.0f | %.0f | %.1f | %.2f | %.2f |\n",
          f, p, s, cpu, (s > 0 ? mb / s : 0), kb / 1024, kb * 1024 / n, (wc > 0 ? s / wc : 0),
          (s > 0 ? pd / s : 0) }'
  done
done
echo
for program in "${programs[@]}"; do
  case $program in zel-framestats*)
    awk -v p="$program" -v m="${rate[mangohud/$program]}" -v q="${rate[presentmon/$program]}" \
      'BEGIN { printf "%s: the MangoHud log %.2f times as many MB/s as the PresentMon file\n", p, (q > 0 ? m / q : 0) }' ;;
  esac
done
echo
echo "load after: $(uptime | sed 's/.*load average: //')"
