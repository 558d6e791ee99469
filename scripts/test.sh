#!/usr/bin/env bash
# Builds Quillfern with AddressSanitizer and UBSan and runs every test.
# The local mail servers the tests talk to are started by the tests themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2
