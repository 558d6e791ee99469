#!/usr/bin/env bash
# Fails when a C++ file differs from what .clang-format makes of it, or when
# codespell finds a misspelling. scripts/codespell-ignore.txt lists the
# program's own texts that are spelled so on purpose (a caption, a key) and
# words that only look misspelt because an escape such as \t or \n stands
# before them in a test string.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t cxx < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${cxx[@]}"

# Sample mail is kept as its producers wrote it, and pictures are no text.
mapfile -t texts < <(git ls-files | grep -Ev '^(tests/data|resources/demo-mail)/|^scripts/codespell-ignore.txt$|\.(gif|png|bmp|jpg|ico)$')
codespell --ignore-words scripts/codespell-ignore.txt "${texts[@]}"
echo "style: ${#cxx[@]} C++ files formatted, ${#texts[@]} files spelled"
