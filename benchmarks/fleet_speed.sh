#!/usr/bin/env bash
# Fleet statistics at scale, in SQLite and PostgreSQL, against the exact
# statistics of every frame:
#
#   benchmarks/fleet_speed.sh [SESSIONS [FRAMES]]     (default 10000 10000)
#
# Makes SESSIONS zel captures of FRAMES frames (zeltimers_fleet_gen, which
# also computes the exact statistics of all their frames as one capture),
# then, in one run on one machine:
#  - reads them with `zel-framestats --json` (the baseline) and stores them
#    with `zel-framestats --db` in an SQLite file and in a PostgreSQL 15
#    server started here (.ci/postgres.sh; stopped at exit, on failure too);
#  - times the fleet query in each engine's own client beside a bare scan
#    summing the same bucket rows (the floor any query pays), best of 5;
#  - checks every figure against the exact one: counts and exact figures to
#    the bit, the estimated ones within the bound the fleet reports, and
#    the same figures from both engines;
#  - prints the size of a session's summary (OTLP JSON) and of its rows.
# Needs root (the server runs as the postgres user), postgresql-15, the
# sqlite3 and psql clients, python3, and about 0.3 KB of disk a frame.
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/postgres.sh
sessions=${1:-10000}
frames=${2:-10000}
build=${BUILD:-build-bench}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_TESTS=OFF \
  -DZELTIMERS_BUILD_EXAMPLES=OFF -DZELTIMERS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --parallel 2 --target zel-framestats zeltimers_fleet_gen >/dev/null
tool=$build/tools/framestats/zel-framestats

