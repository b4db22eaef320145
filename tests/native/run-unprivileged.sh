#!/bin/sh
# Runs a test program as an unprivileged user, so that the tests which need a real permission
# denial (a folder without access, a read-only folder, a file that cannot be replaced) run
# rather than skip: root reads and writes past every permission.
#   run-unprivileged.sh <test program> [its options]
# Fails when the program fails, when any test skips, or when no test ran.
set -u
program=$1
shift

if [ "$(id -u)" -eq 0 ]; then
  # The user "nobody" may not reach the build folder, so the program runs from a copy.
  copy=$(mktemp -d)
  trap 'rm -rf "$copy"' EXIT
  chmod 755 "$copy"
  cp "$program" "$copy/"
  output=$(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$copy" TMPDIR=/tmp \
             "$copy/$(basename "$program")" "$@" 2>&1)
else
  output=$("$program" "$@" 2>&1)
fi
status=$?
printf '%s\n' "$output"

if [ $status -ne 0 ]; then
  echo "run-unprivileged: the tests failed (exit $status)" >&2
  exit $status
fi
if printf '%s\n' "$output" | grep -q '^\[  SKIPPED \]'; then
  echo "run-unprivileged: a test skipped as an unprivileged user; it must run here" >&2
  exit 1
fi
if ! printf '%s\n' "$output" | grep -Eq '^\[  PASSED  \] [1-9]'; then
  echo "run-unprivileged: no test ran" >&2
  exit 1
fi
