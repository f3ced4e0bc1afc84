#!/bin/bash
# What change-files refuses to write, and what the file commands say about
# the paths they pass by: bad backup extensions, read-only files, backups,
# backup names that collide, missing and unreadable paths, searches the
# engine gives up on, and the file a failed temporary file was for.
. "$(dirname "$0")/lib.sh"

# An extension or suffix that would put the backup elsewhere than beside its
# file; the two ways of naming backups do not combine.
for opt in --backup --suffix; do
  for ext in 'a/b' '' '  ' '.' '..' ' .. ' '../x'; do
    run change-files "$opt" "$ext" a b "$work"
    expect_usage; expect_err "$opt '$ext'"
  done
done
run change-files --backup bak --suffix .bak a b "$work"
expect_usage; expect_err "--backup and --suffix do not go together"

# A small project: sources, notes under two extensions, a versioned
# directory, dot-files and a link.
make_project() {
  local p=$1
  mkdir -p "$p/src" "$p/docs/v1.0" "$p/.config"
  printf 'int old_name;\n' >"$p/src/a.c"
  printf 'old_name();\n' >"$p/src/b.c"
  printf 'x = old_name;\nold_name++;\n' >"$p/src/c.c"
  printf 'none\n' >"$p/src/d.c"
  printf 'old_name here\n' >"$p/docs/notes.txt"
  printf 'old_name there\n' >"$p/docs/notes.md"
  printf 'see old_name\n' >"$p/docs/v1.0/README"
  printf 'alias old_name\n' >"$p/.bashrc"
  printf 'old_name=1\n' >"$p/.config/env"
  ln -s ../src/a.c "$p/docs/a-link.c"
}
p="$work/p"
make_project "$p"
chmod 444 "$p/src/b.c"
cp -a "$p" "$work/p.orig"

# refused NEEDLE... ARGS: change-files is refused, each NEEDLE (up to "--")
# is on standard error, and the project is as it was.
refused() {
  local needles=()
  while [ "$1" != -- ]; do needles+=("$1"); shift; done
  shift
  run change-files --stats "$@"
  expect_rc 2; expect_out '0 replacements, 0 files changed\n'
  expect_err "nothing changed"
  for n in "${needles[@]}"; do expect_err "$n"; done
  same_tree "$work/p.orig" "$p"
}
refused "$p/src/b.c: it is read-only" -- old_name new_name "$p/src/*.c"
refused "$p/docs/notes.txt: its backup $p/docs/notes.bak would also be the backup of $p/docs/notes.md" \
  -- -r --backup bak old_name new_name "$p/docs"
refused "$p/docs/notes.md: its backup $p/docs/notes.txt is a file this run changes" \
        "$p/docs/notes.txt: its name carries the backup extension" \
  -- --backup txt old_name new_name "$p/docs"
printf 'old\n' >"$p/src/c.bak"
cp "$p/src/c.bak" "$work/p.orig/src/"
refused "$p/src/b.c: it is read-only" "$p/src/c.c: its backup $p/src/c.bak exists already" \
  -- --backup bak old_name new_name "$p/src"
printf 'old_name\n' >"$p/src/a.c~"
cp "$p/src/a.c~" "$work/p.orig/src/"
refused "$p/src/a.c: its backup $p/src/a.c~ is a file this run changes" \
        "$p/src/a.c~: its name ends with the backup suffix" -- --suffix '~' old_name new_name "$p/src"
rm "$p/src/a.c~" "$work/p.orig/src/a.c~"

