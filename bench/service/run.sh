#!/usr/bin/env bash
# Load figures of quillet-service on loopback with wrk, bounded in time:
#   1. SQLite, plain HTTP, keep-alive (the upper bound) and one connection per check
#   2. SQLite, HTTPS with one connection per check (as the program's secure client posts)
#   3. PostgreSQL, plain HTTP, one connection per check
#   4. two instances against one PostgreSQL, loaded at the same time, one connection per check
#   5. nginx (server/deploy/nginx-quillet.conf, filled in by server/tests/front-nginx.sh) in front:
#      nginx answering a fixed text itself (the yardstick), the service behind it over plain HTTP
#      and HTTPS, and the service (its default 8 threads) behind it while 1,000 slow and 1,000
#      idle clients are held open (slow_clients.py) and wrk posts checks at a modest rate
#      for SLOW_DURATION seconds (default 15: past nginx's 10 s header time-out, when it cuts off
#      every waiting client and they all connect again; SLOW_CONNECTIONS, IDLE_CONNECTIONS,
#      SLOW_RATE_CONNECTIONS, SLOW_DELAY_MS adjust the rest)
#   6. SIGKILL of the service in the middle of a run, on SQLite and on PostgreSQL, then a restart
#      on the same database
# For each: requests per second, p50/p99 latency, and the stored rows counted against the
# answered requests (every answered request must be stored; a request still in flight when wrk
# stops may be stored without being counted as answered, at most one per connection).
# Environment: DURATION (seconds per run, default 10), CONNECTIONS (default 16),
# BUILD_DIR (default build-bench beside this folder's parent), SERVICE_THREADS (default 64).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
DURATION=${DURATION:-10}
CONNECTIONS=${CONNECTIONS:-16}
SERVICE_THREADS=${SERVICE_THREADS:-64}
SLOW_CONNECTIONS=${SLOW_CONNECTIONS:-1000}
IDLE_CONNECTIONS=${IDLE_CONNECTIONS:-1000}
SLOW_RATE_CONNECTIONS=${SLOW_RATE_CONNECTIONS:-4}
SLOW_DELAY_MS=${SLOW_DELAY_MS:-50}
SLOW_DURATION=${SLOW_DURATION:-15}
HERE="$ROOT/bench/service"
TESTS="$ROOT/server/tests"

for tool in wrk openssl nginx python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" --target quillet-service -j2 >/dev/null
SERVICE="$BUILD_DIR/server/quillet-service"

WORK=$(mktemp -d /tmp/quillet-bench.XXXXXX)
chmod 755 "$WORK"
PIDS=()
PG_DIR=""
cleanup() {
  for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ -n "$PG_DIR" ]]; then "$TESTS/test-postgres.sh" stop "$PG_DIR" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

"$TESTS/make-test-ca.sh" "$WORK/ca"

