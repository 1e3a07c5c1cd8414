#!/usr/bin/env bash
# Builds everything and runs every test, first in a normal build, then under
# AddressSanitizer and UndefinedBehaviorSanitizer; then a Debug build (no
# optimizer, assertions on) runs the tests without the long harnesses; last,
# a few seconds of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  local ctest_args=$1; shift
  cmake -S . -B "$dir" -G Ninja -DQV_BENCH=OFF "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
  # shellcheck disable=SC2086
  (cd "$dir" && ctest --output-on-failure -j "$jobs" $ctest_args)
}

echo "== normal build =="
run_suite build ""
echo "== sanitizer build =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build-sanitize "" -DQV_SANITIZE=ON
echo "== debug build =="
run_suite build-debug "-LE harness" -DCMAKE_BUILD_TYPE=Debug
echo "== fuzz targets, short run =="
scripts/fuzz.sh short