# --keep-going changes the others; status 2 all the same.
run change-files --keep-going --stats --backup bak old_name new_name "$p/src/*.c"
expect_rc 2; expect_out '1 replacement, 1 file changed\n'
expect_err "$p/src/b.c: left unchanged: it is read-only"
expect_err "$p/src/c.c: left unchanged: its backup $p/src/c.bak exists already"
printf 'int new_name;\n' | cmp -s - "$p/src/a.c" || fail "a.c not changed"
cmp -s "$work/p.orig/src/a.c" "$p/src/a.bak" || fail "a.bak is not the old a.c"
cmp -s "$work/p.orig/src/c.c" "$p/src/c.c" || fail "c.c changed"
# ... names holding wildcard characters included.
for f in 'w[1]*.c' 'w?\.c'; do printf 'old_name\n' >"$p/src/$f"; done
run change-files --keep-going old_name new_name "$p/src/[bw]*"
expect_rc 2; expect_err "$p/src/b.c: left unchanged: it is read-only"
for f in 'w[1]*.c' 'w?\.c'; do grep -q new_name "$p/src/$f" || fail "$f not changed"; done
run change-files -r --keep-going --backup bak old_name new_name "$p/docs"
expect_rc 2; expect_err "$p/docs/notes.txt: left unchanged: its backup"
cmp -s "$work/p.orig/docs/notes.md" "$p/docs/notes.bak" || fail "notes.bak is not the old notes.md"
cmp -s "$work/p.orig/docs/notes.txt" "$p/docs/notes.txt" || fail "notes.txt changed"
cmp -s "$work/p.orig/docs/v1.0/README" "$p/docs/v1.0/README.bak" || fail "no v1.0/README.bak"

# A whole run that may go ahead: the same as sed -i, backups of the old
# bytes, dot-files saved as NAME.EXT, the link still a link.
q="$work/q"
make_project "$q"
rm "$q/docs/notes.md"
cp -a "$q" "$work/q.orig"
run change-files -r -uu --backup orig --stats 'old_(\w+)' 'new_$1' "$q"
expect_rc 0; expect_no_err
find "$work/q.orig" -type f -exec sed -E -i 's/old_(\w+)/new_\1/g' {} +
for f in src/a.c src/b.c src/c.c src/d.c docs/notes.txt docs/v1.0/README .bashrc .config/env; do
  cmp -s "$work/q.orig/$f" "$q/$f" || fail "$f differs from sed -i"
done
printf 'alias old_name\n' | cmp -s - "$q/.bashrc.orig" || fail "no .bashrc.orig"
printf 'old_name=1\n' | cmp -s - "$q/.config/env.orig" || fail "no .config/env.orig"
[ -L "$q/docs/a-link.c" ] || fail "the link was replaced by a file"
[ ! -e "$q/src/d.orig" ] || fail "a backup of a file without a match"

# --suffix appends as sed -i.bak does: notes.txt and notes.md (whose backups
# collide under --backup) are both changed, and the tree ends as sed leaves it.
r="$work/r"
make_project "$r"
rm "$r/docs/a-link.c"  # grep -r passes links by
cp -a "$r" "$work/r.sed"
run change-files -r -uu --suffix .bak --stats 'old_(\w+)' 'new_$1' "$r"
expect_rc 0; expect_out '9 replacements, 8 files changed\n'; expect_no_err
(cd "$work/r.sed" && grep -rlZ old_ . | xargs -0 sed -E -i.bak 's/old_(\w+)/new_\1/g')
same_tree "$work/r.sed" "$r"

# Not writable by this user, though it has write bits: refused as read-only.
u="$work/u"
make_project "$u"
chmod -R a+rX "$u"
run_nobody change-files old_name new_name "$u/src/*.c"
expect_rc 2; expect_err "$u/src/a.c: it is read-only"; expect_err "$u/src/c.c: it is read-only"

# A file the user may write in a directory it may not: the temporary file
# cannot be made, and the message names the file left unchanged.
chmod 666 "$u/src/a.c"
run_nobody change-files old_name new_name "$u/src/a.c"
expect_rc 2; expect_err "$u/src/a.c (temporary $u/src/.ravelin-"; expect_err "TempCreateFailed"

