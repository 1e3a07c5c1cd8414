#!/usr/bin/env bash
# Installs the Debian 12 packages that the build needs, when they are missing.
# As root it runs apt-get; otherwise it prints the exact line to run.
set -euo pipefail

# clang-14 and libclang-rt-14-dev (libFuzzer, the sanitizer runtimes) build the fuzz targets;
# libarchive-dev writes and reads store archives, nettle-dev gives their SHA-256 sums.
packages=(g++ cmake ninja-build pkg-config libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
          nlohmann-json3-dev clang-14 libclang-rt-14-dev libarchive-dev nettle-dev)
missing=()
# pkgconf: the install test builds a program against the installed library with pkg-config.
packages+=(pkgconf)
# zlib1g-dev: the history keeps small contents deflated.
packages+=(zlib1g-dev)
# time and strace: bench/run.sh measures peak memory and counts system calls.
packages+=(time strace)
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root: apt-get update && $line" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
$line
