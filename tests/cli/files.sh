#!/bin/bash
# The file commands: find-files, grep-files and change-files, their output,
# literal patterns, the problem list, backups, odd file names and the
# progress line. What change-files refuses to write: safety.sh.
. "$(dirname "$0")/lib.sh"

make_tree() {
  local t=$1
  mkdir -p "$t/sub" "$t/.dot"
  printf 'alpha beta\ngamma alpha\n' >"$t/a.txt"
  printf 'beta\n' >"$t/b.log"
  printf 'nothing here\n' >"$t/c.txt"
  printf 'alpha\n' >"$t/.hidden.txt"
  printf 'one alpha\n' >"$t/sp ace.txt"
  printf 'alpha\n' >"$t/new
line.txt"
  printf 'x\nalpha\n' >"$t/sub/d.txt"
  printf 'zeta\n' >"$t/sub/e.txt"
  printf 'alpha\n' >"$t/.dot/f.txt"
}
t="$work/tree"
make_tree "$t"

# find-files: one name a line, files first, then subdirectories, in byte
# order; hidden names only with -uu (or a pattern starting with a dot); odd
# names as they are.
printf '%s\n' "$t/a.txt" "$t/new
line.txt" "$t/sp ace.txt" >"$work/want"
run find-files alpha "$t/*.txt"
expect_rc 0; expect_out_file "$work/want"; expect_no_err
printf '%s\n' "$t/.hidden.txt" "$t/a.txt" "$t/new
line.txt" "$t/sp ace.txt" "$t/.dot/f.txt" "$t/sub/d.txt" >"$work/want"
run find-files -r -uu alpha "$t/*.txt"
expect_rc 0; expect_out_file "$work/want"; expect_no_err
run find-files alpha "$t/*.txt" --recursive --hidden --count
expect_rc 0; expect_out '6\n'
check 0 "$t/a.txt\n$t/b.log\n" find-files 'alpha|beta' "$t/a.txt" "$t/*.log" "$t/sub/e.txt"
check 0 "$t/b.log\n"       find-files beta "$t/*.log"
check 0 "$t/a.txt\n"       find-files -i GAMMA "$t"
check 1 ''                 find-files alpha "$t/*.none"
run find-files alpha "$work/no/such/dir/*"
expect_rc 2; expect_err "$work/no/such/dir/*: No such file or directory"
run find-files alpha ''
expect_rc 2; expect_err ": No such file or directory"
check 1 '0\n'              find-files --count omega "$t/*"

# grep-files: the lines as grep prints them; -o -n -b gives FILE:LINE:OFFSET:TEXT.
check 0 "alpha beta\ngamma alpha\n"                    grep-files alpha "$t/a.txt"
check 0 "$t/a.txt:1:0:alpha\n$t/a.txt:2:17:alpha\n"  grep-files -H -o -n -b alpha "$t/a.txt"
check 0 "$t/sub/d.txt:2:2:alpha\n"                     grep-files -o -n -b 'al\w+' "$t/sub/*"
check 0 "$t/a.txt:1:0:alpha beta\n"                    grep-files -Hnbo 'alpha\sbeta' "$t/a.txt"
check 0 "$t/a.txt:1:6:beta\n$t/b.log:1:0:beta\n"       grep-files -o -n -b beta "$t"
check 0 "$t/sp ace.txt:1:4:alpha\n"                    grep-files -onb alpha "$t/sp*"
# -c and --count: the selected lines of each file, as grep counts them.
check 0 "$t/.hidden.txt:1\n$t/a.txt:2\n$t/b.log:0\n$t/c.txt:0\n$t/new\nline.txt:1\n$t/sp ace.txt:1\n$t/.dot/f.txt:1\n$t/sub/d.txt:1\n$t/sub/e.txt:0\n" \
                                                       grep-files --count -r -uu alpha "$t"
