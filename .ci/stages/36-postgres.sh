#!/usr/bin/env bash
# PostgreSQL: starts real PostgreSQL 15 servers on this machine (initdb and
# pg_ctl as the postgres user, sockets in a private folder, no TCP, never the
# system's cluster): one single server, and a coordinator over two shards
# holding the sessions partitioned by session id through postgres_fdw
# (sql/postgres-shards.sql). Runs the fleet store's PostgreSQL tests against
# the single server and the coordinator, then checks that zel-framestats
# --fleet --json prints the same figures for the same captures stored in the
# single server, the coordinator and an SQLite file. Every server started is
# stopped on failure too. Prints one summary line.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make g++ libgtest-dev pkg-config libsqlite3-dev libpq-dev postgresql-15 \
  postgresql-contrib
source .ci/postgres.sh

pg_setup
work=$pg_work
fail() {
  [ $# -lt 2 ] || cat "$2"
  echo "postgres: $1"
  exit 1
}
start=$SECONDS
single=54401 coordinator=54402 shard0=54403 shard1=54404
pg_start single $single || fail "server single did not start"
pg_start coordinator $coordinator || fail "server coordinator did not start"
pg_start shard0 $shard0 || fail "server shard0 did not start"
pg_start shard1 $shard1 || fail "server shard1 did not start"
for port in $shard0 $shard1; do
  pg_psql $port zel -f sql/schema.sql
done
pg_psql $coordinator zel -v shard0_host="$work" -v shard0_port=$shard0 -v shard1_host="$work" \
  -v shard1_port=$shard1 -v shard_dbname=zel -v shard_user=postgres -f sql/postgres-shards.sql

build=build-postgres
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_EXAMPLES=OFF \
         -DZELTIMERS_INSTALL=OFF &&
       cmake --build "$build" -j "$(jobs)" --target zelfleet_tests zel-framestats; } \
     >"$build/build.log" 2>&1; then
  fail "build failed" "$build/build.log"
fi

# The store's own tests, on one server and on the sharded coordinator.
for port in $single $coordinator; do
  log=$work/tests-$port.log
  ZEL_TEST_POSTGRES_URL=$(pg_url $port) "$build/tests/zelfleet_tests" \
    --gtest_filter='FleetStore.Postgres*' >"$log" 2>&1 ||
    fail "the PostgreSQL tests failed on port $port" "$log"
  grep -q '^\[  PASSED  \] 1 test' "$log" || fail "the PostgreSQL test did not run" "$log"
done
# The coordinator's sessions really sit on the shards, some on each.
for port in $shard0 $shard1; do
  stored=$(pg_psql $port zel -tA -c "SELECT COUNT(*) FROM zel_session")
  [ "$stored" -gt 0 ] || fail "shard on port $port holds no sessions"
done

# The same captures, stored by the tool in each engine (twice: the second time
# stores nothing), give the same fleet figures to the last digit.
tool=$build/tools/framestats/zel-framestats
captures=(tests/captures/*.csv)
for port in $single $coordinator; do
  pg_psql $port zel -c "DELETE FROM zel_bucket; DELETE FROM zel_tag; DELETE FROM zel_session"
done
targets=("$(pg_url $single)" "$(pg_url $coordinator)" "$work/fleet.db")
for target in "${targets[@]}"; do
  "$tool" --db "$target" --tag build=ci "${captures[@]:0:2}" >/dev/null
  "$tool" --db "$target" --tag build=ci "${captures[@]}" >"$work/stored.txt"
  grep -q "^stored $((${#captures[@]} - 2)) sessions, 2 stored before$" "$work/stored.txt" ||
    fail "unexpected answer storing into $target" "$work/stored.txt"
done
names=(single coordinator sqlite)
for filter in "" "file=$(basename "${captures[0]}")"; do
  for i in 0 1 2; do
    "$tool" --db "${targets[$i]}" --fleet --json ${filter:+--tag "$filter"} \
      >"$work/${names[$i]}.json" || fail "--fleet failed on ${names[$i]}"
  done
  for name in coordinator sqlite; do
    cmp -s "$work/single.json" "$work/$name.json" ||
      { diff "$work/single.json" "$work/$name.json" || true; fail "--fleet $filter differs: $name"; }
  done
done
grep -q '"sessions": 1,' "$work/sqlite.json" || fail "--fleet --tag did not pick one session" \
  "$work/sqlite.json"
echo "postgres: 4 PostgreSQL 15 servers; store tests passed on one server and on a coordinator" \
  "over 2 shards; --fleet --json identical on both and in SQLite (${#captures[@]} captures)" \
  "($((SECONDS - start)) s)"
