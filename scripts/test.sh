#!/usr/bin/env bash
# Checks formatting and spelling, builds Quillfern with AddressSanitizer and
# UBSan, runs clang-tidy on the sources the change touches
# (scripts/tidy-changed.sh), runs every test, runs each fuzz target for a
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
bash scripts/tidy-changed.sh
ctest --preset asan -j2
bash scripts/fuzz.sh "${QF_FUZZ_SECONDS:-60}"
bash scripts/package-check.sh