# Line by line no match holds a newline; with -U a match over several lines
# prints each line it touches once.
check 1 ''                                             grep-files -H -n 'beta\ngamma' "$t/a.txt"
check 0 "$t/a.txt:1:alpha beta\n$t/a.txt:2:gamma alpha\n" grep-files -U -H -n 'beta\ngamma' "$t/a.txt"
check 1 ''                                             grep-files omega "$t"
check 1 '0\n'                                          grep-files --count omega "$t/a.txt"

# Files are searched with the normal syntax; other syntax options draw a note.
run grep-files -Honb --syntax extended 'al(pha)' "$t/a.txt"
expect_rc 0; expect_out "$t/a.txt:1:0:alpha\n$t/a.txt:2:17:alpha\n"
expect_err "note: files are searched with the normal syntax"
check 0 "$t/a.txt:1:0:alpha\n$t/a.txt:2:17:alpha\n" grep-files -Honb --syntax perl -i 'ALPHA' "$t/a.txt"

# Literal text is literal in files too: grep-files -F against grep -F -n -b -o,
# change-files --syntax literal against perl's s/\Q...\E//g, metacharacters,
# backslashes and \E included; the format is plain text too.
l="$work/literal"
mkdir -p "$l"
printf 'a.b axb a*b (x) [y] $z^ \\E end\\\na\\Eb {1,2} a|b a+b? \\Q q A.B\n' >"$l/m.txt"
cp "$l/m.txt" "$work/m.orig"
for pat in 'a.b' 'a*b' '(x)' '[y]' '$z^' '\E' 'a\Eb' 'end\' '{1,2}' 'a|b' 'a+b?' '\Q' '.' 'nowhere.'; do
  for flags in -F -Fi; do
    run grep-files -H -o -n -b "$flags" "$pat" "$l/m.txt"
    grep "$flags" -n -b -o -- "$pat" "$l/m.txt" | sed "s|^|$l/m.txt:|" >"$work/ref"
    [ -s "$work/ref" ]; expect_rc $?
    expect_out_file "$work/ref"; expect_no_err
  done
  cp "$work/m.orig" "$l/m.txt"
  run change-files --count --syntax literal "$pat" '<$&>' "$l/m.txt"
  PAT=$pat perl -pe 's/\Q$ENV{PAT}\E/<\$&>/g' "$work/m.orig" >"$work/ref"
  [ "$(cat "$work/out")" = "$(grep -F -o -- "$pat" "$work/m.orig" | wc -l)" ] || fail "replacement count"
  cmp -s "$work/ref" "$l/m.txt" || fail "differs from perl s/\\Q$pat\\E/<\\\$&>/g"
done
check 0 "$t/a.txt\n$t/sp ace.txt\n" find-files -r --fixed-strings 'alpha' "$t/[as]*"

# change-files: nothing printed by default; --stats and --count.
c="$work/change1"
make_tree "$c"
check 0 '' change-files alpha ALPHA "$c/a.txt"
printf 'ALPHA beta\ngamma ALPHA\n' | cmp -s - "$c/a.txt" || fail "a.txt not changed"
check 0 '3 replacements, 3 files changed\n' change-files '(al)pha' '<\1>' "$c/*.txt" --stats --hidden
printf 'one <al>\n' | cmp -s - "$c/sp ace.txt" || fail "sp ace.txt not changed"
printf '<al>\n' | cmp -s - "$c/new
line.txt" || fail "new-line file not changed"
check 0 '3\n' change-files -r -uu --count '<al>' 'alpha' "$c/*.txt"
check 0 "$c/.hidden.txt:1:0:alpha\n" grep-files -onb alpha "$c/.h*"
check 1 '0 replacements, 0 files changed\n' change-files --stats omega x "$c"
# An empty format deletes the matches.
check 0 '' change-files ' beta' '' "$c/a.txt"
printf 'ALPHA\ngamma ALPHA\n' | cmp -s - "$c/a.txt" || fail "empty format did not delete"