# start_service NAME EXTRA_CONFIG_LINES [THREADS]: starts an instance, sets PORT and adds its pid
# to PIDS.
start_service() {
  local name=$1 extra=$2 folder="$WORK/$1"
  mkdir -p "$folder"
  printf 'listen_address = 127.0.0.1\nport = 0\noffered_version = 3.2\n%s\n%s\n%s\n' \
    "download_address = https://quillet.example.com/download/" "threads = ${3:-$SERVICE_THREADS}" \
    "$extra" >"$folder/service.conf"
  "$SERVICE" "$folder/service.conf" >"$folder/out.log" 2>"$folder/err.log" &
  PIDS+=($!)
  for _ in $(seq 1 500); do
    if PORT=$(grep -o 'listening on [a-z]*://127.0.0.1:[0-9]*' "$folder/out.log" | grep -o '[0-9]*$'); then
      return 0
    fi
    sleep 0.02
  done
  echo "run.sh: $name did not start:" >&2
  cat "$folder/err.log" >&2
  exit 1
}

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# start_front NAME [SERVICE_PORT]: starts nginx in $WORK/NAME as README.md tells a maker (the
# shipped file, its marked values filled in), sets FRONT_HTTP and FRONT_HTTPS and adds its pid to
# PIDS. Without SERVICE_PORT it answers a fixed text itself instead (the yardstick).
start_front() {
  local folder="$WORK/$1"
  FRONT_HTTP=$(free_port)
  FRONT_HTTPS=$(free_port)
  if [[ -n ${2:-} ]]; then
    "$TESTS/front-nginx.sh" quillet "$folder" "$2" "$FRONT_HTTP" "$FRONT_HTTPS" \
      "$WORK/ca/server.pem" "$WORK/ca/server-key.pem"
  else
    "$TESTS/front-nginx.sh" main "$folder"
    cat >"$folder/conf.d/fixed.conf" <<FIXED
server {
    listen 127.0.0.1:$FRONT_HTTP;
    listen 127.0.0.1:$FRONT_HTTPS ssl;
    ssl_certificate "$WORK/ca/server.pem";
    ssl_certificate_key "$WORK/ca/server-key.pem";
    default_type "text/plain; charset=utf-8";
    location / {
        return 200 "<version>3.2</version>\r\n<url>https://quillet.example.com/download/</url>\r\n\r\n<result>1</result>\r\n";
    }
}
FIXED
  fi
  nginx -p "$folder/" -c "$folder/nginx.conf" -e stderr 2>"$folder/nginx.err" &
  PIDS+=($!)
  for _ in $(seq 1 500); do
    if answers "$FRONT_HTTP" && answers "$FRONT_HTTPS"; then return 0; fi
    sleep 0.02
  done
  echo "run.sh: nginx in $folder did not start:" >&2
  cat "$folder/nginx.err" >&2
  exit 1
}

stop_services() {
  for pid in "${PIDS[@]}"; do kill -TERM "$pid"; done
  for pid in "${PIDS[@]}"; do wait "$pid"; done
  PIDS=()
}

# load URL CONNECTIONS [CLOSE [DELAY_MS [SECONDS]]]: runs wrk (DURATION seconds unless given) and
# prints its RESULT line; with DELAY_MS each connection waits that long before each request.
load() {
  QUILLET_BENCH_CLOSE=${3:-0} QUILLET_BENCH_DELAY_MS=${4:-0} \
    wrk -t2 -c"$2" -d"${5:-$DURATION}s" --timeout 10s --latency -s "$HERE/check.lua" "$1" | grep '^RESULT'
}

field() { sed -E "s/.*$1=([0-9.]+).*/\\1/" <<<"$2"; }

sqlite_rows() {
  if command -v sqlite3 >/dev/null; then
    sqlite3 "$1" 'SELECT count(*) FROM requests'
  else
    python3 -c 'import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute("SELECT count(*) FROM requests").fetchone()[0])' "$1"
  fi
}

pg_rows() { psql "$1" -Atc 'SELECT count(*) FROM requests'; psql "$1" -qc 'TRUNCATE request_fields, requests' >/dev/null; }

# report NAME ROWS RESULT...: one summary line over one or more wrk results.
report() {
  local name=$1 rows=$2 answered=0 non2xx=0 errors=0 rps=0 p99=0 result
  shift 2
  for result in "$@"; do
    answered=$((answered + $(field answered "$result")))
    non2xx=$((non2xx + $(field non2xx "$result")))
    errors=$((errors + $(field socket_errors "$result")))
    rps=$(awk -v a="$rps" -v n="$(field answered "$result")" -v s="$(field seconds "$result")" 'BEGIN { printf "%.0f", a + n / s }')
    p99=$(awk -v a="$p99" -v b="$(field p99_ms "$result")" 'BEGIN { print (b > a ? b : a) }')
  done
  local verdict="ok"
  # "-": nothing is stored (nginx answering by itself).
  if [[ $rows != - ]]; then
    if ((rows < answered)); then verdict="LOST $((answered - rows))"; fi
    # More rows than answers plus the requests that can be in flight would mean double storing.
    if ((rows > answered + CONNECTIONS)); then verdict="EXTRA $((rows - answered))"; fi
  fi
  printf '%-34s %9s req/s  p99 %8s ms  answered %8d  stored %8s  non-2xx %d  socket errors %d  %s\n' \
    "$name" "$rps" "$p99" "$answered" "$rows" "$non2xx" "$errors" "$verdict"
  [[ $verdict == ok && $non2xx -eq 0 ]]
}

