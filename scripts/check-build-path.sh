#!/usr/bin/env bash
# Fails when a program carries the path of a folder it was built in, as
# 8-bit text or as UTF-16 (Qt's string literals): the program finds its own
# files relative to itself, never in a folder that may be gone by now or be
# one that others can write. Debug information names the build folder by
# design, so a copy without it is what is read.
#
#   bash scripts/check-build-path.sh PROGRAM FOLDER...
set -euo pipefail

program=$1
shift
copy=$(mktemp)
trap 'rm -f "$copy"' EXIT
objcopy --strip-debug "$program" "$copy"
status=0
for folder in "$@"; do
  for encoding in s l; do
    if found=$(strings -a -e "$encoding" "$copy" | grep -F -- "$folder"); then
      echo "!! $program holds the build path $folder:" >&2
      echo "$found" | head -5 >&2
      status=1
    fi
  done
done
exit $status