# --backup: the old content is kept under the new extension.
c="$work/change2"
make_tree "$c"
check 0 '1 replacement, 1 file changed\n' change-files --backup bak --stats beta BETA "$c/b.log"
printf 'BETA\n' | cmp -s - "$c/b.log" || fail "b.log not changed"
printf 'beta\n' | cmp -s - "$c/b.bak" || fail "b.bak is not the old b.log"

# A file the engine cannot search to its end is left untouched and reported;
# the others are changed.
h="$work/hard"
mkdir -p "$h"
printf 'xb ab\n' >"$h/a.txt"
head -c 3000 /dev/zero | tr '\0' a >"$h/b.txt"
printf 'ab\n' >"$h/c.txt"
cp "$h/b.txt" "$work/b.orig"
run change-files --stats '(a*)*b' X "$h"
expect_rc 2
expect_out '3 replacements, 2 files changed\n'
expect_err "$h/b.txt: the search stopped early"
printf 'xX X\n' | cmp -s - "$h/a.txt" || fail "a.txt not changed"
printf 'X\n' | cmp -s - "$h/c.txt" || fail "c.txt not changed"
cmp -s "$work/b.orig" "$h/b.txt" || fail "b.txt touched"
# grep-files shows nothing of such a file past the matches found before the
# engine gave up (no later line, count or name passes for a whole answer),
# says so where its output ends, and exits 2.
g="$work/gaveup"
mkdir -p "$g"
{ printf 'ab\nfoo\n'; head -c 3000 /dev/zero | tr '\0' a; printf '\nab\nfoo\n'; } >"$g/h.txt"
{ printf 'foo\n'; head -c 3000 /dev/zero | tr '\0' a; printf '\nab\nfoo\n'; } >"$g/i.txt"
printf 'foo\n' >"$g/z.txt"
while IFS='|' read -r flags want stops; do
  read -ra f <<<"$flags"
  run grep-files "${f[@]}" '(a*)*b' "$g/h.txt" "$g/i.txt" "$g/z.txt"
  want=${want//h.txt/$g/h.txt}
  expect_rc 2; expect_out "${want//z.txt/$g/z.txt}"
  expect_err "$g/i.txt: the search stopped early, nothing"
  [ "$(grep -c 'stopped early' "$work/err")" = "$stops" ] || fail "the stops are not said once each"
done <<'ROWS'
-n|h.txt:1:ab\n|2
-v|z.txt:foo\n|2
-c|z.txt:0\n|2
-m 1 -c|h.txt:1\nz.txt:0\n|2
-L|z.txt\n|1
-A 5|h.txt:ab\n|2
-U -v -n|z.txt:1:foo\n|2
ROWS
# The same for standard input, searched as a file is.
run_in "$(cat "$g/i.txt")" grep-files -v -c '(a*)*b' - "$g/z.txt"
expect_rc 2; expect_out "$g/z.txt:1\n"; expect_err "(standard input): the search stopped early, nothing"

# The progress line: never when standard error is not a terminal (the checks
# above saw an empty standard error), shown on a terminal.
if script -qec true /dev/null >/dev/null 2>&1; then
  c="$work/change3"
  make_tree "$c"
  current="change-files on a terminal"
  script -qec "'$RAVELIN' change-files -r alpha omega '$c'" /dev/null >"$work/tty" 2>&1
  grep -q 'ravelin: [0-9]* files*, [0-9]* match' "$work/tty" || fail "no progress line on a terminal"
  # grep-files -c prints as it goes, as grep: no progress line between its lines.
  current="grep-files --count on a terminal"
  script -qec "'$RAVELIN' grep-files --count -r omega '$c/a.txt'" /dev/null >"$work/tty" 2>&1
  [ "$(tr -d '\r' <"$work/tty")" = 2 ] || fail "not the bare count of one file"
fi

finish
