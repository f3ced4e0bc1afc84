#!/bin/sh
# Checks that the library's layering runs one way: a file in src/FOLDER may
# include its own folder's headers and those of folders on a lower floor, never
# a folder on its own floor or above. The floors are listed in CONTRIBUTING.md
# ("Layering"); keep the two in step. The public header (ravelin/...) may be
# included anywhere. Run from the top of the tree; prints each arrow back up
# and fails when there is one.
set -eu

# One line per floor, lowest first.
floors='platform options
engine
prefilter
walker
handlers filewalk
stringops fileupdate
expression persist
frontend'

floor_of() {
  echo "$floors" | awk -v f="$1" '{ for (i = 1; i <= NF; ++i) if ($i == f) { print NR; exit } }'
}

found=$(mktemp)
trap 'rm -f "$found"' EXIT
status=0
for dir in src/*/; do
  folder=$(basename "$dir")
  own=$(floor_of "$folder")
  if [ -z "$own" ]; then
    echo "$dir: folder on no floor (add it to tools/check-includes.sh and CONTRIBUTING.md)"
    status=1
    continue
  fi
  for file in "$dir"*.h "$dir"*.cpp; do
    [ -e "$file" ] || continue
    grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]*/' "$file" | while IFS= read -r line; do
      target=$(echo "$line" | sed 's|^[0-9]*:[^"]*"\([A-Za-z0-9_]*\)/.*|\1|')
      [ "$target" = ravelin ] && continue
      [ "$target" = "$folder" ] && continue
      theirs=$(floor_of "$target")
      if [ -z "$theirs" ] || [ "$theirs" -ge "$own" ]; then
        echo "$file:${line%%:*}: $folder (floor $own) includes $target (floor ${theirs:-none})"
      fi
    done >>"$found"
  done
done
if [ -s "$found" ]; then
  cat "$found"
  status=1
fi
[ "$status" -eq 0 ] && echo "include graph: no arrow back up"
exit "$status"