status=0
echo "wrk: ${DURATION}s per run, $CONNECTIONS connections, service threads $SERVICE_THREADS, $(nproc) cores"

# Each post of the program makes its own client and connection ("connection per check", the
# load the service really sees); keep-alive gives the upper bound.
start_service sqlite-keep-alive "sqlite_database = $WORK/keep-alive.sqlite3"
r=$(load "http://127.0.0.1:$PORT/service" "$CONNECTIONS")
stop_services
report "SQLite, HTTP, keep-alive" "$(sqlite_rows "$WORK/keep-alive.sqlite3")" "$r" || status=1

start_service sqlite "sqlite_database = $WORK/plain.sqlite3"
r=$(load "http://127.0.0.1:$PORT/service" "$CONNECTIONS" 1)
stop_services
report "SQLite, HTTP, connection per check" "$(sqlite_rows "$WORK/plain.sqlite3")" "$r" || status=1

start_service sqlite-tls "sqlite_database = $WORK/tls.sqlite3
tls_certificate = $WORK/ca/server.pem
tls_private_key = $WORK/ca/server-key.pem"
r=$(load "https://127.0.0.1:$PORT/service" "$CONNECTIONS" 1)
stop_services
report "SQLite, HTTPS, connection per check" "$(sqlite_rows "$WORK/tls.sqlite3")" "$r" || status=1

# nginx in front, as README.md deploys it: first nginx alone answering a fixed text (what a
# connection per check through nginx costs at best), then the service behind it.
start_front fixed
r=$(load "http://127.0.0.1:$FRONT_HTTP/service" "$CONNECTIONS" 1)
r_tls=$(load "https://127.0.0.1:$FRONT_HTTPS/service" "$CONNECTIONS" 1)
stop_services
report "nginx fixed text, HTTP, conn./check" - "$r" || status=1
report "nginx fixed text, HTTPS, conn./ch." - "$r_tls" || status=1

start_service front "sqlite_database = $WORK/front.sqlite3
trusted_proxy = 127.0.0.1"
start_front front-nginx "$PORT"
r=$(load "http://127.0.0.1:$FRONT_HTTP/service" "$CONNECTIONS" 1)
stop_services
report "front+SQLite, HTTP, conn. per check" "$(sqlite_rows "$WORK/front.sqlite3")" "$r" || status=1

start_service front-tls "sqlite_database = $WORK/front-tls.sqlite3
trusted_proxy = 127.0.0.1"
start_front front-tls-nginx "$PORT"
r=$(load "https://127.0.0.1:$FRONT_HTTPS/service" "$CONNECTIONS" 1)
stop_services
report "front+SQLite, HTTPS, conn. per check" "$(sqlite_rows "$WORK/front-tls.sqlite3")" "$r" || status=1

# A slow-client attack (or a crowd on bad mobile networks): clients that never finish their request (or never begin it) while the
# program's checks come in at a modest rate, against the service's default 8 worker threads.
start_service front-slow "sqlite_database = $WORK/front-slow.sqlite3
trusted_proxy = 127.0.0.1" 8
start_front front-slow-nginx "$PORT"
python3 "$HERE/slow_clients.py" "$FRONT_HTTP" "$SLOW_CONNECTIONS" "$IDLE_CONNECTIONS" \
  $((SLOW_DURATION + 60)) >"$WORK/slow.out" &