pg_setup
work=$pg_work/data
mkdir -p "$work/captures"
echo "making $sessions sessions of $frames frames and their exact statistics..."
"$build/benchmarks/zeltimers_fleet_gen" "$sessions" "$frames" "$work/captures" >"$work/exact.json"
captures=("$work"/captures/*.csv)
port=54411
pg_start fleet $port
uptime

# Seconds one command takes, its output to a file.
seconds() {
  local out=$1 start end
  shift
  start=$(date +%s%N)
  "$@" >"$out"
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc
}
read_s=$(seconds /dev/null "$tool" --json "${captures[@]}")
sqlite_s=$(seconds /dev/null "$tool" --db "$work/fleet.db" "${captures[@]}")
pg_s=$(seconds /dev/null "$tool" --db "$(pg_url $port)" "${captures[@]}")
"$tool" --db "$work/fleet.db" --fleet --json >"$work/sqlite.json"
"$tool" --db "$(pg_url $port)" --fleet --json >"$work/postgres.json"

# The fleet query as each engine's client runs it, with no tag ($1 NULL).
query=$(sed -e 's/\$1/NULL/g' -e 's/\$2/NULL/g' sql/fleet.sql)
scan='SELECT SUM(frames) FROM zel_bucket'
best_sqlite() {
  for _ in 1 2 3 4 5; do
    printf '.timer on\n%s;\n' "$1" | sqlite3 "$work/fleet.db" | sed -n 's/^Run Time: real \([0-9.]*\).*/\1/p'
  done | sort -n | head -n 1
}
best_postgres() {
  for _ in 1 2 3 4 5; do
    printf '\\timing on\n%s;\n' "$1" | pg_psql $port zel -tA | sed -n 's/^Time: \([0-9.]*\) ms.*/\1/p'
  done | sort -n | head -n 1 | awk '{ printf "%.3f\n", $1 / 1000 }'
}
sqlite_query=$(best_sqlite "$query") sqlite_scan=$(best_sqlite "$scan")
pg_query=$(best_postgres "$query") pg_scan=$(best_postgres "$scan")
db_bytes=$(stat -c %s "$work/fleet.db")
pg_bytes=$(pg_psql $port zel -tA -c "SELECT SUM(pg_total_relation_size(c)) FROM
  unnest(ARRAY['zel_session', 'zel_tag', 'zel_bucket']::regclass[]) c")
mids=$(pg_psql $port zel -tA -c "SELECT pg_total_relation_size('zel_bucket_mid')")
k=0
for i in $(seq 0 $(((sessions - 1) / 100 + 1)) $((sessions - 1))); do
  "$tool" --summary "$work/summary-$k.json" "$work/captures/session-$i.csv"
  stat -c %s "$work/summary-$k.json"
  k=$((k + 1))
done >"$work/summary-sizes.txt"

python3 - "$work" <<PY
import json, statistics, sys
work = sys.argv[1]
exact = json.load(open(work + "/exact.json"))
fleets = {e: json.load(open(f"{work}/{e}.json"))["fleet"] for e in ("sqlite", "postgres")}
ok = fleets["sqlite"] == fleets["postgres"]
print(f"SQLite and PostgreSQL give the same figures: {'yes' if ok else 'NO'}")
fleet = fleets["sqlite"]
bound = fleet["error_bound"]
exact_keys = ["frames", "duration_s", "average_fps", "mean_ms", "over_16_7ms_percent",
              "over_33_3ms_percent", "over_700ms_percent"]
estimated = ["p50_ms", "p90_ms", "p95_ms", "p99_ms", "p99_9_ms", "low_1_percentile_fps",
             "low_1_low_average_fps", "low_0_1_percentile_fps", "low_0_1_low_average_fps"]
print(f"{'figure':26} {'exact':>18} {'fleet':>18} {'error':>10}  (bound {100 * bound:.3f} %)")
for key in exact_keys + estimated:
    error = abs(fleet[key] / exact[key] - 1) if exact[key] else abs(fleet[key])
    good = error == 0 if key in exact_keys else error <= bound
    ok = ok and good
    print(f"{key:26} {exact[key]:18.9g} {fleet[key]:18.9g} {100 * error:9.4f} %{'' if good else '  OUT'}")
good = fleet["stutters"] == exact["session_stutters"]
ok = ok and good
print(f"{'stutters (per session)':26} {exact['session_stutters']:18} {fleet['stutters']:18}{'' if good else '  OUT'}")
def report(name, sizes):
    sizes = sorted(sizes)
    print(f"summary ({name}) of {len(sizes)} sessions: median {statistics.median(sizes):.0f} B, "
          f"{sizes[0]} to {sizes[-1]} B, {sum(s < 2048 for s in sizes)} under 2 KB")
report("OTLP JSON", [int(line.split()[0]) for line in open(work + "/summary-sizes.txt")])

# The same documents' size in OTLP's protobuf encoding, worked out field by
# field: the histogram's data point (times, count, zero count as fixed64;
# sum, min, max as doubles; scale and offset as zigzag varints; the bucket
# counts as one packed field of varints) and each integer sum's point.
def varint(n):
    return max(1, (n.bit_length() + 6) // 7)
def field(payload):  # a length-delimited field: tag, length, payload
    return 1 + varint(payload) + payload
def protobuf(doc):
    metrics = doc["resourceMetrics"][0]["scopeMetrics"][0]["metrics"]
    total = 0
    for m in metrics:
        if "exponentialHistogram" in m:
            p = m["exponentialHistogram"]["dataPoints"][0]
            counts = [int(c) for c in p["positive"]["bucketCounts"]]
            offset = p["positive"]["offset"]
            buckets = field(1 + varint(2 * abs(offset)) + field(sum(varint(c) for c in counts)))
            point = 2 * 9 + 9 + 9 + 1 + varint(2 * abs(p["scale"])) + 9 + buckets + 2 * 9
            body = field(point) + 2
        else:
            body = sum(field(2 * 9 + 9 + sum(field(30) for _ in pt.get("attributes", [])))
                       for pt in m["sum"]["dataPoints"]) + 4
        total += field(len(m["name"]) + 2 + len(m["unit"]) + 2 + field(body))
    return total + 40  # the resource, its service.name and the scope
report("OTLP protobuf", [protobuf(json.load(open(f"{work}/summary-{i}.json")))
                         for i in range(len(open(work + "/summary-sizes.txt").readlines()))])
sys.exit(0 if ok else 1)
PY
status=$?
awk -v r="$read_s" -v s="$sqlite_s" -v p="$pg_s" -v sq="$sqlite_query" -v ss="$sqlite_scan" \
  -v pq="$pg_query" -v ps="$pg_scan" -v n="$sessions" -v db="$db_bytes" -v pb="$pg_bytes" \
  -v mids="$mids" 'BEGIN {
  printf "reading the captures (--json):  %8.2f s\n", r
  printf "storing them, SQLite:           %8.2f s   %.2fx reading (goal 1.5x)\n", s, s / r
  printf "storing them, PostgreSQL:       %8.2f s   %.2fx reading (goal 1.5x)\n", p, p / r
  printf "fleet query, SQLite:            %8.3f s   %.2fx its bare scan of %.3f s (goal 3x)\n", sq, sq / ss, ss
  printf "fleet query, PostgreSQL:        %8.3f s   %.2fx its bare scan of %.3f s (goal 3x)\n", pq, pq / ps, ps
  printf "stored bytes a session: SQLite %.0f (the whole file), PostgreSQL %.0f (tables and indexes, bucket middles of %d B aside)\n", db / n, pb / n, mids
}'
exit $status
