#!/bin/bash
# Exit statuses and messages: usage errors, bad patterns, unreadable inputs,
# --help and --version.
. "$(dirname "$0")/lib.sh"

# Usage errors: a message naming the fault, the usage line, status 2.
usage_case() {
  local message=$1
  shift
  run "$@"
  expect_usage
  expect_err "$message"
  [ ! -s "$work/out" ] || fail "output on a usage error"
}
usage_case "no command given"
usage_case "no command given"                 -r -i
usage_case "unknown command 'frob'"           frob x
usage_case "unknown option '--frob'"          --frob grep a --subject a
usage_case "unknown option '-Z'"              grep -Z a --subject a
usage_case "needs a number, not 'x'"          grep-files -m x a
usage_case "--color 'sometimes'"              grep-files --color=sometimes a
usage_case "unknown option '--count=3'"       grep --count=3 a --subject a
usage_case "grep needs PATTERN"               grep
usage_case "merge needs PATTERN FORMAT"       merge a --subject a
usage_case "change-files needs PATTERN FORMAT" change-files a
usage_case "unknown command 'frob'"           help frob
usage_case "too many arguments for search"    search a b --subject a
usage_case "option '--subject' needs a value" grep a --subject
usage_case "unknown syntax 'posix'"           --syntax posix grep a --subject a
usage_case "unknown compile option 'nocase'"  --option nocase grep a --subject a
usage_case "unknown match option 'NotAny'"    --match-option NotAny grep a --subject a

# --help and --version answer on standard output with status 0.
run --help
expect_rc 0; expect_no_err
for word in "usage: ravelin" match match-all search grep merge find-files grep-files change-files \
            --recursive --ignore-case --syntax --option --match-option --no-copy --backup --count \
            --load --save --subject --input --stats --keep-going --no-messages --fixed-strings \
            --line-number --byte-offset --only-matching --invert-match --count-lines --files-with-matches \
            --files-without-match --word-regexp --line-regexp --max-count --context --quiet --text --color \
            --glob --no-ignore --hidden --binary --follow --dry-run --interactive "notes.txt -> notes.bak" perl; do
  grep -qF -- "$word" "$work/out" || fail "--help does not mention $word"
done
# The help of one command: its usage and examples, asked two ways.
for cmd in match match-all search grep merge find-files grep-files change-files; do
  run help "$cmd"
  expect_rc 0; expect_no_err
  grep -qF "usage: ravelin $cmd" "$work/out" || fail "help $cmd gives no usage"
  grep -qF "Examples:" "$work/out" || fail "help $cmd gives no examples"
  cp "$work/out" "$work/help1"
  run "$cmd" --help
  expect_rc 0; expect_out_file "$work/help1"
done
check 0 'ravelin 2.1.1\n' --version
check 0 'ravelin 2.1.1\n' grep --version

# A pattern that does not compile: the engine's message and the pattern.
run grep '(ab' --subject ab
expect_rc 2; expect_err "invalid pattern '(ab'"; expect_err "parenthesis"
run merge 'a[' x --subject ab
expect_rc 2; expect_err "invalid pattern 'a['"
run grep-files '(ab' "$work"
expect_rc 2; expect_err "invalid pattern '(ab'"
run change-files 'a{2,1}' x "$work"
expect_rc 2; expect_err "invalid pattern 'a{2,1}'"
run grep '' --subject ab
expect_rc 2; expect_err "empty pattern"
# A repeat after a possessive repeat, hidden from the engine's own check by
# an empty \Q\E or a free-spacing comment, is refused by every command (the
# engine alone crashes or loops on it).
for pat in '(((a{2}+\Q\E{3}){2}))' '(?=a++\Q\E+)' '(?!a++\Q\E++b)' $'(?x)(b|a++ #c\n+)'; do
  for cmd in grep find-files grep-files change-files; do
    args=("$pat")
    [ "$cmd" = change-files ] && args+=(x)
    [ "$cmd" = grep ] && args+=(--subject aaab) || args+=("$work")
    run "$cmd" "${args[@]}"
    expect_rc 2; expect_err "invalid pattern"; expect_err "cannot follow a possessive repeat"
  done
done
# An option word the engine cannot express is refused, never approximated.
run --option BkVbar grep a --subject a
expect_rc 2; expect_err "invalid pattern 'a'"; expect_err "cannot be expressed"

# Unreadable inputs.
run grep a --input "$work/missing"
expect_rc 2; expect_err "cannot read $work/missing: No such file or directory"
run grep a --input "$work"
expect_rc 2; expect_err "cannot read $work: Is a directory"

# "--" ends the options: what follows is an argument even if it looks like one.
check 0 '1:1:-b\n' --subject a-b grep -- -b
check 0 '1:0:--subject\n' grep --subject --subject -- --subject

# A failed write of the results is an error, not a silent loss.
"$RAVELIN" grep a --subject aaa >/dev/full 2>"$work/err"
rc=$?
current="ravelin grep a >/dev/full"
expect_rc 2; expect_err "cannot write standard output"

finish
