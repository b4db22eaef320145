#!/bin/sh
# Builds the native tree and runs the benchmarks. Extra arguments go to the benchmark
# program, e.g. bench/run.sh --benchmark_filter=FolderWalk
# BUILD_DIR picks the build folder (default: build-bench beside this folder).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" --target quillet_bench -j2
exec "$BUILD_DIR/bench/quillet_bench" "$@"
