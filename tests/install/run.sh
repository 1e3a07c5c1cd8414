#!/usr/bin/env bash
# Installs the build into a temporary prefix, compiles each installed header
# alone, and builds a small program against it twice, with find_package and
# with pkg-config; each must run and find the system template set of the
# installation, as must the installed rcpstore.
#   run.sh BUILD_DIR CXX "EXTRA_FLAGS" SHARED(ON|OFF)
set -euo pipefail
build=$1 cxx=$2 flags=$3 shared=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export QVC_STATION_DIR=$work/station
mkdir "$QVC_STATION_DIR"

cmake --install "$build" --prefix "$prefix" > /dev/null

# Every installed header, compiled by itself (several at once), stands alone
# on the installed include paths, and each header it names in quotes is
# installed.
inc=$prefix/include/LibQVBRcpEpa
headers=$(cd "$inc" && find . -name '*.h' | sed 's|^\./||' | sort)
# shellcheck disable=SC2016
echo "$headers" | xargs -P "$(nproc)" -I{} sh -c 'cd "$1" && echo "#include \"$2\"" |
  "$3" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$4" -I"$4/.." -x c++ - ||
  { echo "installed header $2 does not compile alone"; exit 1; }' - "$work" {} "$cxx" "$inc"
for header in $headers; do
  sed -n 's/^#include "\(.*\)"/\1/p' "$inc/$header" | while IFS= read -r named; do
    [[ -f $inc/$named || -f $inc/../$named || -f $inc/$(dirname "$header")/$named ]] ||
      { echo "installed header $header names $named, which is not installed"; exit 1; }
  done
done

check() {
  local program=$1
  local template
  rm -rf "$work/store" && mkdir "$work/store"
  template=$("$program" "$work/store") || { echo "$program failed with status $?"; exit 1; }
  [[ -f $template ]] || { echo "$program: no template at $template"; exit 1; }
  if [[ $shared == ON && $template != "$prefix"/* ]]; then
    echo "$program: template $template is not the installed one"; exit 1
  fi
}

# find_package
cmake -S "$here" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" > /dev/null
cmake --build "$work/cmake-build" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
check "$work/cmake-build/consumer"
# The public API's example acts as a second user too, which needs root.
if [[ $(id -u) == 0 ]]; then
  chmod 755 "$work"
  rm -rf "$work/store" && mkdir "$work/store"
  "$work/cmake-build/api_example" "$work/store" || { echo "api_example failed"; exit 1; }
fi

# pkg-config, the library found through the run path it names
pc_dir=$(dirname "$(find "$prefix" -name LibQVBRcpEpa.pc)")
export PKG_CONFIG_PATH=$pc_dir
libdir=$(pkg-config --variable=libdir LibQVBRcpEpa)
static=$([[ $shared == ON ]] || echo --static)
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++20 $flags "$here/consumer.cpp" -o "$work/consumer-pc" \
  $(pkg-config --cflags LibQVBRcpEpa) $(pkg-config $static --libs LibQVBRcpEpa) -Wl,-rpath,"$libdir"
check "$work/consumer-pc"
# The installed command line finds the installed template set too.
[[ $("$prefix/bin/rcpstore" path GetTmplRcpPath QVSystem RCPHEAD) == "$prefix"/share/* ]] ||
  { echo "installed rcpstore does not use the installed template set"; exit 1; }
echo "installed library used by find_package and pkg-config"
