#!/bin/sh
# Builds the Debian packages of a build directory with CPack, unpacks them
# with dpkg -x into a scratch root, checks their contents and dependencies,
# and builds and runs consumers against the unpacked files (find_package and
# pkg-config), then the unpacked ravelin command.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")

fail() { echo "check_deb: $*" >&2; exit 1; }
deb() { ls "$work"/out/"$1"_*.deb 2>/dev/null | head -n 1; }
runtime=$(deb libravelin2); dev=$(deb libravelin-dev); command=$(deb ravelin)
[ -n "$runtime" ] && [ -n "$dev" ] && [ -n "$command" ] || fail "packages missing: $(ls "$work/out")"

# What each package holds, as paths below /usr.
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./usr/||' | grep -v '/$' | sort; }
expect() {  # PACKAGE PATTERN...
  pkg=$1; shift
  for pattern in "$@"; do
    contents "$pkg" | grep -Eq "^$pattern\$" || fail "$(basename "$pkg") lacks $pattern"
  done
}
expect "$runtime" 'lib[^/]*/libravelin\.so\.2' 'lib[^/]*/libravelin\.so\.'"$version" \
  'lib[^/]*/libravelinsolo\.so\.2' 'lib[^/]*/libravelinsolo\.so\.'"$version"
expect "$dev" 'include/ravelin/RegularExpression\.h' 'lib[^/]*/libravelin\.so' 'lib[^/]*/libravelinsolo\.so' \
  'lib[^/]*/cmake/Ravelin/RavelinConfig\.cmake' 'lib[^/]*/cmake/Ravelin/RavelinTargets\.cmake' \
  'lib[^/]*/pkgconfig/ravelin\.pc' 'lib[^/]*/pkgconfig/ravelinsolo\.pc'
expect "$command" 'bin/ravelin' 'share/man/man1/ravelin\.1(\.gz)?'
contents "$runtime" | grep -q 'include/' && fail "the runtime package holds development files"
contents "$dev" | grep -q '\.so\.2$' && fail "the development package holds the runtime libraries"

dpkg-deb -f "$dev" Depends | grep -q "libravelin2 (= $version)" || fail "libravelin-dev does not depend on libravelin2 $version"
dpkg-deb -f "$command" Depends | grep -q "libravelin2 (= $version)" || fail "ravelin does not depend on libravelin2 $version"
dpkg-deb -f "$runtime" Depends | grep -q 'libc6' || fail "libravelin2 names no shared-library dependencies"

root="$work/root"
for p in "$runtime" "$dev" "$command"; do dpkg -x "$p" "$root"; done
libdir=$(dirname "$(find "$root" -name libravelin.so.2 | head -n 1)")

cmake -S "$source/tests/package/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer"
LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer_solo"
for lib in ravelin ravelinsolo; do
  # shellcheck disable=SC2046
  c++ -std=c++17 "$source/tests/package/consumer/main.cpp" -o "$work/pc_$lib" \
    $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs "$lib")
  LD_LIBRARY_PATH="$libdir" "$work/pc_$lib"
done

# The command finds its library through its run path, with no help.
out=$(printf 'anna@example, bob@host' | "$root/usr/bin/ravelin" merge '(\w+)@(\w+)' '$2:$1')
[ "$out" = "example:anna, host:bob" ] || fail "unpacked ravelin printed: $out"
echo "deb package checks passed"
