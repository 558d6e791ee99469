#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy) on the C++ sources a change
# touches, against the asan build's compile_commands.json; fails when it
# finds anything. Run it after the asan build (window sources need their
# generated moc files).
#
# The change: what differs from QF_TIDY_BASE when that is set; otherwise
# everything since the merge base with origin/main (or main); on main
# itself, or with neither branch there, the last commit (HEAD~1). Only .cpp
# files are checked: a header's findings would be reported for every source
# that includes it. Files the asan build does not compile (the fuzz targets)
# are left out.
# At most QF_TIDY_MAX_FILES files (default 30) are checked, so that a large
# merge cannot hold CI up: the rest are named and skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/asan
database=$build/compile_commands.json
[ -f "$database" ] || { echo "tidy: no $database; configure the asan preset first" >&2; exit 1; }

base_of_change() {
  if [ -n "${QF_TIDY_BASE:-}" ]; then
    git rev-parse --verify --quiet "$QF_TIDY_BASE^{commit}" && return
    echo "tidy: QF_TIDY_BASE=$QF_TIDY_BASE is no commit" >&2
    exit 1
  fi
  local head branch base
  head=$(git rev-parse HEAD)
  for branch in origin/main main; do
    if base=$(git merge-base HEAD "$branch" 2>/dev/null) && [ "$base" != "$head" ]; then
      echo "$base"
      return
    fi
  done
  git rev-parse --verify --quiet HEAD~1 || true
}

base=$(base_of_change)
if [ -z "$base" ]; then
  echo "tidy: a single commit, nothing to compare with: skipped"
  exit 0
fi

mapfile -t changed < <(git diff --name-only --diff-filter=ACMR "$base" -- '*.cpp')
compiled=()
for file in "${changed[@]}"; do
  if grep -qF "\"file\": \"$PWD/$file\"" "$database"; then
    compiled+=("$file")
  fi
done
if [ ${#compiled[@]} -eq 0 ]; then
  echo "tidy: no compiled C++ source changed since ${base:0:12}"
  exit 0
fi

limit=${QF_TIDY_MAX_FILES:-30}
if [ ${#compiled[@]} -gt "$limit" ]; then
  echo "tidy: ${#compiled[@]} files changed; checking the first $limit, skipping:"
  printf '  %s\n' "${compiled[@]:$limit}"
  compiled=("${compiled[@]:0:$limit}")
fi

echo "tidy: ${#compiled[@]} files changed since ${base:0:12}"
# One clang-tidy per file, as many at once as there are cores; xargs fails
# when any of them does.
printf '%s\n' "${compiled[@]}" |
  xargs -P "$(nproc)" -I{} clang-tidy -p "$build" --quiet {} 2>/dev/null
echo "tidy: clean"
