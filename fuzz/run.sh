#!/bin/sh
# Builds the settings.ini fuzz target with clang and runs it.
#   fuzz/run.sh [seconds] [more libFuzzer options]   (default 180 seconds)
# The seed files in fuzz/corpus stay untouched; new inputs collect in the build folder.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_TO_RUN=${1:-180}
[ $# -gt 0 ] && shift
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --target quillet_fuzz_ini -j2
mkdir -p "$BUILD_DIR/fuzz/work-corpus" "$BUILD_DIR/fuzz/artifacts"
exec "$BUILD_DIR/fuzz/quillet_fuzz_ini" "$BUILD_DIR/fuzz/work-corpus" "$ROOT/fuzz/corpus" \
  -max_total_time="$SECONDS_TO_RUN" -artifact_prefix="$BUILD_DIR/fuzz/artifacts/" -print_final_stats=1 "$@"
