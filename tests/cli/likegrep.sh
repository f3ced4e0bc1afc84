#!/bin/bash
# The file commands next to the tools their users know: grep-files against
# grep over a copy of real headers, one row per flag; the ignore rules
# against rg --files on a small git work tree; change-files --dry-run
# applied by patch -p1 against what change-files writes.
. "$(dirname "$0")/lib.sh"
unset GREP_COLORS GREP_COLOR NO_COLOR

cd "$work" || exit 1
real_tree tree
# Files the search for a first match reads a part at a time: matches near
# the start, at the very end (no final newline), and across a part's end.
seq -f 'filler line %g of the text' 1 20000 >tree/big-end.txt && printf 'template at the end' >>tree/big-end.txt
{ printf 'typename first\n'; seq -f 'filler %g' 1 30000; } >tree/big-start.txt
seq -f 'fill %05g' 1 8936 >tree/big-split.txt && printf 'a template that crosses\n' >>tree/big-split.txt
# The walk's order: in each directory its files, then its subdirectories,
# each in byte order.
mapfile -t files < <(find tree -type f | perl -e '
  my @k = map { my @c = split m{/}; $c[$_] = "1$c[$_]" for 0 .. $#c - 1; $c[-1] = "0$c[-1]"; [join("\x01", @c), $_] } <STDIN>;
  print map { $_->[1] } sort { $a->[0] cmp $b->[0] } @k')

# grep-files -r FLAGS PATTERN tree against grep FLAGS -E PATTERN FILES...:
# output byte for byte, and the exit status, searching one file at a time
# and three.
while IFS='|' read -r flags pat; do
  [ -n "$flags" ] || continue
  read -ra f <<<"$flags"
  syntax=-E
  case " $flags " in *" -F "*) syntax=-F ;; esac
  grep "${f[@]}" $syntax -- "$pat" "${files[@]}" >"$work/ref" 2>/dev/null
  want=$?
  for j in 1 3; do
    run grep-files -r -j "$j" "${f[@]}" -- "$pat" tree
    expect_rc "$want"
    cmp -s "$work/out" "$work/ref" || fail "differs from grep $flags $syntax '$pat': $(diff "$work/ref" "$work/out" | head -n 6)"
  done
done <<'ROWS'
-n|template
-o -n -b|std::[a-z_]+
-b|_M_impl
-c|typename
-l|_M_[a-z]+\(
-l|template
-l|t crosses$
-L|namespace std
-L|e
-L|no such text anywhere
--count -v|std
-w|size
-w -n -o|ptr
-x -n|#endif
-x|  }
-v -n|[a-z]
-v -c|std
-m 2 -n|template
-m 1 -A 2|throw
-A 2 -n|__throw_[a-z_]+
-B 3|typedef
-C 2 -n|operator==
-A 0|hashtable
-i -n|TEMPLATE<
-F -n|(*this)
-F -c -i|Hash_MAP
-h -n|allocator<
-q|typename
--color=always -n|std::[a-z]+
--color=always -o -b|_M_[a-z]+
--color=always -C 1 -n|__throw_[a-z_]+
--color=always -v -A 1|[a-z]
--color=always -c|hash
--color=always -l|decimal
ROWS

# Ignore rules against rg --files: a work tree with .gitignore files at
# three depths, .ignore, .git/info/exclude, hidden files and a binary file.
g="$work/g"
mkdir -p "$g/.git/info" "$g/src/gen" "$g/src/x/deep" "$g/docs/old" "$g/build" "$g/.hidden"
printf 'secret.txt\n' >"$g/.git/info/exclude"
printf 'build/\n*.log\n!keep.log\n/top-only.txt\n**/deep/*.txt\n# a comment\n\\#hash\nspace\\ \n' >"$g/.gitignore"
printf 'gen/\n*.tmp\n!src-keep.tmp\n' >"$g/src/.gitignore"
printf 'old/**\n!old/keep.md\n' >"$g/docs/.gitignore"
printf 'draft*\n' >"$g/docs/.ignore"
for f in .gitignore src/.gitignore docs/.gitignore docs/.ignore; do printf '#z\n' >>"$g/$f"; done
for f in a.txt keep.log x.log top-only.txt '#hash' 'space ' secret.txt .env src/top-only.txt src/a.c \
         src/b.tmp src/src-keep.tmp src/gen/g.c src/x/deep/y.txt src/x/deep/y.c src/secret.txt docs/readme.md \
         docs/draft1.md docs/old/x.md docs/old/keep.md build/out.o .hidden/h.txt; do
  printf 'z\n' >"$g/$f"
done
# Nested repositories, a folder .git and a submodule's .git file: the
# outer .gitignore and exclude rules stop at their tops, .ignore ones do not.
mkdir -p "$g/nested/.git" "$g/nested/build" "$g/mod/deep"
printf 'own.txt\n#z\n' >"$g/nested/.gitignore"
printf 'gitdir: ../.git/modules/mod\n' >"$g/mod/.git"
for f in nested/n.log nested/own.txt nested/build/b.txt nested/secret.txt nested/draft2.md mod/m.log mod/keep.log \
         mod/deep/d.txt mod/top-only.txt; do
  printf 'z\n' >"$g/$f"
done
printf 'draft*\n#z\n' >"$g/.ignore"
printf 'z\0\1\2' >"$g/bin.dat"
printf 'z\0' >"$g/src/bin2.dat"
# Links to files outside the tree, met in the walk: followed with --follow only.
printf 'z\n' >"$work/outside.txt" && printf 'z\n' >"$work/outside.c"
ln -s ../outside.txt "$g/link.txt" && ln -s ../../outside.c "$g/src/link.c"
rg_files() { (cd "$g" && HOME="$work" XDG_CONFIG_HOME="$work" rg --no-config --files "$@") | grep -v -e '^\.git/' -e '/\.git/' -e '/\.git$' | sort; }
while IFS='|' read -r flags binary; do
  read -ra f <<<"$flags"
  current="find-files -r ${flags:-(defaults)} against rg --files"
  (cd "$g" && "$RAVELIN" find-files -r "${f[@]}" z </dev/null) >"$work/out" 2>"$work/err"
  sort -o "$work/out" "$work/out"
  if [ "$binary" = yes ]; then rg_files "${f[@]}" >"$work/ref"; else rg_files "${f[@]}" | grep -v 'bin2*\.dat$' >"$work/ref"; fi
  [ -s "$work/ref" ] || fail "rg lists nothing"
  cmp -s "$work/out" "$work/ref" || fail "differs: $(diff "$work/ref" "$work/out" | head -n 8)"
  expect_no_err
done <<'ROWS'
|no
-u|no
-uu|no
-uuu|yes
-g *.md -g !draft*|no
-g !src/ -uu|no
-g *.c -g .env -g !gen/|no
--follow|no
--follow -g *.c|no
ROWS
# With no PATH, standard input is searched when it is a pipe or a file, as
# rg does; /dev/null (the table above) leaves the current directory.
printf 'z one\nnone\nz two\n' >"$work/in.txt"
(cd "$g" && rg --no-config -n z <"$work/in.txt") >"$work/ref"
for how in file pipe; do
  current="grep-files -n z, no PATH, standard input a $how"
  if [ "$how" = file ]; then
    (cd "$g" && "$RAVELIN" grep-files -n z <"$work/in.txt") >"$work/out" 2>"$work/err"
  else
    (cd "$g" && cat "$work/in.txt" | "$RAVELIN" grep-files -n z) >"$work/out" 2>"$work/err"
  fi
  cmp -s "$work/out" "$work/ref" || fail "differs from rg: $(diff "$work/ref" "$work/out" | head -n 4)"
  expect_no_err
done
# -r with no PATH is the current directory whatever standard input is, as
# with grep -r.
current="find-files -r z, no PATH, standard input a pipe"
(cd "$g" && "$RAVELIN" find-files -r z </dev/null) >"$work/ref" 2>&1
(cd "$g" && cat "$work/in.txt" | "$RAVELIN" find-files -r z) >"$work/out" 2>&1
[ -s "$work/ref" ] && cmp -s "$work/out" "$work/ref" || fail "not the current directory"
# PATHs the walk does not open are read as grep reads them: '-', a FIFO,
# /dev/stdin, a process substitution, a device; a PATH that exists is used
# as it is, wildcard characters and all.
mkdir -p "$work/w/pages" && printf 'z id\n' >"$work/w/pages/[id].js" && printf 'z i\n' >"$work/w/pages/i.js"
mkfifo "$work/w/fifo"
while IFS='|' read -r paths; do
  read -ra p <<<"$paths"
  current="grep-files -H -n z $paths against grep"
  feed() { case " $paths " in *" fifo "*) printf 'z fifo\n' >"$work/w/fifo" & ;; esac; }
  feed
  (cd "$work/w" && grep -H -n z "${p[@]}" <"$work/in.txt") >"$work/ref" 2>/dev/null
  want=$?
  feed
  (cd "$work/w" && "$RAVELIN" grep-files -H -n z "${p[@]}" <"$work/in.txt") >"$work/out" 2>"$work/err"
  rc=$?
  expect_rc "$want"
  cmp -s "$work/out" "$work/ref" || fail "differs from grep: $(diff "$work/ref" "$work/out" | head -n 4)"
