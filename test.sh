#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests. Without a part it runs every part, in the
# order below; that is the command CI and README use. With parts it runs just those:
#   ./test.sh win32 e2e        ./test.sh --help lists the parts.
# Ends with one line "N passed, M failed" over the parts run; a tree that does not build counts as
# one failure. Exits non-zero if anything failed.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"

PARTS=(native asan tsan fuzz clang win)
usage() {
  cat <<'EOF'
Usage: ./test.sh [part...]

Without a part, every part runs (native asan tsan fuzz clang win). Parts:
  native      build/native: the logic's suites (also as an unprivileged user), the native client,
              the maker's web service and its nginx front
  service     build/native: only the web service's tests (a subset of native)
  asan        build/asan: the native suites with AddressSanitizer and UndefinedBehaviorSanitizer
  tsan        build/tsan: the programs that start threads, with ThreadSanitizer
  sanitizers  asan and tsan
  fuzz        build/fuzz: each fuzz target briefly over its seeds (QUILLET_FUZZ_SECONDS, 20 s)
  clang       build/win-clang: quillet.exe built with Clang for MinGW-w64, warnings are errors
  win         build/win: quillet.exe with MinGW-w64, its Win32-layer tests and the end-to-end
              tests, under Wine on a private virtual screen
  win32       build/win: only the Win32-layer tests
  e2e         build/win: only the end-to-end tests
EOF
}

selected=()
for argument in "$@"; do
  case "$argument" in
    -h|--help) usage; exit 0 ;;
    native|service|asan|tsan|fuzz|clang|win|win32|e2e) selected+=("$argument") ;;
    sanitizers) selected+=(asan tsan) ;;
    *) echo "test.sh: no part named '$argument'" >&2; usage >&2; exit 2 ;;
  esac
