#!/usr/bin/env bash
# Installs what is missing, builds quillet.exe and starts it under Wine; arguments are passed
# on to the program. Without an X display it starts a virtual one, waits for the main window,
# saves a screenshot to build/screenshots/run.png, prints its path and ends the program.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"

scripts/install-deps.sh
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" >/dev/null
cmake --build build/win -j2 --target quillet
EXE=$(find build/win -name quillet.exe -not -path '*/wineprefix/*' -not -path '*/googletest/*' | head -1)
if [[ -z "$EXE" ]]; then
  echo "run.sh: quillet.exe was not built" >&2
  exit 1
fi

# A prefix of its own, kept between runs, so the program's settings stay as left.
export WINEPREFIX="$ROOT/build/run-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
# The update check and feedback stay on this machine unless you name a service yourself.
source scripts/loopback-service.sh
scripts/wine-prefix.sh "$WINEPREFIX"

if [[ -n "${DISPLAY:-}" ]]; then
  wine "$EXE" "$@"
  wineserver -w
  exit 0
fi

# shellcheck source=scripts/xvfb.sh
source scripts/xvfb.sh
xvfb_start
stop_all() {
  wineserver -k 2>/dev/null || true
  xvfb_stop
}
trap stop_all EXIT

wine "$EXE" "$@" >/dev/null 2>&1 &
if ! timeout 60 xdotool search --sync --onlyvisible --name "KALMIRO - Quillet" >/dev/null; then
  echo "run.sh: the main window did not appear within 60 s" >&2
  exit 1
fi
# Let the first paint finish before taking the picture.
sleep 1
mkdir -p build/screenshots
import -window root build/screenshots/run.png
echo "Quillet started; screenshot: $ROOT/build/screenshots/run.png"
