#!/bin/bash
# Every flag: each way of writing it gives the same run, and the help page,
# the manual page and both completion scripts list it. A flag given to a
# command it means nothing to is a usage error.
. "$(dirname "$0")/lib.sh"

t=$work/t
mkdir -p "$t/sub" "$t/.hid"
printf 'alpha beta\nAlpha\nbeta\n' >"$t/a.txt"
printf 'beta alpha\n' >"$t/sub/b.md"
printf 'alpha\n' >"$t/.hid/c.txt"
printf 'alpha\0\n' >"$t/bin.dat"
printf 'a.txt\n' >"$t/.ignore"
ln -s ../a.txt "$t/sub/link.txt"
printf 'alpha\n' >"$work/subject"
"$RAVELIN" --save "$work/rec" grep alpha --subject x >/dev/null

# SHORT LONG VALUE COMMAND ARGS...: - for no short name or no value. Each row
# runs COMMAND ARGS with the flag written every way it may be: -x, --long and
# the aliases; with a value also -xV, -x V, --long V, --long=V (=V: a value
# that may be left out, so only --long=V).
rows=(
  "r recursive - find-files alpha $t"
  "g glob *.md find-files -r alpha $t"
  "u unrestricted - find-files -r alpha $t"
  "- no-ignore - find-files -r alpha $t"
  "- hidden - find-files -r alpha $t"
  "- follow - find-files -r alpha $t"
  "- binary - find-files -r alpha $t"
  "j threads 2 grep-files -r alpha $t"
  "s no-messages - grep-files alpha $t/missing $t/a.txt"
  "n line-number - grep-files alpha $t/a.txt"
  "b byte-offset - grep-files alpha $t/a.txt"
  "H with-filename - grep-files alpha $t/a.txt"
  "h no-filename - grep-files -r alpha $t"
  "o only-matching - grep-files alpha $t/a.txt"
  "v invert-match - grep-files alpha $t/a.txt"
  "l files-with-matches - grep-files -r alpha $t"
  "L files-without-match - grep-files -r Alpha $t"
  "m max-count 1 grep-files beta $t/a.txt"
  "A after-context 1 grep-files alpha $t/a.txt"
  "B before-context 1 grep-files beta $t/a.txt"
  "C context 1 grep-files Alpha $t/a.txt"
  "q quiet,silent - grep-files alpha $t/a.txt"
  "a text - grep-files alpha $t/bin.dat"
  "- color,colour =never grep-files alpha $t/a.txt"
  "w word-regexp - grep-files alph $t/a.txt"
  "x line-regexp - grep-files beta $t/a.txt"
  "- dry-run - change-files alpha omega $t/a.txt"
  "- interactive - change-files alpha omega $t/a.txt"
  "- backup bak change-files --dry-run alpha omega $t/a.txt"
  "- suffix .orig change-files --dry-run alpha omega $t/a.txt"
  "- keep-going - change-files --dry-run alpha omega $t/a.txt"
  "- stats - change-files --dry-run alpha omega $t/a.txt"
  "U multiline - grep a.b --subject a&b"
  "i ignore-case - grep ALPHA --subject alpha"
  "- syntax extended merge a|ab [&] --subject ab"
  "F fixed-strings - grep a.b --subject a.b"
  "- option Icase grep ALPHA --subject alpha"
  "- no-option Icase grep -i ALPHA --subject alpha"
  "- match-option NotBol grep ^a --subject aa"
  "- no-match-option NotBol grep ^a --subject aa"
  "c count,count-lines - grep a --subject aaa"
  "- no-copy - merge a x --subject bab"
  "- copy - merge a x --subject bab"
  "- subject abc search b"
  "- input $work/subject search alpha"
  "- load $work/rec grep --subject alpha"
  "- save $work/rec2 grep a --subject a"
  "- help - grep"
  "- version - grep"
  "- generate bash"
)

"$RAVELIN" --help >"$work/help" 2>&1
"$RAVELIN" --generate man >"$work/man" 2>&1
"$RAVELIN" --generate bash >"$work/bash" 2>&1
"$RAVELIN" --generate zsh >"$work/zsh" 2>&1
: >"$work/tested"
for row in "${rows[@]}"; do
  read -r short longs value command args <<<"$row"
  # shellcheck disable=SC2206 # the arguments are words
  args=($args)
  forms=()
  IFS=, read -r -a names <<<"$longs"
  for long in "${names[@]}"; do
    echo "--$long" >>"$work/tested"
    if [ "$value" = - ]; then
      forms+=("--$long")
    elif [[ $value == =* ]]; then
      forms+=("--$long$value")
    else
      forms+=("--$long $value" "--$long=$value")
    fi
    grep -qF -- "--$long" "$work/help" || fail "--help does not list --$long"
    grep -qF -- "\\-\\-${long//-/\\-}" "$work/man" || fail "the manual page does not list --$long"
    grep -qF -- "--$long" "$work/bash" || fail "the bash completion does not list --$long"
    grep -qF -- "--$long" "$work/zsh" || fail "the zsh completion does not list --$long"
  done
  if [ "$short" != - ]; then
    if [ "$value" = - ]; then forms+=("-$short"); else forms+=("-$short$value" "-$short $value"); fi
    grep -qF -- "-$short," "$work/help" || fail "--help does not list -$short"
    grep -qF -- "\\-$short" "$work/man" || fail "the manual page does not list -$short"
    grep -qF -- "-$short" "$work/bash" || fail "the bash completion does not list -$short"
    grep -qF -- "{-$short" "$work/zsh" || fail "the zsh completion does not list -$short"
  fi
  first=
  for form in "${forms[@]}"; do
    read -r -a flag <<<"$form"
    if [ "$value" != - ] && [[ $form == --*=* ]]; then flag=("$form"); fi
    run "$command" "${flag[@]}" "${args[@]}" </dev/null
    [ "$rc" -ne 2 ] || [ "$longs" = no-messages ] || fail "refused"
    grep -q "usage: ravelin \[OPTIONS\]" "$work/err" && fail "a usage error"
    printf '%s\n' "$rc" >>"$work/out"
    if [ -z "$first" ]; then
      first=$form
      cp "$work/out" "$work/first"
    else
      cmp -s "$work/first" "$work/out" || fail "$form does not do what $first does"
    fi
  done
done

# Every flag the completion offers has its row above.
grep -o -- '--[a-z][a-z-]*' "$work/bash" | sort -u >"$work/offered"
sort -u "$work/tested" | comm -23 "$work/offered" - >"$work/untested"
[ ! -s "$work/untested" ] || fail "flags without a row: $(tr '\n' ' ' <"$work/untested")"

# A flag the command does nothing with is refused, not ignored.
misplaced_case() {
  local message=$1
  shift
  run "$@"
  expect_usage
  expect_err "$message"
}
misplaced_case "option '-m' means nothing to change-files (it is for grep-files)" change-files -m 1 a b "$t"
misplaced_case "option '-w' means nothing to grep (it is for the file commands)" grep -w a --subject a
misplaced_case "option '--subject' means nothing to grep-files" grep-files --subject x a "$t"
misplaced_case "option '--dry-run' means nothing to merge" merge --dry-run a b --subject a
misplaced_case "option '--no-copy' means nothing to grep" grep --no-copy a --subject a
[ "$(cat "$t/a.txt")" = "$(printf 'alpha beta\nAlpha\nbeta')" ] || fail "a refused run changed a file"
# What a settings record keeps goes with any command that saves one.
check 0 '1:0:a\n' --save "$work/rec3" -r --no-copy --backup old grep a --subject a

finish
