#!/usr/bin/env bash
# Runs the update-notification and feedback end-to-end tests against the real maker's web
# service on this machine: a per-run test certificate authority that only the test Wine prefix
# trusts, one service over HTTPS that offers version 3.2 with a web download address, some over
# plain HTTP only whose download addresses the program may not all open (a local program, a
# plain or another host's address), and two that take feedback, one over HTTPS and one over
# plain HTTP only.
#   with-services.sh QUILLET-SERVICE TRUST_ROOT.EXE QUILLET_E2E_TESTS.EXE [test options]
# The tests learn the services' addresses and log files from QUILLET_E2E_* variables.
set -euo pipefail
service=$(realpath "$1") trust=$2 tests=$3
shift 3
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$ROOT/server/tests/make-test-ca.sh" "$work/ca"

# start_service NAME TLS DOWNLOAD-ADDRESS [DELAY_MS]: starts one instance on a free port; sets
# PORT.
start_service() {
  local name=$1 tls=$2 download=$3 delay=${4:-0}
  local conf="$work/$name.conf" log="$work/$name.log"
  {
    echo "listen_address = 127.0.0.1"
    echo "port = 0"
    if [[ $tls == yes ]]; then
      echo "tls_certificate = $work/ca/server.pem"
      echo "tls_private_key = $work/ca/server-key.pem"
    fi
    echo "offered_version = 3.2"
    echo "download_address = $download"
    echo "result = 1"
    echo "sqlite_database = $work/$name.sqlite3"
    echo "delay_ms = $delay"
  } >"$conf"
  "$service" "$conf" >"$log" 2>&1 &
  pids+=($!)
  PORT=""
  for _ in $(seq 100); do
    PORT=$(sed -nE 's/.*listening on https?:\/\/[^:]+:([0-9]+).*/\1/p' "$log" | head -1)
    [[ -n $PORT ]] && break
    sleep 0.1
  done
  if [[ -z $PORT ]]; then
    echo "with-services: the $name service did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
}

# Wine checks the server's name against DNS names only, so the services are reached as localhost.
start_service offer yes "https://quillet.example.com/get/3.2"
export QUILLET_E2E_OFFER_ADDRESS="localhost:$PORT/service/check"
export QUILLET_E2E_OFFER_LOG="$(winepath -w "$work/offer.log" 2>/dev/null)"
start_service unsafe no 'C:\windows\system32\notepad.exe'
export QUILLET_E2E_UNSAFE_ADDRESS="localhost:$PORT/service/check"
# Services that answer only over plain HTTP, where anyone on the way could write the answer:
# one names a plain download address, one a secure address on another host, one a secure
# address on the service's own host (the only kind such an answer may choose).
start_service plain-http no "http://127.0.0.1:18081/download/quillet-3.2-setup.exe"
export QUILLET_E2E_PLAIN_HTTP_ADDRESS="localhost:$PORT/service/check"
start_service plain-other-host no "https://127.0.0.1/download/via-https-scheme.exe"
export QUILLET_E2E_PLAIN_OTHER_HOST_ADDRESS="localhost:$PORT/service/check"
start_service plain-own-host no "https://localhost:8443/get/3.2"
export QUILLET_E2E_PLAIN_OWN_HOST_ADDRESS="localhost:$PORT/service/check"

# The feedback tests read back what a service kept with "quillet-service --feedback CONFIG",
# which they start themselves (Unix paths; Wine runs the Linux program).
start_service feedback yes "https://quillet.example.com/get/3.2"
export QUILLET_E2E_FEEDBACK_ADDRESS="localhost:$PORT/service/feedback"
export QUILLET_E2E_FEEDBACK_CONFIG="$work/feedback.conf"
start_service feedback-plain no "https://quillet.example.com/get/3.2"
export QUILLET_E2E_FEEDBACK_PLAIN_ADDRESS="localhost:$PORT/service/feedback"
export QUILLET_E2E_FEEDBACK_PLAIN_CONFIG="$work/feedback-plain.conf"
# A service that takes its time (within the program's wait for an answer).
start_service feedback-slow yes "https://quillet.example.com/get/3.2" 2500
export QUILLET_E2E_FEEDBACK_SLOW_ADDRESS="localhost:$PORT/service/feedback"
export QUILLET_E2E_SERVICE_PROGRAM="$service"
export QUILLET_E2E_FEEDBACK_WORK="$work"

"$ROOT/scripts/wine-run.sh" "$trust" "$(winepath -w "$work/ca/ca.pem" 2>/dev/null)"
"$ROOT/scripts/wine-run.sh" "$tests" --gtest_filter='Update*:Feedback*' "$@"
