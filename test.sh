#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test:
#   build/native  the logic and its GoogleTest suites, benchmarks and fuzz target (Linux)
#   build/tsan    the logic's tests built with ThreadSanitizer; those that start threads run
#   build/win-clang  quillet.exe alone, cross-built a second time with Clang for MinGW-w64
#                 (cmake/clang-mingw-w64.cmake) with -Werror: any compiler warning fails it
#   build/win     quillet.exe cross-built with MinGW-w64, its Win32-layer tests and the
#                 end-to-end tests, all run under Wine on a private virtual screen
# Ends with one line "N passed, M failed" over both test runs; a tree that does not build
# counts as one failure. Exits non-zero if anything failed.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"

passed=0
failed=0

# Adds the counts of one ctest log ("N% tests passed, X tests failed out of Y").
count_ctest() {
  local log=$1 line total bad
  line=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [[ -z "$line" ]]; then
    if grep -q 'No tests were found' "$log"; then return 0; fi
    echo "test.sh: no ctest summary in $log" >&2
    failed=$((failed + 1))
    return 0
  fi
  bad=$(sed -E 's/^([0-9]+) .*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+)$/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

step() { echo; echo "=== $*"; }

step "Installing missing packages"
if ! scripts/install-deps.sh; then
  echo "test.sh: could not install the packages the build needs" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

step "Native build (build/native)"
if cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release &&
   cmake --build build/native -j2; then
  step "Native tests"
  ctest --test-dir build/native --output-on-failure -j2 --timeout 600 2>&1 | tee build/native/ctest.log
  count_ctest build/native/ctest.log
else
  echo "test.sh: the native tree did not build" >&2
  failed=$((failed + 1))
fi

step "ThreadSanitizer build of the tests that start real threads (build/tsan)"
# The update check's hand-over between its thread and the window's poll; any report of a race
# fails the run.
if cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread \
     -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null &&
   cmake --build build/tsan -j2 --target quillet_native_tests; then
  TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --test-dir build/tsan -R '^(UpdateCheckRun|Checker)' \
    --output-on-failure --timeout 300 2>&1 | tee build/tsan/ctest.log
  count_ctest build/tsan/ctest.log
else
  echo "test.sh: the ThreadSanitizer tree did not build" >&2
  failed=$((failed + 1))
fi

step "Windows build with Clang (build/win-clang, quillet.exe only, warnings are errors)"
# A second compiler over the program's sources; nothing of it runs here.
if cmake -S . -B build/win-clang -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/clang-mingw-w64.cmake" \
     -DCMAKE_CXX_FLAGS=-Werror -DCMAKE_C_FLAGS=-Werror >/dev/null &&
   cmake --build build/win-clang -j2 --target quillet; then
  echo "Clang build: $ROOT/build/win-clang/src/app/quillet.exe"
  passed=$((passed + 1))
else
  echo "test.sh: quillet.exe did not build with Clang" >&2
  failed=$((failed + 1))
fi

step "Windows build (build/win, MinGW-w64)"
if cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
     -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" \
     -DQUILLET_SERVICE_PROGRAM="$ROOT/build/native/server/quillet-service" &&
   cmake --build build/win -j2; then
  step "Wine prefix (build/win/wineprefix, made fresh for this run)"
  export WINEPREFIX="$ROOT/build/win/wineprefix"
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  if scripts/wine-prefix.sh "$WINEPREFIX"; then
    export QUILLET_SCREENSHOT_DIR="$ROOT/build/screenshots"
    rm -rf "$QUILLET_SCREENSHOT_DIR"
    mkdir -p "$QUILLET_SCREENSHOT_DIR"
    # shellcheck source=scripts/xvfb.sh
    source scripts/xvfb.sh
    if xvfb_start; then
      step "Windows tests under Wine (display $DISPLAY)"
      # One at a time: the tests share the screen, the clipboard and the Wine server.
      ctest --test-dir build/win --output-on-failure --timeout 900 2>&1 | tee build/win/ctest.log
      count_ctest build/win/ctest.log
      wineserver -k 2>/dev/null || true
      xvfb_stop
    else
      failed=$((failed + 1))
    fi
    shopt -s nullglob
    for shot in "$QUILLET_SCREENSHOT_DIR"/*.bmp; do
      convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
    done
    shopt -u nullglob
    pngs=("$QUILLET_SCREENSHOT_DIR"/*.png)
    if [[ -e "${pngs[0]}" ]]; then
      echo "Screenshots: ${pngs[*]}"
    fi
  else
    echo "test.sh: the Wine prefix could not be made" >&2
    failed=$((failed + 1))
  fi
else
  echo "test.sh: the Windows tree did not build" >&2
  failed=$((failed + 1))
fi

echo
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
