#!/bin/sh
# Runs a fuzz target once on every file of the given directories (missing ones
# are skipped): the seeds and the regression inputs, as a test.
# Usage: replay.sh path/to/target dir...
target=$1
shift
dirs=$#
for dir in "$@"; do
  for file in "$dir"/*; do
    [ -f "$file" ] && set -- "$@" "$file"
  done
done
shift "$dirs"
if [ "$#" -eq 0 ]; then
  echo "no inputs to replay"
  exit 0
fi
exec "$target" "$@"
