#!/usr/bin/env bash
# Times the README's two commands on a fresh clone of this checkout's HEAD, as
# a newcomer or CI meets them (the Debian packages already installed), and
# prints one row each: what | figure | floor | ratio | goal.
#   bench/build-time.sh          scripts/demo.sh only (about 2 minutes)
#   bench/build-time.sh --tests  scripts/test.sh too (about 10 minutes more)
set -euo pipefail
cd "$(dirname "$0")/.."
clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT
git clone -q . "$clone/src"

row() { printf '%-46s | %-24s | %-24s | %-7s | %s\n' "$@"; }

# Wall time of a script of the fresh clone, in seconds; its output in $clone.
timed() {
  local t0 t1
  t0=$(date +%s)
  (cd "$clone/src" && QVC_STATION_DIR=$clone/station "$1" > "$clone/$(basename "$1").log" 2>&1)
  t1=$(date +%s)
  echo $((t1 - t0))
}

mkdir "$clone/station"
demo=$(timed scripts/demo.sh)
row "scripts/demo.sh, fresh clone" "${demo} s" "" "" "<= 120 s"
if [ "${1:-}" = --tests ]; then
  tests=$(timed scripts/test.sh)
  row "scripts/test.sh, fresh clone" "${tests} s" "" "" "<= 600 s"
fi
