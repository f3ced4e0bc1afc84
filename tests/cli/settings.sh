#!/bin/bash
# --save and --load: the settings travel in the library's record, so a set-up
# can be kept and replayed.
. "$(dirname "$0")/lib.sh"

# The record --save writes is the library's, byte for byte.
check 1 '' --save "$work/s1" grep a --subject b
printf '1 6 0 1 2 8 12 15 1 0 0 1 1 a 1 b 0 0 0' | cmp -s - "$work/s1" || fail "unexpected record: $(cat "$work/s1")"

# A string set-up replayed: options, switches, pattern and format come back.
check 0 '[ab][ab]' --save "$work/s2" --syntax extended --no-copy merge 'a|ab' '[$&]' --subject xabab
check 0 '[ab][ab]' --load "$work/s2" merge --subject xabab
check 0 'x[ab]x'   --load "$work/s2" --copy merge --subject xabx
check 0 '<b><b>'   --load "$work/s2" merge b '<$&>' --subject abab
check 0 '1:0:ab\n' --load "$work/s2" grep --subject ab

# A file set-up replayed: recursion, case and the file pattern.
mkdir -p "$work/t/sub"
printf 'Alpha\n' >"$work/t/a.txt"
printf 'ALPHA\n' >"$work/t/sub/b.txt"
printf '%s\n' "$work/t/a.txt:1:0:Alpha" "$work/t/sub/b.txt:1:0:ALPHA" >"$work/want"
run --save "$work/s3" -r -i grep-files -onb alpha "$work/t"
expect_rc 0; expect_out_file "$work/want"
run --load "$work/s3" grep-files -onb
expect_rc 0; expect_out_file "$work/want"
check 0 "$work/t/a.txt\n$work/t/sub/b.txt\n" --load "$work/s3" find-files 'a$' "$work/t/*.txt"
run --load "$work/s3" --backup old --stats change-files '(?i)alpha' 'beta'
expect_rc 0; expect_out '2 replacements, 2 files changed\n'
printf 'Alpha\n' | cmp -s - "$work/t/a.old" || fail "no backup a.old"
# --suffix names this run's backups only: a record keeps its own extension.
run --load "$work/s3" --save "$work/s4" --suffix .orig --stats change-files beta gamma
expect_rc 0; expect_out '2 replacements, 2 files changed\n'
printf 'beta\n' | cmp -s - "$work/t/a.txt.orig" || fail "no backup a.txt.orig"
run --load "$work/s3" --save "$work/s5" --dry-run change-files beta gamma
cmp -s "$work/s4" "$work/s5" || fail "the record holds the suffix: $(cat "$work/s4")"

# What a record cannot supply is still asked for.
run --load "$work/s3" merge --subject x
expect_usage; expect_err "merge needs FORMAT (the loaded record holds none)"
# No PATH, and none in the record: the current directory, names without ./.
cd "$work/t" || exit 1
check 0 'a.old\nsub/b.old\n' --load "$work/s1" -r -i find-files alpha </dev/null
cd "$work" || exit 1

# Unreadable or malformed records, unwritable destinations: status 2, and
# nothing is run.
run --load "$work/missing" grep a --subject a
expect_rc 2; expect_err "cannot read $work/missing"
printf 'hello world' >"$work/junk"
run --load "$work/junk" grep a --subject a
expect_rc 2; expect_err "$work/junk: not a settings record"
: >"$work/empty"
run --load "$work/empty" grep a --subject a
expect_rc 2; expect_err "$work/empty: not a settings record"
run --save "$work/no/such/dir/s" grep a --subject a
expect_rc 2; expect_err "cannot write $work/no/such/dir/s"
[ ! -s "$work/out" ] || fail "the command ran although its settings could not be saved"

finish
