#!/bin/bash
# ravelin against grep, perl and sed on a copy of a real tree (a few hundred
# KB of the C++ library headers), for patterns on which the engines agree:
# no alternation, greedy runs of one class, nothing that spans lines.
. "$(dirname "$0")/lib.sh"

cd "$work" || exit 1
real_tree tree

# compare_outputs LABEL: $work/out (ravelin) against $work/ref, both sorted.
compare_sorted() {
  sort "$work/out" >"$work/out.sorted"
  sort "$work/ref" >"$work/ref.sorted"
  cmp -s "$work/out.sorted" "$work/ref.sorted" ||
    fail "differs from $1: $(diff "$work/ref.sorted" "$work/out.sorted" | head -n 6)"
}

# grep-files -r against grep -r -n -b -o (FILE:LINE:OFFSET:MATCH).
for pat in 'template' 'std::[a-z_]+' '[A-Z_]{3,}' '#[a-z]+' '[0-9]+' '_M_[a-z]+\(' '\btypename\b'; do
  run grep-files -r -o -n -b "$pat" tree
  grep -r -a -n -b -o -E "$pat" tree >"$work/ref"
  expect_rc $?; expect_no_err
  compare_sorted "grep -r -n -b -o -E '$pat'"
done
run grep-files -r -onb -i 'TEMPLATE<' tree
grep -r -a -n -b -o -i -E 'TEMPLATE<' tree >"$work/ref"
compare_sorted "grep -r -n -b -o -i"

# find-files -r against grep -r -l, including a pattern found nowhere.
for pat in 'unordered' 'Copyright' '__glibcxx_[a-z_]+' 'no such text anywhere'; do
  run find-files -r "$pat" tree
  grep -r -a -l -E "$pat" tree >"$work/ref"
  want_rc=$?
  expect_rc "$want_rc"
  compare_sorted "grep -r -l -E '$pat'"
done

# merge against perl -pe 's/.../.../g' over every file, one after another.
find tree -type f | sort >"$work/files"
cat $(cat "$work/files") >"$work/all"
merge_case() {
  local pat=$1 fmt=$2
  run merge "$pat" "$fmt" --input "$work/all"
  perl -ne "\$found = 1 if /$pat/; END { exit(\$found ? 0 : 1) }" "$work/all"
  expect_rc $?
  perl -pe "s/$pat/$fmt/g" "$work/all" >"$work/ref"
  cmp -s "$work/out" "$work/ref" || fail "differs from perl s/$pat/$fmt/g"
}
merge_case '(\w+)::(\w+)' '$2..$1'
merge_case 'std::' 'STD::'
merge_case '([a-z]+)_([a-z]+)' '${2}_$1'
merge_case '\d+' '<$&>'
merge_case '\btypename\b' 'class'
merge_case '[A-Z]+' ''

# Patterns that start with a lazy bounded repeat against perl: the leftmost
# match, line by line and with -U over the whole subject (a few KB, so the
# prefilter starts the engine part-way through), and change-files against
# perl -pi. Each subject line holds a match that starts before a place where
# the rest of the pattern begins but fails.
for i in $(seq 1 40); do
  printf 'b_b bA axaxy aaaaab x\n'
  sed -n "${i}p" "$work/all"
  printf 'abbbbc xa_b_xy\n'
done >lazy.txt
while IFS= read -r pat; do
  run merge "$pat" '<$&>' --input lazy.txt
  expect_rc 0
  perl -pe "s/$pat/<\$&>/g" lazy.txt >"$work/ref"
  cmp -s "$work/out" "$work/ref" || fail "differs from perl s/$pat/<\$&>/g: $(diff "$work/ref" "$work/out" | head -n 4)"
  run merge -U "$pat" '<$&>' --input lazy.txt
  perl -0777 -pe "s/$pat/<\$&>/gs" lazy.txt >"$work/ref"
  cmp -s "$work/out" "$work/ref" || fail "differs from perl -0777 s/$pat/<\$&>/gs: $(diff "$work/ref" "$work/out" | head -n 4)"
  cp lazy.txt lazy-mine.txt && cp lazy.txt lazy-theirs.txt
  run change-files "$pat" '<$&>' lazy-mine.txt
  perl -pi -e "s/$pat/<\$&>/g" lazy-theirs.txt
  cmp -s lazy-mine.txt lazy-theirs.txt || fail "differs from perl -pi: $(diff lazy-theirs.txt lazy-mine.txt | head -n 4)"
done <<'ROWS'
.{1,3}?bA
\w{0,2}?xy
[^ ]{0,2}?xy
a{0,3}?ab
[ab]{1,3}?bc
(.{1,3}?)bA
(?=\w)[a-z_ ]{0,3}?bA
\w{1,3}?_xy
ROWS

# change-files -r against sed -E -i on a second copy of the tree.
change_case() {
  local pat=$1 fmt=$2
  rm -rf theirs && cp -R tree theirs
  run change-files -r --count "$pat" "$fmt" tree
  local want
  grep -r -a -q -E "$pat" theirs
  expect_rc $?; expect_no_err
  want=$(grep -r -a -o -E "$pat" theirs | wc -l)
  [ "$(cat "$work/out")" = "$want" ] || fail "replacement count $(cat "$work/out"), grep -o counts $want"
  find theirs -type f -exec sed -E -i "s/$pat/$fmt/g" {} +
  diff -r theirs tree >"$work/diff" || fail "differs from sed -E -i 's/$pat/$fmt/g': $(head -n 6 "$work/diff")"
}
change_case 'std::([a-z_]+)' 'STD::\1'
change_case '([0-9]+)([UL]+)' '\2\1'
change_case 'namespace ([a-z_]+)' 'namespace \1_v2'
change_case '_GLIBCXX_' ''

finish