# Missing and unreadable paths: named with the system's reason, status 2
# as grep's; -s silences the messages, not the status.
chmod 700 "$u/docs"
chmod 600 "$u/src/c.c"
paths_case() {
  local path=$1 reason=$2 grep_args=$3
  for cmd in find-files grep-files change-files; do
    local args=(old_name)
    [ "$cmd" = change-files ] && args+=(new_name)
    run_nobody "$cmd" "${args[@]}" "$u/$path"
    expect_rc 2; expect_err "ravelin: $u/$path"; expect_err "$reason"
    run_nobody "$cmd" -s "${args[@]}" "$u/$path"
    expect_rc 2; expect_no_err
  done
  as_nobody grep $grep_args old_name "$u/$path" >/dev/null 2>&1
  rc=$?; current="grep $grep_args on $path"; expect_rc 2
}
paths_case 'incc/*.h' 'incc/*.h: No such file or directory' -s
paths_case src/missing.c 'src/missing.c: No such file or directory' -s
paths_case docs 'Permission denied' '-r -s'
paths_case src/c.c 'src/c.c: Permission denied' -s
# Matches found elsewhere are still printed.
run_nobody grep-files -r -uu -onb 'old_\w+' "$u"
expect_rc 2; expect_err "$u/docs: Permission denied"
grep -qF "$u/.bashrc:1:6:old_name" "$work/out" || fail "the readable files were not searched"

# A search the engine gives up on: the file and the reason, status 2, once.
s="$work/s"
mkdir -p "$s"
{ head -c 30000 /dev/zero | tr '\0' a; printf '\nfoo\n'; } >"$s/s.txt"
printf 'foo\n' >"$s/t.txt"
for cmd in find-files grep-files; do
  run "$cmd" '(a*)*b|foo' "$s"
  expect_rc 2; expect_err "$s/s.txt: the search stopped early"
  grep -qF "$s/t.txt" "$work/out" || fail "t.txt not reported"
done
run change-files '(a*)*b|foo' bar "$s"
expect_rc 2
[ "$(grep -c "s.txt" "$work/err")" = 1 ] || fail "s.txt reported $(grep -c "s.txt" "$work/err") times"

# A file two PATHs reach (itself, its directory, a link to it) is changed
# once: a replacement that grows would otherwise grow twice.
mkdir -p "$work/twice/d" && printf 'ab\n' >"$work/twice/d/f.txt" && ln -s f.txt "$work/twice/d/l.txt"
run change-files --stats 'a' 'aa' "$work/twice/d" "$work/twice/d/f.txt" "$work/twice/d/l.txt"
expect_rc 0; expect_out '1 replacement, 1 file changed\n'
printf 'aab\n' | cmp -s - "$work/twice/d/f.txt" || fail "changed more than once: $(cat "$work/twice/d/f.txt")"


# A run held between its scan and its writes (--interactive waits for an
# answer) while a directory of the tree is swapped for a link to another
# tree and a file for a link to a file there: nothing outside is written.
h="$work/held"
mkdir -p "$h/t/sub" "$h/outside"
printf 'foo\n' >"$h/t/a.txt" && printf 'foo\n' >"$h/t/b.txt" && printf 'foo\n' >"$h/t/sub/f.txt"
printf 'foo (outside, must stay)\n' >"$h/outside/f.txt" && printf 'foo (outside too)\n' >"$h/outside/g.txt"
cp -R "$h/outside" "$work/outside.orig"
mkfifo "$h/answers"
current="change-files --interactive -r, a directory and a file swapped for links while it asks"
"$RAVELIN" --interactive change-files -r foo bar "$h/t" <"$h/answers" >"$work/out" 2>"$work/err" &
pid=$!
exec 3>"$h/answers"
deadline=$((SECONDS + 60))
until grep -q 'a.txt?' "$work/err" || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
grep -q 'a.txt?' "$work/err" || fail "no question about a.txt within a minute"
mv "$h/t/sub" "$h/t/sub.real" && ln -s ../outside "$h/t/sub"
mv "$h/t/b.txt" "$h/t/b.real" && ln -s ../outside/g.txt "$h/t/b.txt"
echo a >&3
exec 3>&-
wait "$pid"
rc=$?
expect_rc 2
expect_err "$h/t/sub/f.txt: left unchanged: it was not found again"
expect_err "$h/t/b.txt: left unchanged: it was not found again"
same_tree "$work/outside.orig" "$h/outside"
printf 'bar\n' | cmp -s - "$h/t/a.txt" || fail "a.txt not changed"

