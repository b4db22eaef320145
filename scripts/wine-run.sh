#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix; the cross build's ctest uses this
# as its emulator, so every test executable runs here as it would on Windows.
#   WINEPREFIX  the prefix (default: build/win/wineprefix of this checkout; made when missing)
#   DISPLAY     taken from the environment (tests that open windows need one)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/win/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=}"
# The program's update check and feedback go to a closed port on this machine unless the
# caller names a service of its own: nothing run here reaches out, not even a name lookup.
source "$ROOT/scripts/loopback-service.sh"
if [[ ! -f "$WINEPREFIX/.quillet-prefix-ready" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Tests started side by side must not build the same prefix twice.
  flock "$WINEPREFIX.lock" "$ROOT/scripts/wine-prefix.sh" "$WINEPREFIX" >&2
fi
# The first program of a Wine session starts Wine's server and session services, and they take
# this script's output with them: they keep it open for as long as any program of the session
# lives. A caller that reads that output to its end (ctest) would then wait past the program's
# own end for whatever it left running. So the program writes through relays of this script,
# which end shortly after the program itself.
exec 3>&1 4>&2
exec {relay_out}> >(exec cat >&3)
relay_out_pid=$!
exec {relay_err}> >(exec cat >&4)
relay_err_pid=$!
status=0
wine "$@" >&"$relay_out" 2>&"$relay_err" 3>&- 4>&- || status=$?
exec {relay_out}>&- {relay_err}>&-
for pid in "$relay_out_pid" "$relay_err_pid"; do
  # A relay ends by itself once nothing else holds its pipe; given a moment to pass on the last
  # of the output, one that Wine's session still holds is ended.
  for _ in {1..20}; do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
done
exit "$status"
