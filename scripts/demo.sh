#!/usr/bin/env bash
# Builds rcpstore and runs its demo: a small project in build/rcpstore-demo,
# with a station of its own in build/demo-station.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j "$(nproc)" --target rcpstore
rm -rf build/rcpstore-demo
export QVC_STATION_DIR=${QVC_STATION_DIR:-$PWD/build/demo-station}
mkdir -p "$QVC_STATION_DIR"
build/tools/rcpstore/rcpstore demo build/rcpstore-demo
