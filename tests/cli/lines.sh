#!/bin/bash
# Line by line (the default) against sed -E, perl -pe and grep -o -n -b, on
# a copy of a real header with commas, empty lines, CRLF lines and a last
# line without a newline; with -U against the library's whole-subject Merge
# and Grep (ravelin merge -U, grep -U --count).
. "$(dirname "$0")/lib.sh"

cd "$work" || exit 1
cp -L /usr/include/stdio.h real.h || exit 1
{
  head -c 20000 real.h
  printf '\nab, cd,  \n\n\t \nx\r\na,b\r\n\r\nfoo x\nbar\n,x\nlast x'
} >text.txt

# PATTERN (Perl syntax) | the same for sed -E, or - where sed has none or
# applies another empty-match rule | REPLACEMENT (&: the match)
while IFS='|' read -r pat sedpat rep; do
  [ -z "$pat" ] && continue
  current="table row '$pat'"
  fmt=$(printf '%s' "$rep" | sed 's/&/$\&/g')
  # change-files and merge, line by line.
  cp text.txt changed.txt
  "$RAVELIN" change-files -uuu "$pat" "$fmt" changed.txt >/dev/null 2>"$work/err"
  "$RAVELIN" merge "$pat" "$fmt" --input text.txt >merged.txt 2>>"$work/err"
  expect_no_err
  # perl: each line without its newline, $ at its end only.
  PAT="$pat" REP="$rep" perl -pe 's/(\n?)\z//; my $nl = $1; my $r = $ENV{REP};
    s{$ENV{PAT}}{ my $m = $&; (my $o = $r) =~ s/&/$m/g; $o }ge; $_ .= $nl' text.txt >perl.txt
  cmp -s perl.txt changed.txt || fail "change-files differs from perl -pe: $(diff perl.txt changed.txt | head -n 6)"
  cmp -s perl.txt merged.txt || fail "merge differs from perl -pe: $(diff perl.txt merged.txt | head -n 6)"
  if [ "$sedpat" != - ]; then
    sed -E "s/$sedpat/$rep/g" text.txt >sed.txt
    cmp -s sed.txt changed.txt || fail "change-files differs from sed -E: $(diff sed.txt changed.txt | head -n 6)"
  fi
  # grep-files -o -n -b against grep (which prints no empty match).
  "$RAVELIN" grep-files -a -o -n -b "$pat" text.txt >out.txt 2>>"$work/err"
  grep -a -o -n -b -P "$pat" text.txt >ref.txt
  cmp -s ref.txt out.txt || fail "grep-files -o -n -b differs from grep: $(diff ref.txt out.txt | head -n 6)"

  # -U: the library's whole-subject search; change-files writes what merge gives.
  current="table row '$pat' -U"
  cp text.txt changed.txt
  "$RAVELIN" change-files -U -uuu "$pat" "$fmt" changed.txt >/dev/null 2>"$work/err"
  "$RAVELIN" merge -U "$pat" "$fmt" --input text.txt >merged.txt 2>>"$work/err"
  cmp -s merged.txt changed.txt || fail "change-files -U differs from merge -U"
  cp text.txt changed.txt
  "$RAVELIN" change-files -U -uuu --count "$pat" "$fmt" changed.txt >out.txt 2>>"$work/err"
  "$RAVELIN" merge -U --count "$pat" "$fmt" --input text.txt >ref.txt
  cmp -s ref.txt out.txt || fail "change-files -U --count differs from merge -U --count"
  expect_no_err
done <<'ROWS'
.*|-|<&>
\s+|[[:space:]]+|_
[^,]*|-|<&>
,\s*$|,[[:space:]]*$|;
^$|^$|EMPTY
(?<=\n)x|-|Y
x$|x$|Y
foo.*bar|foo.*bar|Z
 *// TODO.*| *\/\/ TODO.*|
[A-Za-z_][A-Za-z0-9_]*_t\b|[A-Za-z_][A-Za-z0-9_]*_t\b|T
ROWS

# -U against perl -0777 over the whole text: an assertion on the subject's
# end, even inside a negative look-ahead, holds at its end only, never at a
# line end (PATTERN | the same for perl).
while IFS='|' read -r pat perlpat; do
  current="subject end '$pat' -U"
  cp text.txt changed.txt
  "$RAVELIN" change-files -U -uuu "$pat" Y changed.txt >/dev/null 2>"$work/err"
  expect_no_err
  perl -0777 -pe "s/$perlpat/Y/g" text.txt >perl.txt
  cmp -s perl.txt changed.txt || fail "change-files -U differs from perl -0777: $(diff perl.txt changed.txt | head -n 6)"
done <<'ROWS'
 x(?!\z)| x(?!\z)
 x(?!\Z)| x(?!\z)
 x(?!\')| x(?!\z)
(?-m) x(?!$)| x(?!\z)
\r(?!$)|\r
ROWS

# The same text is cut differently across line ends: -U finds what the
# default does not.
run grep-files -c 'foo.*bar' text.txt
expect_rc 1; expect_out '0\n'
run grep-files -U -c 'foo.*bar' text.txt
expect_rc 0; expect_out '2\n'
# $ before a \r: never line by line (as grep and sed); the library's own
# search matches there.
printf 'x\r\n' >crlf.txt
run grep-files -c 'x$' crlf.txt
expect_rc 1
run grep-files -U -c 'x$' crlf.txt
expect_rc 0; expect_out '1\n'

finish
