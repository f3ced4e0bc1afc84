#!/bin/sh
# make demo: the ravelin command on the sample tree of this directory.
# First every match, recursively; then a search and replace, with backups and
# statistics, on a scratch copy; then what changed.
# Usage: demo.sh PATH/TO/ravelin
set -eu
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
pattern='(colo|favo|neighbo)ur'

say() { printf '\n$ %s\n' "$*"; }

cd "$here"
say "ravelin grep-files -r -i '$pattern' sample-tree"
"$tool" grep-files -r -i "$pattern" sample-tree

cp -R sample-tree "$scratch/before"
cp -R sample-tree "$scratch/sample-tree"
cd "$scratch"
say "cd $scratch   # a scratch copy of sample-tree, and another one named before"
say "ravelin change-files -r -i --backup bak --stats '$pattern' '\$1r' sample-tree"
"$tool" change-files -r -i --backup bak --stats "$pattern" '$1r' sample-tree

say "diff -r before sample-tree"
diff -r before sample-tree || true
