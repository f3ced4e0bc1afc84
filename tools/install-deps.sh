#!/bin/sh
# Installs what building and testing Ravelin needs on Debian 12, if missing.
set -e
packages="g++ make cmake pkg-config libboost-regex1.81-dev libgtest-dev libbenchmark-dev"
# ripgrep and patch: the command's comparison tests.
packages="$packages ripgrep patch"
# make bench (tools/install-deps.sh bench): the engines compared against,
# for the benchmarks only.
if [ "${1:-}" = bench ]; then
  packages="$packages libre2-dev libpcre2-dev"
fi
# clang with its fuzzer runtime: the fuzz targets; clang-tidy, clang-format: make lint.
packages="$packages clang libclang-rt-14-dev clang-tidy clang-format"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
# The prefilter's scanner (optional: the build runs without it). Hyperscan
# is x86-64 only; Debian 12's Vectorscan misses matches, so it is not used.
optional=""
if [ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] && ! dpkg -s libhyperscan-dev >/dev/null 2>&1; then
  optional="libhyperscan-dev"
fi
[ -z "$missing$optional" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  if [ -n "$missing" ]; then
    echo "missing packages:$missing (run as root to install them)" >&2
    exit 1
  fi
  echo "optional package $optional not installed: searches run without the prefilter" >&2
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
[ -z "$missing" ] || apt-get install -y -qq --no-install-recommends $missing
if [ -n "$optional" ]; then
  # It conflicts with libvectorscan-dev: without it the build goes on plain.
  apt-get install -y -qq --no-install-recommends $optional ||
    echo "could not install $optional: searches run without the prefilter" >&2
fi
