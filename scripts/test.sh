#!/usr/bin/env bash
# Checks formatting and spelling, builds Quillfern with AddressSanitizer and
# UBSan, runs every test, then clang-tidy over the whole tree (scripts/tidy.py)
# beside the fuzz targets and the package check, runs each fuzz target for a
# bounded time (QF_FUZZ_SECONDS, default 60), then builds the Debian package, installs it
# on this machine, tries the installed program and removes it again
# (scripts/package-check.sh).
# The local mail servers the tests talk to are started by the tests themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check-style.sh
cmake --preset asan
cmake --build --preset asan
# The tests first, alone: the real-display tests time how fast the program
# answers. clang-tidy then runs at a lower priority beside the fuzz targets
# and the package check; it is stopped when this script fails, and its
# result is waited for at the end. A fresh clone runs it only on the sources
# scripts/tidy-clean.txt does not already know clean as they are.
ctest --preset asan -j2
nice -n 10 /usr/bin/python3 scripts/tidy.py >build/asan/tidy.log 2>&1 &
tidy=$!
trap 'kill "$tidy" 2>/dev/null || true' EXIT
bash scripts/fuzz.sh "${QF_FUZZ_SECONDS:-60}"
bash scripts/package-check.sh
tidy_status=0
wait "$tidy" || tidy_status=$?
trap - EXIT
cat build/asan/tidy.log
exit "$tidy_status"