done <<'ROWS'
- fifo
/dev/stdin pages/[id].js
pages/[id].js /dev/null
ROWS
check 0 "$work/w/pages/i.js:z i\n" grep-files -H z "$work/w/pages/[h-j].js"
current="grep-files z <(...)"
[ "$("$RAVELIN" grep-files z <(printf 'z sub\n') </dev/null)" = "z sub" ] || fail "a process substitution is not read"
# change-files writes in place: standard input and FIFOs are refused.
for path in - "$work/w/fifo"; do
  run change-files z Z "$path"
  expect_rc 2; expect_err "cannot be changed"
done

# A binary file, or one in a version-control folder, is never changed
# without being asked; a PATH naming a binary file is refused.
cp "$g/bin.dat" "$work/bin.orig"
run change-files z Z "$g/bin.dat"
expect_rc 2; expect_err "$g/bin.dat: it is a binary file"
cmp -s "$work/bin.orig" "$g/bin.dat" || fail "a binary file was changed"
run change-files -r -uuu --stats z Z "$g"
expect_rc 0
grep -q secret "$g/.git/info/exclude" && ! grep -q Z "$g/.git/info/exclude" || fail ".git was changed"
grep -q Z "$g/bin.dat" || fail "-uuu did not change the binary file"
grep -q Z "$work/outside.txt" "$work/outside.c" && fail "a file outside the tree was changed through a link"
expect_err "$g/link.txt: left unchanged: a link to a file outside the PATHs given"

