#!/usr/bin/env bash
# Builds the program and its yardstick, then measures them under Wine in one run:
# start-up against an empty window, file size, a 100,000-line paste, the cost of waiting and
# the processor time of the about window with its rain.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
scripts/install-deps.sh
build=build/win
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" >/dev/null
cmake --build "$build" -j2 --target quillet_window_bench quillet_about_bench
source scripts/xvfb.sh
export WINEPREFIX="$root/build/bench-prefix"
scripts/wine-prefix.sh "$WINEPREFIX"
xvfb_start
scripts/wine-run.sh "$build/bench/win32/quillet_window_bench.exe" \
  "$(winepath -w "$build/src/app/quillet.exe")" "$(winepath -w "$build/bench/win32/empty_window.exe")"
scripts/wine-run.sh "$build/bench/win32/quillet_about_bench.exe"
