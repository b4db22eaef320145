#!/bin/sh
# Builds the fuzz targets with clang and runs them, one after the other.
#   fuzz/run.sh [seconds] [target] [more libFuzzer options]
#   fuzz/run.sh --list      prints the targets' names, one a line
# seconds: per target (default 180); target: one name of the list below (default: all).
# The seed files stay untouched; new inputs collect in the build folder. Each target ends with a
# line "fuzz <name>: passed" or "fuzz <name>: FAILED ..."; the exit status is 0 only when every
# target built and passed.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-fuzz}

# Each target as name:seed folder; the executable is quillet_fuzz_<name>.
TARGETS="ini:corpus list_files:corpus-lists command_line:corpus-command-line service_answer:corpus-service service_request:corpus-service-request"

if [ "${1:-}" = "--list" ]; then
  for target in $TARGETS; do echo "${target%%:*}"; done
  exit 0
fi

SECONDS_TO_RUN=${1:-180}
[ $# -gt 0 ] && shift
ONLY=
case "${1:-}" in
  ''|-*) ;;
  *) ONLY=$1; shift ;;
esac

selected=
for target in $TARGETS; do
  name=${target%%:*}
  if [ -z "$ONLY" ] || [ "$ONLY" = "$name" ]; then selected="$selected $target"; fi
done
if [ -z "$selected" ]; then
  echo "fuzz/run.sh: no target named '$ONLY'; known:$(for t in $TARGETS; do printf ' %s' "${t%%:*}"; done)" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ_INSTRUMENT=ON >/dev/null
for target in $selected; do
  cmake --build "$BUILD_DIR" --target "quillet_fuzz_${target%%:*}" -j2
done

status=0
for target in $selected; do
  name=${target%%:*}
  seeds=${target#*:}
  work="$BUILD_DIR/fuzz/work-$name"
  artifacts="$BUILD_DIR/fuzz/artifacts-$name"
  mkdir -p "$work" "$artifacts"
  echo "=== fuzzing $name for $SECONDS_TO_RUN s"
  if "$BUILD_DIR/fuzz/quillet_fuzz_$name" "$work" "$ROOT/fuzz/$seeds" \
       -max_total_time="$SECONDS_TO_RUN" -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"; then
    echo "fuzz $name: passed"
  else
    echo "fuzz $name: FAILED (the input is in $artifacts)"
    status=1
  fi
done
exit $status