# --dry-run: a diff that patch -p1 turns into exactly what change-files
# writes; nothing is written meanwhile. A file without a last newline and
# replacements that join lines included.
printf 'std::move(x)\nno newline std::swap' >tree/nonl.h
# Names that a diff header quotes.
printf 'std::vector\n' >"tree/tab	name.h" && printf 'std::string\n' >"tree/new
line \"q\".h"
dry_case() {
  local pat=$1 fmt=$2 how=${3:-}
  rm -rf mine theirs pristine && cp -R tree mine && cp -R tree theirs && cp -R tree pristine
  current="change-files --dry-run $how '$pat' '$fmt'"
  (cd mine && "$RAVELIN" change-files -r $how --dry-run "$pat" "$fmt") >"$work/patch" 2>"$work/err"
  local dry=$?
  diff -r pristine mine >/dev/null || fail "--dry-run wrote"
  (cd theirs && patch -p1 -s --no-backup-if-mismatch <"$work/patch") >"$work/err" 2>&1 || fail "patch -p1 failed: $(head -c 300 "$work/err")"
  (cd mine && "$RAVELIN" change-files -r $how "$pat" "$fmt")
  [ $? = "$dry" ] || fail "change-files and --dry-run ended with different statuses"
  diff -r theirs mine >"$work/diff" || fail "patched copy differs from change-files: $(head -n 6 "$work/diff")"
  # Status 0 when something would change (whatever text the tree holds).
  rc=$dry
  if diff -r pristine mine >/dev/null; then expect_rc 1; else expect_rc 0; fi
}
dry_case 'std::([a-z_]+)' 'STD::$1'
dry_case '\n\n' '\n' -U
dry_case '^#(\w+)' '// #$1\n#$1'
dry_case 'namespace' ''
dry_case '\n?\z' '' -U
dry_case ' +$' ''
# Files are searched in the normal syntax whatever --syntax says: the diff too.
printf 'std|move is std or move\n' >tree/bar.h
dry_case 'std|move' 'X' '--syntax basic'
run change-files -r --dry-run 'no such text anywhere' x tree
expect_rc 1; expect_out ''

# --interactive: y changes the file, n leaves it, q leaves it and the rest.
mkdir -p ask && for f in 1 2 3 4; do printf 'old\n' >"ask/$f.txt"; done
current="change-files --interactive"
printf 'y\nn\nq\n' | "$RAVELIN" change-files --interactive --stats old new ask >"$work/out" 2>"$work/err"
rc=$?
expect_rc 0
[ "$(cat ask/1.txt ask/2.txt ask/3.txt ask/4.txt)" = "$(printf 'new\nold\nold\nold')" ] || fail "answers not followed"
grep -q '^+++ b/ask/2.txt$' "$work/out" || fail "no diff shown for 2.txt"
grep -q '^1 replacement, 1 file changed$' "$work/out" || fail "wrong count"

finish
