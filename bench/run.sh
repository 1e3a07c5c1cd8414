#!/usr/bin/env bash
# Times what users wait for side by side with the plain tool that does the
# same physical work, each pair alternating in one run (the machine may be
# shared: read the ratios), and prints one row per goal:
#   what | figure | floor | ratio | goal
# Usage: bench/run.sh [RUNS]; RCPSTORE=FILE measures that rcpstore instead of
# this tree's release build (a before-and-after comparison).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF > /dev/null
cmake --build build-bench -j "$(nproc)" --target rcpstore rcpstore-genstore rcpstore-lockbench qv_templates > /dev/null
rcpstore=${RCPSTORE:-$PWD/build-bench/tools/rcpstore/rcpstore}
gen=$PWD/build-bench/bench/rcpstore-genstore
templates=$PWD/build-bench/templates/QVSystem
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QVC_STATION_DIR=$work/station
mkdir -p "$QVC_STATION_DIR"

# Wall time of one run of a command, in microseconds.
run_us() {
  [ -n "${prepare:-}" ] && eval "$prepare"
  local t0=$(date +%s%N)
  eval "$1" > /dev/null
  local t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}

median_ms() { sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'; }

# Times $1 and its floor $2 alternately $runs times; sets ours and floor
# (median ms).
pair() {
  local a=() b=()
  for _ in $(seq "$runs"); do
    a+=($(run_us "$1"))
    b+=($(run_us "$2"))
  done
  ours=$(printf '%s\n' "${a[@]}" | median_ms)
  floor=$(printf '%s\n' "${b[@]}" | median_ms)
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Peak resident memory of a command, in MB.
peak_mb() { /usr/bin/time -f %M bash -c "exec $1" 2>&1 > /dev/null | tail -1 | awk '{printf "%.1f", $1 / 1024}'; }

# System calls of a command, all kinds together.
syscalls() { strace -f -c -o "$work/strace.txt" bash -c "exec $1" > /dev/null; awk '/^-+/ {n++; next} n == 2 {print $4; exit}' "$work/strace.txt"; }

# Calls of the named kinds (comma-separated) a command makes.
calls_of() { strace -f -c -e trace="$2" -o "$work/strace.txt" bash -c "exec $1" > /dev/null; awk '/^-+/ {n++; next} n == 2 {print $4; exit}' "$work/strace.txt"; }

row() { printf '%-46s | %-24s | %-24s | %-7s | %s\n' "$@"; }

row "what" "figure" "floor" "ratio" "goal"

# The store every tree row reads: 16 groups x 1000 recipes with real headers
# and sub-group files.
"$gen" "$work/store" 16 1000 "$templates/RcpHead.edf"
sync
find_dirs="find $work/store/Recipe -mindepth 1 -maxdepth 3 -type d"
pair "$rcpstore tree $work/store --plain --json" "$find_dirs"
calls=$(syscalls "$rcpstore tree $work/store --plain --json")
row "tree --plain --json, 16 x 1000" "$ours ms" "find -type d $floor ms" "$(ratio "$ours" "$floor")" \
    "<= 0.6; $(awk -v c="$calls" 'BEGIN {printf "%.1f", c / 16000}') calls a recipe (<= 4)"

cat_heads="find $work/store/Recipe -name RcpHead.edf -print0 | xargs -0 cat"
pair "$rcpstore tree $work/store --json" "$cat_heads"
row "tree --json with titles, 16 x 1000" "$ours ms" "find | xargs cat $floor ms" "$(ratio "$ours" "$floor")" "<= 1.0"

# Flat: the same figure for a store a quarter the size.
"$gen" "$work/small" 4 1000 "$templates/RcpHead.edf"
row "peak memory of tree --json, 16 x 1000" "$(peak_mb "$rcpstore tree $work/store --json") MB" \
    "4 x 1000: $(peak_mb "$rcpstore tree $work/small --json") MB" "" "<= 16 MB, flat"

group=$work/store/Recipe/RG01
pair "$rcpstore recipe list $group --json" "cat $group/RCP*/RcpHead.edf"
row "recipe list --json, 1000 recipes" "$ours ms" "cat headers $floor ms" "$(ratio "$ours" "$floor")" "<= 1.0"

"$rcpstore" project create rg "$work" --quiet
"$rcpstore" group create "$work/rg" 1 --quiet
"$rcpstore" recipe create "$work/rg/Recipe/RG01" 999 --quiet
deepest=$("$gen" --subgroup-file "$work/original.txt" 20000)
target=${deepest##* }
file=$work/rg/Recipe/RG01/RcpSubGroup.txt
prepare="cp $work/original.txt $file"
# A failed put would be timed as if it had worked: run it once and check.
eval "$prepare"
"$rcpstore" subgroup put "$work/rg/Recipe/RG01" RCP0999 $deepest --quiet
grep -q "^NODE,RCP0999" "$file"
pair "$rcpstore subgroup put $work/rg/Recipe/RG01 RCP0999 $deepest" \
     "sed -i 's/^STARTSUB,$target\r\$/&\nNODE,RCP0999\r/' $file"
prepare=
row "subgroup put, 20,000-line file" "$ours ms" "sed -i $floor ms" "$(ratio "$ours" "$floor")" "<= 1.2"

saved=$runs
runs=$((runs * 4))
pair "$rcpstore --version" "true"
runs=$saved
row "process start (--version)" "$ours ms" "true $floor ms" \
    "+$(awk -v a="$ours" -v b="$floor" 'BEGIN {printf "%.2f", a - b}') ms" "<= 2 ms above"

# A batch of 1000 creates in a fresh group under $1: sets ours (median of 3
# runs, ms) and fsyncs (flushes a create makes).
batch() {
  "$rcpstore" project create B "$1" --quiet
  "$rcpstore" group create "$1/B" 1 --quiet
  for n in $(seq 1000); do echo "recipe create $1/B/Recipe/RG01 $n"; done > "$1/creates.txt"
  prepare="rm -rf $1/B/Recipe/RG01/RCP*"
  local times=()
  for _ in 1 2 3; do times+=($(run_us "$rcpstore batch $1/creates.txt --quiet")); done
  ours=$(printf '%s\n' "${times[@]}" | median_ms)
  eval "$prepare"
  flushes=$(calls_of "$rcpstore batch $1/creates.txt --quiet" fsync,fdatasync,sync_file_range,syncfs)
  prepare=
}
if [ -d /dev/shm ] && memory=$(mktemp -d -p /dev/shm 2> /dev/null); then
  mkdir "$memory/station"
  QVC_STATION_DIR=$memory/station batch "$memory"
  rm -rf "$memory"
  row "batch of 1000 recipe create, tmpfs" "$ours ms" "" "" "<= 250 ms"
fi
mkdir -p "$work/batch"
batch "$work/batch"
row "batch of 1000 recipe create, disk" "$ours ms" "" "" \
    "$(awk -v f="$flushes" 'BEGIN {printf "%.2f", f / 1000}') flushes a create (see bench/README.md)"

echo
echo "== file entries of a group: 1000 recipes, every top-level header read =="
pair "$rcpstore ls --children $group --json" "cat $group/RCP*/RcpHead.edf"
echo "rcpstore ls --children --json: ${ours} ms   cat RcpHead.edf: ${floor} ms   ratio: $(ratio "$ours" "$floor")"

echo "== verify: 16 groups x 1000 recipes, every data file read =="
"$gen" "$work/verify" 16 1000 "$templates/RcpHead.edf" "$templates/RcpPrt.edf"
sync
pair "$rcpstore verify $work/verify" "find $work/verify/Recipe -name '*.edf' -exec cat {} +"
echo "rcpstore verify: ${ours} ms   find + cat every .edf: ${floor} ms   ratio: $(ratio "$ours" "$floor")"

echo "== export: the same store =="
prepare="rm -f $work/verify.tgz"
pair "$rcpstore export $work/verify $work/verify.tgz" "tar czf $work/verify.tgz -C $work/verify Recipe"
prepare=
echo "rcpstore export: ${ours} ms   tar czf: ${floor} ms   ratio: $(ratio "$ours" "$floor")"

echo "== recipe history: 1000 versions of one recipe, and the cost of a change =="
# The floor of a change with history is the same change made by rcpstore as
# it was before the history (BASELINE_RCPSTORE, else built here from the
# last commit before it).
baseline=${BASELINE_RCPSTORE:-}
if [ -z "$baseline" ]; then
  mkdir "$work/base"
  git archive 3174236 | tar -x -C "$work/base"
  cmake -S "$work/base" -B "$work/base/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF -DQV_BENCH=OFF > /dev/null
  cmake --build "$work/base/build" -j "$(nproc)" --target rcpstore > /dev/null
  baseline=$work/base/build/tools/rcpstore/rcpstore
fi
history_store() {  # $1: rcpstore, $2: directory, $3: project name; recipe @NAME/1/1 with units 0-2
  "$1" project create "$3" "$2" --quiet
  "$1" project register "$3" "$2/$3" --quiet
  "$1" group create "@$3" 1 --quiet
  "$1" recipe create "@$3/1" 1 --quiet
  for u in 0 1 2; do "$1" unit create "@$3/1/1" $u --quiet; done
}
mkdir -p "$work/history" "$work/plain"
history_store "$rcpstore" "$work/history" H
history_store "$baseline" "$work/plain" P
for n in $(seq 1000); do echo "recipe set @H/1/1 --comment edit$n"; done > "$work/edits.txt"
"$rcpstore" batch "$work/edits.txt" --quiet
head_size=$(stat -c %s "$work/history/H/Recipe/RG01/RCP0001/RcpHead.edf")
kept=$(du -sb "$work/history/H/Recipe/.history" | cut -f1)
blocks=$(du -sB1 "$work/history/H/Recipe/.history" | cut -f1)
row "history of 1000 recipe sets (apparent bytes)" "$kept B" "1000 x header $((1000 * head_size)) B" \
    "$(ratio "$kept" $((1000 * head_size)))" "< 1.0 (on disk: $blocks B)"
for n in $(seq 200); do echo "recipe set @H/1/1 --comment again$n"; done > "$work/with.txt"
sed 's/@H\//@P\//' "$work/with.txt" > "$work/without.txt"
saved=$runs
runs=5
pair "$rcpstore batch $work/with.txt --quiet" "$baseline batch $work/without.txt --quiet"
runs=$saved
row "200 recipe sets in a batch, with history" "$ours ms" "before history $floor ms" "$(ratio "$ours" "$floor")" "<= 1.3"
flushes=$(calls_of "$rcpstore recipe set @H/1/1 --comment once" fsync,fdatasync)
before=$(calls_of "$baseline recipe set @P/1/1 --comment once" fsync,fdatasync)
echo "flushes of one recipe set: $flushes with history, $before before"

echo "== locks =="
"$PWD/build-bench/bench/rcpstore-lockbench" "$work/locks" 5000 8

echo
echo "== the build: the README's commands on a fresh clone =="
# BENCH_TESTS=1 times scripts/test.sh too (ten minutes more).
bench/build-time.sh ${BENCH_TESTS:+--tests}
