#!/usr/bin/env bash
# Builds the program and its yardstick, then measures them under Wine in one run:
# start-up against an empty window and a window with the same controls (QUILLET_STARTUP_RUNS runs of QUILLET_STARTUP_ROUNDS rounds),
# file size, a 100,000-line paste, the cost of waiting, the processor time of the about
# window with its rain, and an opening run's cost with and without its progress.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
scripts/install-deps.sh
build=build/win
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" >/dev/null
cmake --build "$build" -j2 --target quillet_window_bench quillet_about_bench quillet_run_bench
source scripts/xvfb.sh
export WINEPREFIX="$root/build/bench-prefix"
scripts/wine-prefix.sh "$WINEPREFIX"
xvfb_start
# Start-up times move from run to run: the start-up is measured in several runs of many rounds
# each (the first run also takes the other measurements), each giving its median and spread.
rounds="${QUILLET_STARTUP_ROUNDS:-21}"
runs="${QUILLET_STARTUP_RUNS:-3}"
quillet_exe="$(winepath -w "$build/src/app/quillet.exe")"
empty_exe="$(winepath -w "$build/bench/win32/empty_window.exe")"
floor_exe="$(winepath -w "$build/bench/win32/controls_window.exe")"
scripts/wine-run.sh "$build/bench/win32/quillet_window_bench.exe" "$quillet_exe" "$empty_exe" --floor "$floor_exe" --rounds "$rounds"
for ((run = 2; run <= runs; run++)); do
  echo "start-up, run $run of $runs:"
  scripts/wine-run.sh "$build/bench/win32/quillet_window_bench.exe" "$quillet_exe" "$empty_exe" \
    --floor "$floor_exe" --rounds "$rounds" --startup-only
done
scripts/wine-run.sh "$build/bench/win32/quillet_about_bench.exe"
# An opening run of 1,000 entries without waits, with and without its progress in the status bar
# and on the taskbar button; each entry starts hostname.exe, which ends at once.
scripts/wine-run.sh "$build/bench/win32/quillet_run_bench.exe" 'C:\windows\system32\hostname.exe' \
  --entries "${QUILLET_RUN_ENTRIES:-1000}" --rounds "${QUILLET_RUN_ROUNDS:-3}"
