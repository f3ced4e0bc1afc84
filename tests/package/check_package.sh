#!/bin/sh
# Installs the built project into a temporary prefix, then builds and runs a
# consumer with find_package(Ravelin) and with pkg-config.
# Usage: check_package.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$source/tests/package/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libravelin.so.2' | head -n 1)")
LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer"
LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer_solo"

pcdir=$(dirname "$(find "$work/prefix" -name ravelin.pc | head -n 1)")
for lib in ravelin ravelinsolo; do
  # shellcheck disable=SC2046
  c++ -std=c++17 "$source/tests/package/consumer/main.cpp" -o "$work/pc_$lib" \
    $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs "$lib")
  LD_LIBRARY_PATH="$libdir" "$work/pc_$lib"
done
echo "package checks passed"
