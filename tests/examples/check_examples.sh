#!/bin/sh
# Installs the built project into a temporary prefix, builds examples/ against
# it with find_package(Ravelin), and runs each example; also checks that the
# installed ravelin command and its man page are in place.
# Usage: check_examples.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/examples" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libravelin.so.2' | head -n 1)")
export LD_LIBRARY_PATH="$libdir"
bin="$work/examples"
data="$work/data"
mkdir -p "$data/sub"

# grep_lines: LINE:COLUMN:TEXT per match, stopped by the handler at the limit.
printf 'alpha beta\nbravo\nbeta\n' >"$data/words.txt"
out=$("$bin/grep_lines" 'b\w+' "$data/words.txt" 2 2>/dev/null) || fail "grep_lines failed"
[ "$out" = "$(printf '1:6:beta\n2:0:bravo')" ] || fail "grep_lines printed: $out"
"$bin/grep_lines" '(' "$data/words.txt" 2>"$work/err" && fail "grep_lines accepted a bad pattern"
grep -q "bad pattern" "$work/err" || fail "grep_lines gave no pattern error"

# value_matches (C++17 and C++20): the matches grep_lines reports, as values
# and through a capturing lambda, then the text with each match bracketed.
for v in value_matches value_matches20; do
  out=$("$bin/$v" 'b\w+' "$data/words.txt") || fail "$v failed (or its two styles disagree)"
  [ "$out" = "$(printf '1:6:beta\n2:0:bravo\n3:0:beta\nalpha [beta]\n[bravo]\n[beta]')" ] || fail "$v printed: $out"
done

# replace_in_files: files changed, backups made, no problems.
printf 'colour\n' >"$data/a.txt"
printf 'the colour, the colour\n' >"$data/sub/b.txt"
out=$("$bin/replace_in_files" 'colou?r' 'hue' "$data/*.txt") || fail "replace_in_files failed"
echo "$out" | grep -q '^3 of 3 replacement(s) written$' || fail "replace_in_files printed: $out"
[ "$(cat "$data/sub/b.txt")" = "the hue, the hue" ] || fail "sub/b.txt not changed"
[ "$(cat "$data/a.bak")" = "colour" ] || fail "no backup a.bak"

# settings_record: a set-up saved, then read back and run.
"$bin/settings_record" save "$work/setup" 'HUE' "$data/*.txt" || fail "settings_record save failed"
out=$("$bin/settings_record" run "$work/setup") || fail "settings_record run failed"
echo "$out" | grep -q '^pattern HUE in .*, ignoring case, recursively$' || fail "settings_record printed: $out"
[ "$(echo "$out" | grep -c ':hue$')" = 3 ] || fail "settings_record found: $out"

# The installed command finds its library by itself, and has its man page.
[ "$(env -u LD_LIBRARY_PATH "$work/prefix/bin/ravelin" --version)" = "ravelin 2.1.1" ] ||
  fail "installed ravelin does not run"
[ -s "$work/prefix/share/man/man1/ravelin.1" ] || fail "man page not installed"

[ "$failures" -eq 0 ] || exit 1
echo "examples built and run against the installed package"
