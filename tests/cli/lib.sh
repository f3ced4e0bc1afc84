# Helpers for the ravelin command tests. Source it with the tool's path in
# $1; each test script then calls `run ARGS...` and the expect_* checks, and
# ends with `finish`.
set -u
RAVELIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
export LC_ALL=C
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
current="(none)"

# run ARGS...: runs ravelin; stdout in $work/out, stderr in $work/err, status in $rc.
run() {
  current="ravelin $*"
  "$RAVELIN" "$@" >"$work/out" 2>"$work/err"
  rc=$?
}
# run_in TEXT ARGS...: the same with TEXT (printf %s) on standard input.
run_in() {
  local input=$1
  shift
  current="ravelin $* <<< '$input'"
  printf '%s' "$input" | "$RAVELIN" "$@" >"$work/out" 2>"$work/err"
  rc=$?
}
# as_nobody COMMAND...: runs COMMAND as user and group 65534, no other
# groups (the suite runs as root, for whom every file is writable), from
# $work, which is opened to it: the folder the tests were started from may
# be one that user cannot enter.
as_nobody() {
  chmod 755 "$work"
  (cd "$work" && setpriv --reuid=65534 --regid=65534 --clear-groups "$@")
}
# nobody_tool: a copy of the command and of the libraries it loads from the
# build, in a folder that user can reach (the build may lie below a folder
# only root may enter, as /root is); made once, its path in $NOBODY_RAVELIN.
nobody_tool() {
  [ -n "${NOBODY_RAVELIN:-}" ] && return
  local bin=$work/.tool
  mkdir -p "$bin"
  cp "$RAVELIN" "$bin/ravelin"
  ldd "$RAVELIN" | awk '$3 ~ /libravelin/ { print $3 }' | while read -r lib; do cp "$lib" "$bin/"; done
  chmod -R a+rX "$bin"
  NOBODY_RAVELIN=$bin/ravelin
  as_nobody env LD_LIBRARY_PATH="$bin" "$NOBODY_RAVELIN" --version >/dev/null 2>"$work/err" || {
    echo "FAIL: the command cannot run as user 65534 from $bin: $(head -c 300 "$work/err")" >&2
    exit 1
  }
}
# run_nobody ARGS...: run, as that user.
run_nobody() {
  nobody_tool
  current="(as 65534) ravelin $*"
  as_nobody env LD_LIBRARY_PATH="$work/.tool" "$NOBODY_RAVELIN" "$@" >"$work/out" 2>"$work/err"
  rc=$?
}
# real_tree DIR: real text to compare on, copied into DIR: a few hundred KB
# of the C++ library's headers where the system has them, else this
# project's own sources (found from this file), so that no machine lacks it.
real_tree() {
  local dest=$1 headers top
  mkdir -p "$dest"
  headers=$(ls -d /usr/include/c++/*/ 2>/dev/null | head -n 1)
  if [ -n "$headers" ] && [ -d "$headers/backward" ]; then
    cp -RL "$headers/backward" "$headers/decimal" "$headers/tr2" "$dest"/
    cp -L "$headers"/a* "$dest"/ 2>/dev/null
  else
    top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    cp -R "$top/src" "$top/include" "$top/tools" "$dest"/
  fi
  [ -n "$(ls -A "$dest")" ] || { echo "FAIL: no text to compare on" >&2; exit 1; }
}
# same_tree A B: fails unless the trees are byte for byte the same.
same_tree() { diff -r "$1" "$2" >"$work/diff" 2>&1 || fail "$1 changed: $(head -n 4 "$work/diff")"; }

fail() {
  echo "FAIL: $current: $*" >&2
  echo "  stdout: $(head -c 600 "$work/out")" >&2
  echo "  stderr: $(head -c 600 "$work/err")" >&2
  failures=$((failures + 1))
}
expect_rc() { [ "$rc" = "$1" ] || fail "exit status $rc, expected $1"; }
# expect_out TEXT: stdout is exactly TEXT (printf %b, so \n and \0 may be used).
expect_out() {
  printf '%b' "$1" >"$work/expected"
  cmp -s "$work/expected" "$work/out" || fail "unexpected output, expected '$(printf '%b' "$1")'"
}
expect_out_file() { cmp -s "$1" "$work/out" || fail "output differs from $1"; }
expect_no_err() { [ ! -s "$work/err" ] || fail "unexpected message on standard error"; }
expect_err() { grep -qF -- "$1" "$work/err" || fail "standard error lacks '$1'"; }
expect_usage() { expect_rc 2; expect_err "usage: ravelin"; }

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# check RC EXPECTED ARGS...: runs ravelin with ARGS and checks the status,
# the exact standard output (printf %b) and a quiet standard error.
check() {
  local want_rc=$1 want_out=$2
  shift 2
  run "$@"
  expect_rc "$want_rc"
  expect_out "$want_out"
  expect_no_err
}
