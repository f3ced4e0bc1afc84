#!/bin/bash
# The string commands: match, match-all, search, grep, merge, with their
# output formats, the options that shape them and the ways to give a subject.
. "$(dirname "$0")/lib.sh"

# Match vectors: INDEX:POSITION:TEXT, the marks, then the prefix and suffix;
# an entry that took no part (or an empty prefix/suffix) has position -1.
check 0 '0:0:ab\n1:1:b\n2:-1:\n3:2:c\n'          match 'a(b)' --subject abc
check 1 ''                                         match 'b' --subject abc
check 0 '0:0:abc\n1:-1:\n2:0:abc\n3:-1:\n4:-1:\n' match-all '(x)|(abc)' --subject abc
check 1 ''                                         match-all 'ab' --subject abc
check 0 '0:1:bc\n1:2:c\n2:0:a\n3:3:d\n'           search 'b(c)' --subject abcd
check 1 ''                                         search 'z' --subject abcd
check 0 '0:0:\n1:-1:\n2:0:abc\n'                   match 'x*' --subject abc

# grep: LINE:OFFSET:TEXT, one line per match, offsets from the subject start.
check 0 '1:1:b\n1:3:b\n'                           grep b --subject abcb
check 0 '2:2:bx\n4:9:x\n'                          grep 'b?x' --subject $'a\nbx\nccc\nx'
check 1 ''                                         grep z --subject abc
check 1 ''                                         grep 'x*' --subject ''

# merge copies the text between matches (like sed), --no-copy drops it.
check 0 'b[a]n[a]n[a]'                             merge a '[$&]' --subject banana
check 0 '[a][a][a]'                                merge a '[$&]' --no-copy --subject banana
check 0 'example:anna, host:bob'                   merge '(\w+)@(\w+)' '$2:$1' --subject 'anna@example, bob@host'
check 0 'b<a>n<a>n<a>'                             merge '(a)' '<\1>' --subject banana
check 1 'banana'                                   merge z '[$&]' --subject banana
# An empty format deletes the matches, as sed and perl do.
check 0 'bnn'                                      merge a '' --subject banana
# After a match, an empty match where it ended is replaced too, as perl has it
# (sed gives -a-b-c-); with -F the format is plain text as well.
check 0 '-a-b--c-\n'                               merge 'x*' - --subject $'abxxc\n'
check 0 'cost $5.00 \\1 $& \\n'                     merge -F X 'cost $5.00 \1 $& \n' --subject X
check 0 ''                                         merge a '' --no-copy --subject banana

# --count prints only the count the operation returns.
check 0 '3\n'                                      grep --count a --subject banana
check 0 '3\n'                                      grep -c a --subject banana
check 0 '3\n'                                      merge --count a x --subject banana
check 0 '1\n'                                      search --count n --subject banana
check 1 '0\n'                                      match --count n --subject banana

# Case, syntax, compile and match options, given before or after the command.
check 0 '1:0:A\n1:2:a\n'                           -i grep a --subject 'Aba'
check 0 '1:0:A\n1:2:a\n'                           grep a --subject 'Aba' --ignore-case
check 0 '1:0:A\n1:2:a\n'                           grep --option icase a --subject 'Aba'
check 0 '1:1:a.c\n'                                grep --syntax literal a.c --subject 'xa.cabc'
check 0 '1:0:ab\n'                                 grep --syntax basic 'a\(b\)' --subject 'ab'
check 0 '1:0:abcd\n'                               grep --syntax extended 'ab|abcd' --subject 'abcd'
check 0 '1:0:ab\n'                                 grep --syntax normal 'ab|abcd' --subject 'abcd'
check 0 '1:0:a\n'                                  grep --match-option NotNull 'a*' --subject 'ab'
check 0 '1:0:a\n'                                  grep --match-option=MatchNotNull 'a*' --subject 'ab'
check 1 ''                                         search --match-option notbol '^a' --subject 'abc'
check 0 '0:0:a\n1:-1:\n2:1:bc\n'                   search --match-option notbol --no-match-option notbol '^a' --subject 'abc'
check 1 ''                                         search --match-option notdotnewline 'a.b' --subject $'a\nb'
check 0 '1:0:a\n1:2:b\n'                           grep --option newlinealt $'a\nb' --subject 'acb'
check 1 ''                                         grep --option icase --no-option icase 'ab' --subject 'AB'

# The subject from standard input, from a file, or from --subject.
printf 'one\ntwo\nthree\n' >"$work/subject.txt"
run_in $'one\ntwo\n' grep o
expect_rc 0; expect_out '1:0:o\n2:6:o\n'
run grep 't[a-z]+' --input "$work/subject.txt"
expect_rc 0; expect_out '2:4:two\n3:8:three\n'
run --subject abc --input "$work/subject.txt" grep b
expect_rc 0; expect_out '1:1:b\n'

# Binary bytes and newlines inside matches are printed as they are.
printf 'a\0b\nc\0d' >"$work/binary"
run grep --input "$work/binary" '.\x00.'
expect_rc 0; expect_out '1:0:a\0b\n2:4:c\0d\n'
run merge --input "$work/binary" '\x00' '<NUL>'
expect_rc 0; expect_out 'a<NUL>b\nc<NUL>d'
run grep 'b\nc' --input "$work/binary"
expect_rc 1; expect_out ''
run grep --multiline 'b\nc' --input "$work/binary"
expect_rc 0; expect_out '1:2:b\nc\n'

# A long line: a megabyte without a newline, matches at both ends.
head -c 1048576 /dev/zero | tr '\0' 'x' >"$work/long"
printf 'END' >>"$work/long"
run grep --count 'x{1000}' --input "$work/long"
expect_rc 0; expect_out '1048\n'
run search 'xEND' --input "$work/long"
expect_rc 0; head -n 1 "$work/out" | grep -qx '0:1048575:xEND' || fail "long line: wrong match"
run merge 'x+END' 'y' --input "$work/long"
expect_rc 0; expect_out 'y'

# A search the engine gives up (too complex for the subject) is an error,
# not a quiet "no match".
head -c 3000 /dev/zero | tr '\0' a >"$work/hard"
run grep '(a*)*b' --input "$work/hard"
expect_rc 2; expect_err "the search stopped early: "

finish
