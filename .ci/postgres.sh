# Private PostgreSQL 15 servers for the CI stages and benchmarks: each a new
# cluster made with initdb and run with pg_ctl as the postgres user, its
# socket in a private folder, no TCP, never the system's cluster. Source it,
# call pg_setup once, then pg_start NAME PORT for each server; pg_stop_all
# (set as an EXIT trap by pg_setup) stops every server started, on failure
# too, and removes the folder.

pg_bin=/usr/lib/postgresql/15/bin
pg_work=
pg_servers=()

pg_setup() {
  pg_work=$(mktemp -d /tmp/zeltimers-postgres.XXXXXX)
  chmod 755 "$pg_work"
  chown postgres "$pg_work"
  trap pg_stop_all EXIT
}

pg_stop_all() {
  local dir
  for dir in "${pg_servers[@]}"; do
    runuser -u postgres -- "$pg_bin/pg_ctl" -D "$dir" -m immediate stop >/dev/null 2>&1 || true
  done
  pg_servers=()
  [ -z "$pg_work" ] || rm -rf "$pg_work"
}

# pg_start NAME PORT: a server on $pg_work/.s.PGSQL.PORT with a database "zel".
pg_start() {
  local dir=$pg_work/$1
  if ! runuser -u postgres -- "$pg_bin/initdb" -D "$dir" -U postgres --auth=trust --no-sync \
    >"$pg_work/$1.initdb.log" 2>&1; then
    cat "$pg_work/$1.initdb.log" >&2
    return 1
  fi
  pg_servers+=("$dir")
  if ! runuser -u postgres -- "$pg_bin/pg_ctl" -D "$dir" -l "$pg_work/$1.log" -w -o \
    "-k $pg_work -p $2 -c listen_addresses= -c fsync=off -c max_prepared_transactions=0" start \
    >/dev/null; then
    cat "$pg_work/$1.log" >&2
    return 1
  fi
  pg_psql "$2" postgres -c "CREATE DATABASE zel" >/dev/null
}

# pg_psql PORT DB ARGS...: psql on one of the servers, stopping at an error.
pg_psql() {
  local port=$1 db=$2
  shift 2
  psql -X -q -v ON_ERROR_STOP=1 -h "$pg_work" -p "$port" -U postgres -d "$db" "$@"
}

pg_url() { echo "postgresql://postgres@/zel?host=$pg_work&port=$1"; }