slow_pid=$!
for _ in $(seq 1 1500); do
  if grep -qs '^ready' "$WORK/slow.out"; then break; fi
  sleep 0.02
done
grep -qs '^ready' "$WORK/slow.out" || { echo "run.sh: the slow clients did not connect" >&2; exit 1; }
sleep 2.5  # every slow client has begun its header
r=$(load "http://127.0.0.1:$FRONT_HTTP/service" "$SLOW_RATE_CONNECTIONS" 1 "$SLOW_DELAY_MS" "$SLOW_DURATION")
kill -TERM "$slow_pid"
wait "$slow_pid" || true
stop_services
report "front, ${SLOW_CONNECTIONS} slow+${IDLE_CONNECTIONS} idle open" "$(sqlite_rows "$WORK/front-slow.sqlite3")" "$r" || status=1
echo "  (${SLOW_DURATION}s, service threads 8; wrk $SLOW_RATE_CONNECTIONS connections, ${SLOW_DELAY_MS} ms between checks each;" \
  "$(grep '^slow_clients' "$WORK/slow.out" | sed 's/^slow_clients //'))"

PG_DIR="$WORK/pg"
# With its flushes on, as a maker runs it: an answered request must be on the disk.
PG=$(QUILLET_PG_FSYNC=on "$TESTS/test-postgres.sh" start "$PG_DIR" | tail -1)

start_service pg "postgresql = $PG"
r=$(load "http://127.0.0.1:$PORT/service" "$CONNECTIONS" 1)
stop_services
report "PostgreSQL, HTTP, conn. per check" "$(pg_rows "$PG")" "$r" || status=1

start_service pg-a "postgresql = $PG"
port_a=$PORT
start_service pg-b "postgresql = $PG"
port_b=$PORT
half=$((CONNECTIONS / 2))
load "http://127.0.0.1:$port_a/service" "$half" 1 >"$WORK/a.result" &
wrk_a=$!
load "http://127.0.0.1:$port_b/service" "$half" 1 >"$WORK/b.result"
wait "$wrk_a"
stop_services
report "2 instances, one PostgreSQL" "$(pg_rows "$PG")" "$(cat "$WORK/a.result")" "$(cat "$WORK/b.result")" || status=1

# SIGKILL in the middle of a run, then a restart on the same database: every answered request
# must be stored.
# killed_mid_run ID NAME CONFIG_LINE [SQLITE_FILE]: PostgreSQL when no SQLite file is given.
killed_mid_run() {
  local id=$1 name=$2 config=$3 sqlite_file=${4:-} result rows
  start_service "$id" "$config"
  load "http://127.0.0.1:$PORT/service" "$CONNECTIONS" 1 >"$WORK/$id.result" &
  local wrk_pid=$!
  sleep "$(awk -v d="$DURATION" 'BEGIN { print d / 2 }')"
  kill -KILL "${PIDS[0]}"
  wait "${PIDS[0]}" 2>/dev/null || true
  PIDS=()
  wait "$wrk_pid" || true
  start_service "$id-again" "$config"
  stop_services
  result=$(cat "$WORK/$id.result")
  if [[ -n "$sqlite_file" ]]; then rows=$(sqlite_rows "$sqlite_file"); else rows=$(pg_rows "$PG"); fi
  # wrk counts the connections cut by the kill as socket errors; only the answered matter here.
  report "$name" "$rows" "$(sed -E 's/non2xx=[0-9]+/non2xx=0/' <<<"$result")" || status=1
}

killed_mid_run sqlite-killed "SQLite, SIGKILL mid-run" "sqlite_database = $WORK/killed.sqlite3" "$WORK/killed.sqlite3"
killed_mid_run pg-killed "PostgreSQL, SIGKILL mid-run" "postgresql = $PG"

exit $status
