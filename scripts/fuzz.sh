#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) in build-fuzz and
# runs each one over its seeds (fuzz/corpus/TARGET, real store files) and its
# kept regression inputs (fuzz/regressions/TARGET), then on new inputs:
#   scripts/fuzz.sh short          about 3 seconds per target (CI)
#   scripts/fuzz.sh long           1 million inputs per target, 10 million for
#                                  the CSV line, text line and lock-file readers
#   scripts/fuzz.sh large [SECONDS] the file readers on inputs of up to 4 MiB,
#                                  seeded with a sub-group file crafted to
#                                  multiply its bytes (default 30 s each)
#   scripts/fuzz.sh TARGET RUNS    one target for RUNS inputs (or SECONDS, as 600s)
# No input may cost more than 256 MB (-rss_limit_mb, -malloc_limit_mb); in
# the large run 512 MB, which holds libFuzzer's corpus of 4 MiB inputs and
# AddressSanitizer's shadow besides the reader's few dozen times 4 MiB.
# A failing input is written to build-fuzz/artifacts/TARGET/; once it is
# fixed, keep it under fuzz/regressions/TARGET/ so that every run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

dir=build-fuzz
targets=(csv_line text_line subgroup_read subgroup_edit attr_files edf_file lock_text signature_files history_log)
# The targets' scratch files live in memory when it can be had; a small
# quarantine keeps AddressSanitizer's own memory well under the limit.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=quarantine_size_mb=32${ASAN_OPTIONS:+:$ASAN_OPTIONS}

build() {
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DQV_FUZZ=ON -DQV_TESTS=OFF -DQV_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -gline-tables-only" > /dev/null
  cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}" > /dev/null
}

# Runs a target with a libFuzzer limit (-runs=N or -max_total_time=S).
run() {
  local target=$1 limit=$2
  local corpus=$dir/corpus/$target artifacts=$dir/artifacts/$target/ log=$dir/$target.log status=0
  mkdir -p "$corpus" "$artifacts"
  local inputs=("$corpus" "fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")
  # A line is read through 1024 bytes and a lock file's text through 256;
  # whole files need room for several lines or a recipe header.
  local maxLen=${MAX_LEN:-4096}
  case $target in csv_line | lock_text) maxLen=1100 ;; esac
  [ -n "${SEEDS:-}" ] && [ -d "$SEEDS/$target" ] && inputs+=("$SEEDS/$target")
  echo "== $target ($limit)"
  "$dir/fuzz/fuzz_$target" "$limit" -rss_limit_mb=${RSS_MB:-256} -malloc_limit_mb=${RSS_MB:-256} -max_len=$maxLen -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "${inputs[@]}" > "$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    return "$status"
  fi
  grep -E '^(Done|stat::peak_rss_mb)' "$log"
}

# Seeds for the large run: deep sub-groups with long names, then many
# sub-groups below them (4.4 MiB).
large_seeds() {
  local seeds=$dir/large-seeds
  mkdir -p "$seeds/subgroup_read"
  awk 'BEGIN { n = sprintf("%1000s", ""); gsub(/ /, "a", n)
               for (i = 0; i < 4; i++) printf "STARTSUB,%s\r\n", n
               for (i = 0; i < 233000; i++) printf "STARTSUB,\r\nENDSUB,\r\n" }' > "$seeds/subgroup_read/crafted"
  echo "$seeds"
}

build
case ${1:-short} in
  large)
    export SEEDS MAX_LEN=$((4 << 20)) RSS_MB=512
    SEEDS=$(large_seeds)
    for t in subgroup_read subgroup_edit attr_files edf_file text_line; do run "$t" "-max_total_time=${2:-30}"; done ;;
  short) for t in "${targets[@]}"; do run "$t" -max_total_time=3; done ;;
  long)
    for t in "${targets[@]}"; do
      case $t in csv_line | text_line | lock_text) runs=10000000 ;; *) runs=1000000 ;; esac
      time nice -n 10 "$0" "$t" "$runs"
    done ;;
  *)
    case ${2:?RUNS or SECONDS} in
      *s) run "$1" "-max_total_time=${2%s}" ;;
      *) run "$1" "-runs=$2" ;;
    esac ;;
esac
