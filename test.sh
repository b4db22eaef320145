#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test:
#   build/native  the logic and its GoogleTest suites, the web service and its tests, benchmarks
#                 (Linux); the logic's suite runs a second time as an unprivileged user
#   build/asan    the same suites built with AddressSanitizer and UndefinedBehaviorSanitizer
#   build/tsan    the tests that start real threads (the update check, the web service's workers)
#                 built with ThreadSanitizer
#   build/fuzz    the fuzz targets, built with Clang, each run briefly over its seed corpus
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
# What failed, by name, repeated at the end: a CI log shows only its last lines.
failures=()

# Adds the counts of one ctest log ("N% tests passed, X tests failed out of Y").
count_ctest() {
  local log=$1 line total bad
  line=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [[ -z "$line" ]]; then
    if grep -q 'No tests were found' "$log"; then return 0; fi
    fail_step "no ctest summary in $log"
    return 0
  fi
  bad=$(sed -E 's/^([0-9]+) .*/\1/' <<<"$line")
  while IFS= read -r name; do
    failures+=("$log: $name")
  done < <(sed -n '/^The following tests FAILED:/,/^Errors while running/p' "$log" |
             grep -E '^[[:space:]]+[0-9]+ - ' | sed -E 's/^[[:space:]]+//')
  # The lines that say why, so the reason too survives a log cut to its end.
  if ((bad > 0)); then
    while IFS= read -r reason; do failures+=("    $reason"); done < <(
      grep -E '(: Failure$|^Expected|^  Actual|Which is|Value of|ERROR: |WARNING: ThreadSanitizer|runtime error|run-unprivileged|\*\*\*Timeout|Exception)' "$log" | head -20)
  fi
  total=$(sed -E 's/.* ([0-9]+)$/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

step() { echo; echo "=== $*"; }

# A step that could not run or build counts as one failure, named in the closing list.
fail_step() {
  echo "test.sh: $1" >&2
  failures+=("$1")
  failed=$((failed + 1))
}

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
  fail_step "the native tree did not build"
fi

# A sanitizer tree: configures build/$1 with the compiler flags $2 and builds the targets after.
build_sanitized() {
  local tree=$1 flags=$2
  shift 2
  cmake -S . -B "build/$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=$flags" >/dev/null &&
    cmake --build "build/$tree" -j2 --target "$@"
}

step "AddressSanitizer and UndefinedBehaviorSanitizer build of the native suites (build/asan)"
# Every native suite: the logic, the native client's transport and the web service, whose test
# harness fails a test when the service it ran wrote a sanitizer report. Any report fails.
if build_sanitized asan "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
     quillet_native_tests quillet_email_regex_tests quillet_service_client_tests \
     quillet_service_tests quillet-service; then
  ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir build/asan --output-on-failure -j2 --timeout 900 2>&1 | tee build/asan/ctest.log
  count_ctest build/asan/ctest.log
else
  fail_step "the AddressSanitizer tree did not build"
fi

step "ThreadSanitizer build of the tests that start real threads (build/tsan)"
# The update check's hand-over between its thread and the window's poll, and the web service's
# worker threads against both stores, its group commit and its metrics counters; any report of a
# race fails the run.
if build_sanitized tsan "-fsanitize=thread" quillet_native_tests quillet_service_tests quillet-service; then
  TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --test-dir build/tsan -R '^(UpdateCheckRun|Checker|GroupCommitTest|Metrics\.|Stores/|Signals/)' \
    --output-on-failure --timeout 900 2>&1 | tee build/tsan/ctest.log
  count_ctest build/tsan/ctest.log
else
  fail_step "the ThreadSanitizer tree did not build"
fi

step "Fuzz targets built with Clang, each run briefly over its seed corpus (build/fuzz)"
# A smoke run, so a target that no longer builds or an input that now crashes turns the run red;
# fuzz/run.sh makes the long runs. New inputs go to a scratch folder; the seeds stay untouched.
# fuzz/run.sh ends each target with a line "fuzz <name>: passed" or "fuzz <name>: FAILED".
BUILD_DIR="$ROOT/build/fuzz" fuzz/run.sh "${QUILLET_FUZZ_SECONDS:-20}" 2>&1 | tee build/fuzz.log
fuzz_passed=$(grep -c '^fuzz [a-z_]*: passed$' build/fuzz.log)
fuzz_failed=$(grep -c '^fuzz [a-z_]*: FAILED' build/fuzz.log)
while IFS= read -r line; do failures+=("$line"); done < <(grep '^fuzz [a-z_]*: FAILED' build/fuzz.log)
passed=$((passed + fuzz_passed))
failed=$((failed + fuzz_failed))
if [[ $fuzz_passed -eq 0 && $fuzz_failed -eq 0 ]]; then
  fail_step "the fuzz targets did not build"
fi

step "Windows build with Clang (build/win-clang, quillet.exe only, warnings are errors)"
# A second compiler over the program's sources; nothing of it runs here. The compiler's
# warnings stop the build; the linker's are caught in its output.
if cmake -S . -B build/win-clang -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/clang-mingw-w64.cmake" \
     -DCMAKE_CXX_FLAGS=-Werror -DCMAKE_C_FLAGS=-Werror >/dev/null &&
   cmake --build build/win-clang -j2 --target quillet 2>&1 | tee build/win-clang/build.log &&
   [[ ${PIPESTATUS[0]} -eq 0 ]] && ! grep -i "warning:" build/win-clang/build.log; then
  echo "Clang build: $ROOT/build/win-clang/src/app/quillet.exe"
  passed=$((passed + 1))
else
  fail_step "quillet.exe did not build with Clang without a warning"
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
      # Programs a passing test left running: the tests name them and end them; shown here too.
      grep -h '\[ LEFTOVER \]' build/win/Testing/Temporary/LastTest.log 2>/dev/null || true
      wineserver -k 2>/dev/null || true
      xvfb_stop
    else
      fail_step "the virtual screen could not be started"
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
    fail_step "the Wine prefix could not be made"
  fi
else
  fail_step "the Windows tree did not build"
fi

echo
if [[ ${#failures[@]} -gt 0 ]]; then
  echo "Failed:"
  printf '  %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
