#!/bin/bash
# change-files stopped by a signal: SIGINT, SIGTERM and SIGHUP end the run at
# a file boundary with status 128 + signal; a second signal ends it at once.
# Either way no temporary file is left and every file is wholly old or wholly
# new. After a SIGKILL a later run never touches a temporary file.
. "$(dirname "$0")/lib.sh"
set -m  # background jobs get SIGINT like any other process

# A tree big enough that a run takes a while: every file is written,
# flushed to disk and renamed.
base="$work/base"
for i in $(seq 1 600); do echo "line $i: old_name, then old_name again, and a little more text"; done >"$base"
sed 's/old_name/new_name/g' "$base" >"$base.new"
old_sum=$(md5sum <"$base" | cut -d' ' -f1)
new_sum=$(md5sum <"$base.new" | cut -d' ' -f1)
master="$work/master"
mkdir -p "$master/d0"
for i in $(seq 1 50); do cp "$base" "$master/d0/f$i.txt"; done
for d in 1 2 3 4 5 6 7; do cp -R "$master/d0" "$master/d$d"; done

# start_run: a fresh copy of the tree and change-files running on it in the
# background ($pid), held stopped once it has replaced the files of d0 to d2:
# this shell holds the lock of d3/f1.txt, so the run waits there (it would
# give up on the file after 10 s; the lock goes as soon as the run is
# stopped) until finish_run.
start_run() {
  rm -rf "$work/tree"
  cp -R "$master" "$work/tree"
  local held=$work/tree/d3/f1.txt
  exec 8<"$held"
  flock -x 8
  "$RAVELIN" change-files -r old_name new_name "$work/tree" >"$work/out" 2>"$work/err" 8<&- &
  pid=$!
  local fd waiting="" deadline=$((SECONDS + 60))
  while [ -z "$waiting" ] && [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
    for fd in /proc/"$pid"/fd/*; do
      [ "$(readlink "$fd" 2>/dev/null)" = "$held" ] && waiting=1
    done
    [ -n "$waiting" ] || sleep 0.01
  done
  [ -n "$waiting" ] || fail "the run never came to d3/f1.txt"
  grep -qs new_name "$work/tree/d0/f1.txt" || fail "the run came to d3/f1.txt before changing d0"
  kill -STOP "$pid" 2>/dev/null || fail "the run ended before it could be stopped"
  exec 8<&-
}
finish_run() {
  kill -CONT "$pid" 2>/dev/null
  # Under job control wait also returns when the job is reported stopped
  # (status 128 + SIGSTOP, whether or not it has gone on since): wait again
  # until it reports the end of the process.
  local stopped=$((128 + $(kill -l STOP)))
  while :; do
    wait "$pid"
    rc=$?
    [ "$rc" -eq "$stopped" ] || break
    kill -CONT "$pid" 2>/dev/null
  done
}
# check_tree: no temporary file left; each file the old or the new text; with
# "partial", some of each.
check_tree() {
  local left
  left=$(find "$work/tree" -name '.ravelin-*' | head -n 3)
  [ -z "$left" ] || fail "temporary files left: $left"
  find "$work/tree" -type f -exec md5sum {} + | cut -d' ' -f1 | sort | uniq -c >"$work/sums"
  local olds news others
  olds=$(awk -v s="$old_sum" '$2 == s {print $1}' "$work/sums")
  news=$(awk -v s="$new_sum" '$2 == s {print $1}' "$work/sums")
  others=$(awk -v a="$old_sum" -v b="$new_sum" '$2 != a && $2 != b' "$work/sums")
  [ -z "$others" ] || fail "files neither old nor new"
  if [ "${1:-}" = partial ]; then
    [ -n "$olds" ] && [ -n "$news" ] || fail "expected a run stopped half way: ${olds:-0} old, ${news:-0} new"
  fi
}

for sig in INT TERM HUP; do
  current="change-files stopped by SIG$sig"
  start_run
  kill -"$sig" "$pid"
  finish_run
  expect_rc $((128 + $(kill -l "$sig")))
  expect_err "stopped by"
  check_tree partial
done

# A second signal: out at once, with the second one's status.
current="change-files stopped by SIGINT then SIGTERM"
start_run
kill -INT "$pid"
kill -TERM "$pid"
finish_run
expect_rc 143
check_tree

# A signal while --interactive waits for an answer: the run ends there, the
# file asked about and those after it untouched.
current="change-files --interactive stopped at its question"
rm -rf "$work/tree" && cp -R "$master" "$work/tree"
mkfifo "$work/answers"
exec 9<>"$work/answers"  # held open: the question waits, no end of input
"$RAVELIN" change-files -r --interactive old_name new_name "$work/tree" <"$work/answers" >"$work/out" 2>"$work/err" &
pid=$!
deadline=$((SECONDS + 60))
until grep -qs "? \[y,n,a,q\]" "$work/err" || [ $SECONDS -ge $deadline ]; do sleep 0.01; done
kill -INT "$pid"
finish_run
exec 9<&-
expect_rc 130
expect_err "stopped by Interrupt: 0 files changed, the files after them untouched"
run find-files -r new_name "$work/tree"
expect_rc 1

# SIGKILL: whatever it leaves, a later run completes the change and passes
# by the temporary files, its own leftovers and others alike.
current="change-files after a SIGKILL"
start_run
cp "$base" "$work/tree/d0/.ravelin-Zz9Yy8"
kill -KILL "$pid"
finish_run
run change-files -r old_name new_name "$work/tree"
expect_rc 0; expect_no_err
cmp -s "$base" "$work/tree/d0/.ravelin-Zz9Yy8" || fail "a temporary file was changed"
run find-files -r old_name "$work/tree"
expect_rc 1

finish
