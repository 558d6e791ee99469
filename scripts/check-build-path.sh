#!/usr/bin/env bash
# Fails when a program carries the path of a folder it was built in, as
# 8-bit text or as UTF-16 (Qt's string literals): the program finds its own
# files relative to itself, never in a folder that may be gone by now or be
# one that others can write. Debug information names the build folder by
# design, so a copy without it is what is read.
#
#   bash scripts/check-build-path.sh [--sanitized] PROGRAM FOLDER...
#
# --sanitized: the program was built with the sanitizers, whose reports name
# every source file compiled, generated ones in the build folder included
# (moc files), as 8-bit text. Then 8-bit text counts only where it names the
# web-view module's folder or file; UTF-16 text always counts.
set -euo pipefail

sanitized=false
if [ "${1:-}" = --sanitized ]; then
  sanitized=true
  shift
fi
program=$1
shift
copy=$(mktemp)
trap 'rm -f "$copy"' EXIT
objcopy --strip-debug "$program" "$copy"
status=0
for folder in "$@"; do
  for encoding in s l; do
    found=$(strings -a -e "$encoding" "$copy" | grep -F -- "$folder" || true)
    if $sanitized && [ "$encoding" = s ]; then
      found=$(echo "$found" | grep -E 'libqf_webview|lib/quillfern' || true)
    fi
    if [ -n "$found" ]; then
      echo "!! $program holds the build path $folder:" >&2
      echo "$found" | head -5 >&2
      status=1
    fi
  done
done
exit $status
