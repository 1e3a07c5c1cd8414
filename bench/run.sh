#!/usr/bin/env bash
# Runs the benchmarks side by side with the plain tools that do the same work,
# and reports medians, ratios and peak memory. Usage: bench/run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF > /dev/null
cmake --build build-bench -j "$(nproc)" --target rcpstore rcpstore-genstore rcpstore-lockbench qv_templates > /dev/null
rcpstore=$PWD/build-bench/tools/rcpstore/rcpstore
gen=$PWD/build-bench/bench/rcpstore-genstore
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QVC_STATION_DIR=$work/station
mkdir -p "$QVC_STATION_DIR"

# Median wall time in milliseconds of a command run $runs times.
median_ms() {
  local times=()
  for _ in $(seq "$runs"); do
    [ -n "${prepare:-}" ] && eval "$prepare"
    local t0=$(date +%s%N)
    eval "$1" > /dev/null
    local t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "== tree scan: 16 groups x 1000 recipes =="
"$gen" "$work/store" 16 1000
sync
ours=$(median_ms "$rcpstore tree $work/store --plain --json")
theirs=$(median_ms "find $work/store/Recipe -mindepth 1 -maxdepth 3 -type d")
rss=$(/usr/bin/time -f %M "$rcpstore" tree "$work/store" --plain --json 2>&1 > /dev/null | tail -1)
echo "rcpstore tree --plain --json: ${ours} ms   find: ${theirs} ms   ratio: $(ratio "$ours" "$theirs")   peak RSS: $((rss / 1024)) MB"

echo "== sub-group item insertion: 20,000-line file =="
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
ours=$(median_ms "$rcpstore subgroup put $work/rg/Recipe/RG01 RCP0999 $deepest")
theirs=$(median_ms "sed -i 's/^STARTSUB,$target\r\$/&\nNODE,RCP0999\r/' $file")
echo "rcpstore subgroup put: ${ours} ms   sed -i: ${theirs} ms   ratio: $(ratio "$ours" "$theirs")"

echo "== file entries of a group: 1000 recipes, every header read =="
"$gen" "$work/list" 1 1000 "$PWD/build-bench/templates/QVSystem/RcpHead.edf"
group=$work/list/Recipe/RG01
ours=$(median_ms "$rcpstore ls --children $group --json")
theirs=$(median_ms "cat $group/RCP*/RcpHead.edf")
echo "rcpstore ls --children --json: ${ours} ms   cat RcpHead.edf: ${theirs} ms   ratio: $(ratio "$ours" "$theirs")"
listing=$(median_ms "$rcpstore recipe list $group --json")
echo "rcpstore recipe list --json: ${listing} ms   cat RcpHead.edf: ${theirs} ms   ratio: $(ratio "$listing" "$theirs")   ls --children --json: ${ours} ms"

echo "== batch: 1000 recipe creates in one process =="
# Median of 3 runs of a batch of 1000 creates in a fresh group under $1.
batch_ms() {
  "$rcpstore" project create B "$1" --quiet
  "$rcpstore" group create "$1/B" 1 --quiet
  for n in $(seq 1000); do echo "recipe create $1/B/Recipe/RG01 $n"; done > "$1/creates.txt"
  prepare="rm -rf $1/B/Recipe/RG01/RCP*"
  local saved=$runs
  runs=3
  median_ms "$rcpstore batch $1/creates.txt --quiet"
  runs=$saved
  prepare=
}
mkdir -p "$work/batch"
on_disk=$(batch_ms "$work/batch")
echo "rcpstore batch, 1000 recipe creates on disk: ${on_disk} ms ($(ratio "$on_disk" 1000) ms a create; each flushes its file and two directories)"
# In memory the flushes cost nothing: what is left is the store's own work.
if [ -d /dev/shm ] && memory=$(mktemp -d -p /dev/shm 2> /dev/null); then
  mkdir "$memory/station"
  in_memory=$(QVC_STATION_DIR=$memory/station batch_ms "$memory")
  rm -rf "$memory"
  echo "rcpstore batch, 1000 recipe creates in memory (tmpfs): ${in_memory} ms"
fi

echo "== verify: 16 groups x 1000 recipes, every data file read =="
templates=$PWD/build-bench/templates/QVSystem
"$gen" "$work/verify" 16 1000 "$templates/RcpHead.edf" "$templates/RcpPrt.edf"
sync
ours=$(median_ms "$rcpstore verify $work/verify")
theirs=$(median_ms "find $work/verify/Recipe -name '*.edf' -exec cat {} +")
echo "rcpstore verify: ${ours} ms   find + cat every .edf: ${theirs} ms   ratio: $(ratio "$ours" "$theirs")"

echo "== export: the same store =="
prepare="rm -f $work/verify.tgz"
ours=$(median_ms "$rcpstore export $work/verify $work/verify.tgz")
theirs=$(median_ms "tar czf $work/verify.tgz -C $work/verify Recipe")
prepare=
echo "rcpstore export: ${ours} ms   tar czf: ${theirs} ms   ratio: $(ratio "$ours" "$theirs")"

echo "== recipe history: 1000 versions of one recipe, and the cost of a change =="
# The baseline is rcpstore built from a commit before the history
# (BASELINE_RCPSTORE, or main's build-bench at 3174236 when it is there);
# without one the comparison is skipped.
baseline=${BASELINE_RCPSTORE:-/work/main/build-bench/tools/rcpstore/rcpstore}
history_store() {  # $1: rcpstore, $2: directory; recipe @H/1/1 with units 0-2
  "$1" project create H "$2" --quiet
  "$1" project register "H$3" "$2/H" --quiet --replace
  "$1" group create "@H$3" 1 --quiet
  "$1" recipe create "@H$3/1" 1 --quiet
  for u in 0 1 2; do "$1" unit create "@H$3/1/1" $u --quiet; done
}
mkdir -p "$work/history"
history_store "$rcpstore" "$work/history" ""
for n in $(seq 1000); do echo "recipe set @H/1/1 --comment edit$n"; done > "$work/edits.txt"
"$rcpstore" batch "$work/edits.txt" --quiet
head_size=$(stat -c %s "$work/history/H/Recipe/RG01/RCP0001/RcpHead.edf")
kept=$(du -sb "$work/history/H/Recipe/.history" | cut -f1)
versions=$("$rcpstore" recipe history @H/1/1 --json | grep -o '"version":' | wc -l)
echo "1000 edits: ${versions} versions, history ${kept} bytes on disk (apparent), 1000 x the changed header: $((1000 * head_size)) bytes, ratio: $(ratio "$kept" $((1000 * head_size)))"
for n in $(seq 200); do echo "recipe set @H/1/1 --comment again$n"; done > "$work/edits200.txt"
with=$(runs=5 median_ms "$rcpstore batch $work/edits200.txt --quiet")
if [ -x "$baseline" ]; then
  mkdir -p "$work/plain"
  history_store "$baseline" "$work/plain" P
  sed 's/@H\//@HP\//' "$work/edits200.txt" > "$work/plain200.txt"
  without=$(runs=5 median_ms "$baseline batch $work/plain200.txt --quiet")
  echo "200 recipe sets in one batch: with history ${with} ms, without (baseline) ${without} ms, ratio: $(ratio "$with" "$without")"
else
  echo "200 recipe sets in one batch: with history ${with} ms (no baseline binary at $baseline: comparison skipped)"
fi

echo "== locks =="
"$PWD/build-bench/bench/rcpstore-lockbench" "$work/locks" 5000 8
