#!/usr/bin/env bash
# The frame pacer's goals, from zel-framedemo's own capture: at 60, 144 and
# 240 fps, quiet and with two spinning processes beside it, the pacer
# (`--wait pacer`) and a plain absolute sleep to the same grid (`--wait
# sleep`) take turns, ROUNDS times. BEFORE=path/to/another/zel-framedemo
# adds a turn for an older pacer; CONTROL=1 adds a second plain-sleep turn
# (`sleep-again`), which shows how far two identical waits differ in the
# same run; LOADS=quiet or LOADS=loaded runs one half only. Prints the
# percentiles of |interval - period| (µs) over the intervals of all rounds
# together (a tail is steadier pooled than as a median of small rounds),
# the median of the rounds of the average rate's error and of the demo's
# CPU share (user + system over wall time), and each turn's p99, with
# `uptime` before each round. Each round starts with the next wait in turn.
#
#   benchmarks/pace_goals.sh build/examples/framedemo/zel-framedemo
#   ROUNDS=5 CONTROL=1 LOADS=loaded benchmarks/pace_goals.sh DEMO
set -euo pipefail
demo=${1:?usage: pace_goals.sh path/to/zel-framedemo}
rounds=${ROUNDS:-3}
duration=${DURATION:-10}
rates=${RATES:-60 144 240}
work=$(mktemp -d)
spinners=()
stop_load() {
  for pid in "${spinners[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${spinners[@]}"; do wait "$pid" 2>/dev/null || true; done
  spinners=()
}
trap 'stop_load; rm -rf "$work"' EXIT

# run NAME FPS BINARY ARGS...: one capture; appends "name fps rate% cpu%" to
# rows, "name fps |error|" for each interval to intervals and "name fps p99"
# to turns.
run() {
  local name=$1 fps=$2 bin=$3
  shift 3
  local start end cpu
  start=$(date +%s%N)
  TIMEFORMAT='%U %S'
  cpu=$({ time "$bin" --fps "$fps" --duration "$duration" --capture "$work/c.zel" --format zel \
    "$@" >/dev/null; } 2>&1)
  end=$(date +%s%N)
  # Rows after the two header lines and the column names; the first interval counts from start.
  tail -n +5 "$work/c.zel" | awk -F, -v fps="$fps" -v name="$name" -v cpu="$cpu" \
    -v wall="$(((end - start) / 1000))" -v intervals="$work/intervals" -v turn="$work/turn" '
    { e = $2 - 1e9 / fps; e = (e < 0 ? -e : e) / 1000; print name, fps, e >> intervals; print e > turn
      n++; if (n == 1) t0 = $1 - $2; t1 = $1 }
    END { split(cpu, c, " "); printf "%s %s %.4f %.2f\n", name, fps,
          (n * 1e9 / fps / (t1 - t0) - 1) * 100, (c[1] + c[2]) * 1e8 / wall }' >>"$work/rows"
  sort -g "$work/turn" |
    awk -v key="$name $fps" '{ v[NR] = $1 } END { printf "%s %.0f\n", key, v[int((NR * 99 + 99) / 100)] }' >>"$work/turns"
}

waits=(pacer sleep)
[ -z "${BEFORE:-}" ] || waits+=(before)
[ -z "${CONTROL:-}" ] || waits+=(sleep-again)

# Every quiet round first: the spinners of a loaded round leave the load
# average high for a minute after they stop.
for load in ${LOADS:-quiet loaded}; do
  for ((round = 1; round <= rounds; round++)); do
    if [ "$load" = loaded ] && [ ${#spinners[@]} -eq 0 ]; then
      for _ in 1 2; do
        sh -c 'while :; do :; done' &
        spinners+=($!)
      done
    fi
    echo "round $round, $load: $(uptime)" >&2
    for fps in $rates; do
      # Each round starts with the next wait, so that none always runs first.
      for ((i = 0; i < ${#waits[@]}; i++)); do
        case ${waits[(i + round) % ${#waits[@]}]} in
          pacer) run "$load/pacer" "$fps" "$demo" --wait pacer ;;
          sleep) run "$load/sleep" "$fps" "$demo" --wait sleep ;;
          before) run "$load/before" "$fps" "$BEFORE" ;;
          sleep-again) run "$load/sleep-again" "$fps" "$demo" --wait sleep ;;
        esac
      done
    done
  done
  stop_load
done

echo "| load/wait | fps | p50 | p95 | p99 | rate error % | CPU % |"
echo "|---|---:|---:|---:|---:|---:|---:|"
# Nearest-rank percentiles of the pooled intervals, then the medians of the rounds.
sort -k1,1 -k2,2n -k3,3g "$work/intervals" | awk '
  function flush() { if (n) printf "%s %s %.1f %.1f %.1f\n", key1, key2, v[int((n * 50 + 99) / 100)],
                       v[int((n * 95 + 99) / 100)], v[int((n * 99 + 99) / 100)]; n = 0 }
  $1 != key1 || $2 != key2 { flush(); key1 = $1; key2 = $2 }
  { v[++n] = $3 }
  END { flush() }' >"$work/tails"
sort -k1,1 -k2,2n "$work/rows" | awk '
  function median(col,   i, j, t, a) {
    for (i = 1; i <= n; i++) a[i] = v[i, col]
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return a[int((n + 1) / 2)]
  }
  function flush() { if (n) printf "%s %s %+.4f %.2f\n", key1, key2, median(3), median(4); n = 0 }
  $1 != key1 || $2 != key2 { flush(); key1 = $1; key2 = $2 }
  { n++; for (c = 3; c <= 4; c++) v[n, c] = $c }
  END { flush() }' | paste -d' ' "$work/tails" - |
  awk '{ printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $8, $9 }'
echo
echo "p99 of each turn, in round order (µs):"
awk '{ p[$1 " " $2] = p[$1 " " $2] " " $3 } END { for (k in p) print k ":" p[k] }' "$work/turns" | sort -k1,1 -k2,2n
