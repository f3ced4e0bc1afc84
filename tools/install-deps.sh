#!/bin/sh
# Installs what building and testing Ravelin needs on Debian 12, if missing.
set -e
packages="g++ make cmake pkg-config libboost-regex1.81-dev libgtest-dev libbenchmark-dev"
# clang with its fuzzer runtime: the fuzz targets; clang-tidy, clang-format: make lint.
packages="$packages clang libclang-rt-14-dev clang-tidy clang-format"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends $missing
