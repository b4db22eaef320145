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
exec wine "$@"
