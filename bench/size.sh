#!/usr/bin/env bash
# Measures what large and hostile files cost: tree of a crafted sub-group
# file, recipe copy and export of a sparse 3 GiB unit file, import of
# 100,000 entries, and the delete of a 3,000-deep work chain. Reports wall
# time, peak RSS and disk used. Usage: bench/size.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF > /dev/null
cmake --build build-bench -j "$(nproc)" --target rcpstore qv_templates > /dev/null
rcpstore=$PWD/build-bench/tools/rcpstore/rcpstore
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QVC_STATION_DIR=$work/station
mkdir -p "$QVC_STATION_DIR"
measure() { /usr/bin/time -f "$1: %e s, peak RSS %M KB" "${@:2}" > /dev/null; }

"$rcpstore" project create P "$work" --quiet
"$rcpstore" group create "$work/P" 1 --quiet
"$rcpstore" recipe create "$work/P/Recipe/RG01" 1 --quiet
group=$work/P/Recipe/RG01

# Four sub-groups with 1,000-byte names, 233,000 empty ones inside (4.4 MiB).
awk 'BEGIN { n = sprintf("%1000s", ""); gsub(/ /, "a", n)
             for (i = 0; i < 4; i++) printf "STARTSUB,%s\r\n", n
             for (i = 0; i < 233000; i++) printf "STARTSUB,\r\nENDSUB,\r\n"
             for (i = 0; i < 4; i++) printf "ENDSUB,x\r\n" }' > "$group/RcpSubGroup.txt"
measure "tree of the crafted sub-group file" "$rcpstore" tree "$work/P"
: > "$group/RcpSubGroup.txt"

truncate -s 3G "$group/RCP0001/RcpPT01.edf"
measure "recipe copy of a sparse 3 GiB unit file" "$rcpstore" recipe copy "$group/RCP0001" "$group" 2
echo "disk used by the copy: $(du -k "$group/RCP0002/RcpPT01.edf" | cut -f1) KB"
measure "export of it (refused)" "$rcpstore" export "$work/P" "$work/p.tgz" 2> /dev/null || true
rm -rf "$group/RCP0002" "$group/RCP0001/RcpPT01.edf"

mkdir "$group/RCP0001/many"
(cd "$group/RCP0001/many" && seq -f 'f%06g' 100000 | xargs touch)
measure "export of 100,000 entries" "$rcpstore" export "$work/P" "$work/many.tgz"
mkdir "$work/imported"
measure "import of 100,000 entries" "$rcpstore" import "$work/many.tgz" "$work/imported/Q"
rm -rf "$group/RCP0001/many"

chain=$group/RCP0001/TEMP
mkdir -p "$chain"
(cd "$chain" && for _ in $(seq 3000); do mkdir d && cd d; done)
measure "recipe delete with a 3,000-deep work chain" "$rcpstore" recipe delete "$group/RCP0001"
