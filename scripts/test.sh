#!/usr/bin/env bash
# Checks formatting and spelling, builds Quillfern with AddressSanitizer and
# UBSan, runs every test, then, side by side: clang-tidy over the whole tree
# (scripts/tidy.py); each fuzz target for a bounded time (QF_FUZZ_SECONDS,
# default 60); and the package check, which builds the Debian package,
# installs it on this machine, tries the installed program and removes it
# again (scripts/package-check.sh).
# The local mail servers the tests talk to are started by the tests themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check-style.sh
cmake --preset asan
cmake --build --preset asan
# The tests first, alone: the real-display tests time how fast the program
# answers. Then three jobs at once, each stopped when this script fails and
# each waited for at the end: clang-tidy at a lower priority (a fresh clone
# runs it only on the sources scripts/tidy-clean.txt does not already know
# clean as they are), the package check (its release build takes the core
# the fuzz targets leave free while they run, one at a time) and the fuzz
# targets in the foreground.
ctest --preset asan -j2
nice -n 10 /usr/bin/python3 scripts/tidy.py >build/asan/tidy.log 2>&1 &
tidy=$!
bash scripts/package-check.sh >build/package-check.log 2>&1 &
package=$!
trap 'kill "$tidy" "$package" 2>/dev/null || true' EXIT
fuzz_status=0
bash scripts/fuzz.sh "${QF_FUZZ_SECONDS:-60}" || fuzz_status=$?
package_status=0
wait "$package" || package_status=$?
cat build/package-check.log
tidy_status=0
wait "$tidy" || tidy_status=$?
trap - EXIT
cat build/asan/tidy.log
for status in "$fuzz_status" "$package_status" "$tidy_status"; do
  [ "$status" -eq 0 ] || exit "$status"
done