done
[[ ${#selected[@]} -gt 0 ]] || selected=("${PARTS[@]}")

passed=0
failed=0
# What failed, by name, repeated at the end: a CI log shows only its last lines.
failures=()
# Tests that skipped themselves (counted neither way; the unprivileged run covers the
# permission tests that root skips).
skipped=()

step() { echo; echo "=== $*"; }

# A step that could not run or build counts as one failure, named in the closing list.
fail_step() {
  echo "test.sh: $1" >&2
  failures+=("$1")
  failed=$((failed + 1))
}

# Runs ctest in build/$1 with the further arguments and counts its results from the JUnit report
# ctest writes and from its exit status: a run that ends badly without a failed test in the
# report (a crash of ctest, a test it could not start) counts as one failure of its own.
run_ctest() {
  local tree=$1
  shift
  local junit="$ROOT/build/$tree/ctest-junit.xml" log="$ROOT/build/$tree/ctest.log"
  rm -f "$junit"
  ctest --test-dir "build/$tree" --output-on-failure --output-junit "$junit" "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  if [[ ! -s "$junit" ]]; then
    fail_step "ctest in build/$tree wrote no report (exit $status)"
    return 0
  fi
  # One <testcase name="..." status="run|fail|notrun|disabled"> per test: "run" passed. A test
  # that skipped itself (GTEST_SKIP, as the permission tests do under root) is "notrun" with
  # the skip expression's mark; any other "notrun" (a program missing, say) failed.
  local ran=0 bad=0 verdict name
  while read -r verdict name; do
    case "$verdict" in
      PASS) ran=$((ran + 1)) ;;
      SKIP) skipped+=("build/$tree: $name") ;;
      FAIL) failures+=("build/$tree: $name"); bad=$((bad + 1)) ;;
    esac
  done < <(awk '
    pending != "" {
      print (/<skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/ ? "SKIP " : "FAIL ") pending
      pending = ""
    }
    /<testcase / {
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      status = $0; sub(/.* status="/, "", status); sub(/".*/, "", status)
      if (status == "run") print "PASS " name
      else if (status == "notrun") pending = name
      else if (status != "disabled") print "FAIL " name
    }
    END { if (pending != "") print "FAIL " pending }' "$junit")
  passed=$((passed + ran))
  failed=$((failed + bad))
  if ((bad > 0)); then
    # The lines that say why, so the reason too survives a log cut to its end.
    while IFS= read -r reason; do failures+=("    $reason"); done < <(
      grep -E '(: Failure$|^Expected|^  Actual|Which is|Value of|ERROR: |WARNING: ThreadSanitizer|runtime error|run-unprivileged|\*\*\*Timeout|Exception)' "$log" | head -20)
  elif [[ $status -ne 0 ]]; then
    fail_step "ctest in build/$tree ended with status $status and no failed test"
  fi
}

# Configures build/native and builds the given targets (all without one).
build_native() {
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build/native -j2 ${1:+--target "$@"}
}

# A sanitizer tree: configures build/$1 with the compiler flags $2 and builds the targets after.
build_sanitized() {
  local tree=$1 flags=$2
  shift 2
  cmake -S . -B "build/$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=$flags" >/dev/null &&
    cmake --build "build/$tree" -j2 --target "$@"
}

part_native() {
  step "Native build (build/native)"
  if build_native; then
    step "Native tests"
    run_ctest native -j2 --timeout 600
  else
    fail_step "the native tree did not build"
  fi
}

part_service() {
  step "The web service's tests (build/native)"
  if build_native quillet_service_tests quillet-service; then
    run_ctest native -L '^service$' -j2 --timeout 600
  else
    fail_step "the web service's tests did not build"
  fi
}

part_asan() {
  step "AddressSanitizer and UndefinedBehaviorSanitizer build of the native suites (build/asan)"
  # Every native suite: the logic, the native client's transport and the web service, whose test
  # harness fails a test when the service it ran wrote a sanitizer report. Any report fails.
  if build_sanitized asan "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
       quillet_native_tests quillet_email_regex_tests quillet_service_client_tests \
       quillet_service_tests quillet-service; then
    ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
      run_ctest asan -j2 --timeout 900
  else
    fail_step "the AddressSanitizer tree did not build"
  fi
}

part_tsan() {
  step "ThreadSanitizer build of the programs that start threads (build/tsan)"
  # Every test of a program that starts real threads carries the label "threads" (the update
  # check's hand-over to the window's poll, the web service's workers on both stores, its group
  # commit and its metrics counters), so a new test of such a program is checked too; any
  # report of a race fails the run.
  if build_sanitized tsan "-fsanitize=thread" quillet_native_tests quillet_service_tests quillet-service; then
    TSAN_OPTIONS="halt_on_error=1 exitcode=66" run_ctest tsan -L '^threads$' --timeout 900
  else
    fail_step "the ThreadSanitizer tree did not build"
  fi
}

part_fuzz() {
  step "Fuzz targets built with Clang, each run briefly over its seed corpus (build/fuzz)"
  # A smoke run, so a target that no longer builds or an input that now crashes turns the run
  # red; fuzz/run.sh makes the long runs. New inputs go to a scratch folder; the seeds stay
  # untouched. Each target counts by the exit status of its run.
  local targets name
  if ! targets=$(fuzz/run.sh --list); then
    fail_step "the fuzz targets could not be listed"
    return 0
  fi
  for name in $targets; do
    if BUILD_DIR="$ROOT/build/fuzz" fuzz/run.sh "${QUILLET_FUZZ_SECONDS:-20}" "$name"; then
      passed=$((passed + 1))
    else
      fail_step "fuzz target $name failed or did not build"
    fi
  done
}

part_clang() {
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
}

# The Windows tree and its tests under Wine; $1 is the ctest label to run (win32 or e2e), or
# empty for both.
part_win() {
  local label=${1:-}
  step "Windows build (build/win, MinGW-w64)"
  # The update and feedback cases run against the web service of the native tree.
  if ! build_native quillet-service; then
    fail_step "the web service the Windows tests talk to did not build"
    return 0
  fi
  if ! cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
         -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
         -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" \
         -DQUILLET_SERVICE_PROGRAM="$ROOT/build/native/server/quillet-service" ||
     ! cmake --build build/win -j2; then
    fail_step "the Windows tree did not build"
    return 0
  fi
  step "Wine prefix (build/win/wineprefix, made fresh for this run)"
  export WINEPREFIX="$ROOT/build/win/wineprefix"
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  if ! scripts/wine-prefix.sh "$WINEPREFIX"; then
    fail_step "the Wine prefix could not be made"
    return 0
  fi
  export QUILLET_SCREENSHOT_DIR="$ROOT/build/screenshots"
  rm -rf "$QUILLET_SCREENSHOT_DIR"
  mkdir -p "$QUILLET_SCREENSHOT_DIR"
  # shellcheck source=scripts/xvfb.sh
  source scripts/xvfb.sh
  if xvfb_start; then
    step "Windows tests under Wine (display $DISPLAY)"
    # One at a time: the tests share the screen, the clipboard and the Wine server.
    run_ctest win ${label:+-L "^$label\$"} --timeout 900
    # Programs a passing test left running, and process starts Wine had to be asked twice
    # for: the tests say so in their output; shown here too.
    grep -h -E '\[ (LEFTOVER|WINE RETRY) \]' build/win/Testing/Temporary/LastTest.log 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    xvfb_stop
  else
    fail_step "the virtual screen could not be started"
  fi
  local shot pngs
  shopt -s nullglob
  for shot in "$QUILLET_SCREENSHOT_DIR"/*.bmp; do
    convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
  done
  pngs=("$QUILLET_SCREENSHOT_DIR"/*.png)
  shopt -u nullglob
  if [[ ${#pngs[@]} -gt 0 ]]; then
    echo "Screenshots: ${pngs[*]}"
  fi
}

step "Installing missing packages"
if ! scripts/install-deps.sh; then
  echo "test.sh: could not install the packages the build needs" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

for part in "${selected[@]}"; do
  case "$part" in
    win32|e2e) part_win "$part" ;;
    *) "part_$part" ;;
  esac
done

echo
if [[ ${#skipped[@]} -gt 0 ]]; then
  echo "Skipped by the tests themselves (${#skipped[@]}):"
  printf '  %s\n' "${skipped[@]}"
fi
if [[ ${#failures[@]} -gt 0 ]]; then
  echo "Failed:"
  printf '  %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