# Links planted in a tree, one to a file outside, one to a file inside, both
# met before their files. Not followed: the one leading outside is named, the
# file inside is changed under its own name, once, and both stay links. A
# link named as a PATH is followed, and so are all with --follow.
l="$work/links"
mkdir -p "$l/tree" "$l/outside"
printf 'foo\n' >"$l/outside/secret" && printf 'foo\n' >"$l/tree/in.txt"
ln -s ../outside/secret "$l/tree/a-out.txt" && ln -s in.txt "$l/tree/a-in.txt"
run change-files -r --stats foo bar "$l/tree"
expect_rc 0; expect_out '1 replacement, 1 file changed\n'
expect_err "$l/tree/a-out.txt: left unchanged: a link to a file outside the PATHs given"
printf 'foo\n' | cmp -s - "$l/outside/secret" || fail "the file outside was written"
printf 'bar\n' | cmp -s - "$l/tree/in.txt" || fail "in.txt not changed"
run change-files --stats bar foo "$l/tree/a-in.txt"
expect_rc 0; expect_out '1 replacement, 1 file changed\n'
run change-files -r --follow --stats foo bar "$l/tree"
expect_rc 0; expect_out '2 replacements, 2 files changed\n'; expect_no_err
printf 'bar\n' | cmp -s - "$l/outside/secret" || fail "--follow did not follow the link"
[ -L "$l/tree/a-out.txt" ] && [ -L "$l/tree/a-in.txt" ] || fail "a link was replaced by a file"

# Two names of one file: refused before anything is written, named with the
# count; --keep-going changes the others.
k="$work/hard"
mkdir -p "$k" && printf 'grey\n' >"$k/a" && ln "$k/a" "$k/b" && printf 'grey\n' >"$k/c"
run change-files --stats grey silver "$k"
expect_rc 2; expect_out '0 replacements, 0 files changed\n'; expect_err "$k/a: it has 2 hard links"
run change-files --keep-going --stats grey silver "$k"
expect_rc 2; expect_out '1 replacement, 1 file changed\n'; expect_err "$k/a: left unchanged: it has 2 hard links"
[ "$(cat "$k/a" "$k/b" "$k/c")" = "$(printf 'grey\ngrey\nsilver')" ] || fail "hard links split or c.txt not changed"

# The settings record of the run, inside its tree, is left as written, and
# --load reads it back.
r="$work/record"
mkdir -p "$r" && printf 'foo\n' >"$r/a.txt"
run --save "$r/run.rv" change-files -r --stats foo bar "$r"
expect_rc 0; expect_out '1 replacement, 1 file changed\n'; expect_err "$r/run.rv: left unchanged: it is the settings record"
printf 'foo\n' >"$r/a.txt"
run --load "$r/run.rv" change-files --stats
expect_rc 0; expect_out '1 replacement, 1 file changed\n'; expect_err "$r/run.rv: left unchanged"
printf 'bar\n' | cmp -s - "$r/a.txt" || fail "the loaded record did not change a.txt"

# New bytes equal to the old: nothing written (same inode), and --dry-run
# says what the run does. So for an empty file and a pattern that matches
# the empty string: it stays empty, as with sed and perl -p.
i="$work/same"
mkdir -p "$i" && printf 'foo\n' >"$i/x" && : >"$i/e"
for args in 'foo foo x' 'foo $& x' '-U ^ X e'; do
  read -ra a <<<"$args"
  f="$i/${a[-1]}"
  run change-files --dry-run "${a[@]:0:${#a[@]}-1}" "$f"
  expect_rc 1; expect_out ''
  ino=$(stat -c %i "$f") && exec 4<"$f"  # held open: its inode is not reused
  run change-files --stats "${a[@]:0:${#a[@]}-1}" "$f"
  expect_rc 1; expect_out '0 replacements, 0 files changed\n'
  [ "$(stat -c %i "$f")" = "$ino" ] || fail "a file with nothing to change was rewritten"
  exec 4<&-
done
[ ! -s "$i/e" ] || fail "the empty file was written"

finish
