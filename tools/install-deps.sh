#!/bin/sh
# Installs what building and testing Ravelin needs on Debian 12, if missing.
set -e
packages="g++ make cmake pkg-config libboost-regex1.81-dev libgtest-dev libbenchmark-dev"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
# The prefilter's scanner (optional: the build runs without it). Hyperscan
# is x86-64 only; Debian 12's Vectorscan misses matches, so it is not used.
if [ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] && ! dpkg -s libhyperscan-dev >/dev/null 2>&1; then
  missing="$missing libhyperscan-dev"
fi
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends $missing || {
  # libhyperscan-dev conflicts with libvectorscan-dev: go on without it.
  missing=$(echo "$missing" | sed 's/ libhyperscan-dev//')
  [ -z "$missing" ] || apt-get install -y -qq --no-install-recommends $missing
}
