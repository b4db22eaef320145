#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the service's tests and load runs, from Debian's packages.
#   test-postgres.sh start DIR   makes a cluster in DIR (a new, empty folder), starts it listening
#                                only on a socket inside DIR, and prints its libpq connection string
#   test-postgres.sh restart DIR stops it and starts it again (every connection is cut)
#   test-postgres.sh stop DIR    stops it (fast shutdown); the caller removes DIR
# PostgreSQL refuses to run as root, so as root the cluster belongs to the "postgres" user.
set -euo pipefail

usage="usage: test-postgres.sh start|restart|stop DIR"
command=${1:?$usage}
dir=${2:?$usage}

bin=${QUILLET_PG_BIN:-}
if [[ -z "$bin" ]]; then
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
fi
if [[ -z "$bin" || ! -x "$bin/initdb" ]]; then
  echo "test-postgres.sh: no PostgreSQL server found (install Debian's postgresql package)" >&2
  exit 1
fi

as_owner() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# The tests' clusters skip flushing to the disk (they are thrown away); QUILLET_PG_FSYNC=on
# keeps the flushes of a real deployment, for load figures of durable commits.
fsync=${QUILLET_PG_FSYNC:-off}

start_server() {
  # Only a socket in the private folder: parallel runs never compete for a TCP port.
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses='' -k $dir -p 5432 -c max_connections=200 -c fsync=$fsync" start \
    >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
}

case "$command" in
  start)
    mkdir -p "$dir"
    if [[ $(id -u) -eq 0 ]]; then
      chown postgres: "$dir"
      owner=postgres
    else
      owner=$(id -un)
    fi
    as_owner "$bin/initdb" -D "$dir/data" -U "$owner" --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    start_server
    echo "host=$dir port=5432 user=$owner dbname=postgres"
    ;;
  restart)
    as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null
    start_server
    ;;
  stop)
    as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null
    ;;
  *)
    echo "$usage" >&2
    exit 2
    ;;
esac
