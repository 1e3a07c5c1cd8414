#!/usr/bin/env bash
# Builds everything and runs every test, first in a normal (optimized) build,
# then in a checked build: AddressSanitizer and UndefinedBehaviorSanitizer,
# with assertions on (no NDEBUG, the standard library's checks); last, a few
# seconds of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DQV_BENCH=OFF "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== normal build =="
run_suite build
echo "== checked build: sanitizers, assertions on =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build-sanitize -DQV_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
echo "== fuzz targets, short run =="
scripts/fuzz.sh short
