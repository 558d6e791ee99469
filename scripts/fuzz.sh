#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz") and runs each for a
# bounded time on a corpus seeded from tests/data/.
#
#   bash scripts/fuzz.sh            60 seconds per target (what CI runs)
#   bash scripts/fuzz.sh 3600       an hour per target, by hand
#
# The corpora grow in build/fuzz/corpus/<target>/ and are kept between runs.
# An input that crashes lands in build/fuzz/artifacts/; copy it into
# tests/data/fuzz/mail/, box/ or address/ with the fix, so that the
# regression tests of every build replay it. Exit status 1 when a target
# found a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
BUILD=build/fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_mail_decoder fuzz_box_file fuzz_address

mkdir -p "$BUILD/corpus/fuzz_mail_decoder" "$BUILD/corpus/fuzz_box_file" \
  "$BUILD/corpus/fuzz_address" "$BUILD/artifacts"
cp -n tests/data/mail/*.eml "$BUILD/corpus/fuzz_mail_decoder/"
for kept in tests/data/fuzz/mail/* tests/data/fuzz/box/* tests/data/fuzz/address/*; do
  [ -f "$kept" ] || continue
  case "$kept" in
    */mail/*) cp -n "$kept" "$BUILD/corpus/fuzz_mail_decoder/" ;;
    */box/*) cp -n "$kept" "$BUILD/corpus/fuzz_box_file/" ;;
    */address/*) cp -n "$kept" "$BUILD/corpus/fuzz_address/" ;;
  esac
done

status=0
run_target() {
  local target=$1 max_len=$2
  echo "== $target for ${SECONDS_PER_TARGET}s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$BUILD/fuzz/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len="$max_len" \
      -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$BUILD/artifacts/$target-" "$BUILD/corpus/$target" 2>"$BUILD/$target.log"; then
    status=1
    echo "$target found a problem; see $BUILD/$target.log and $BUILD/artifacts/"
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)" "$BUILD/$target.log" || true
  echo "corpus: $(ls "$BUILD/corpus/$target" | wc -l) inputs"
}
# A box input needs room for a few whole records (32 KB each).
run_target fuzz_mail_decoder 65536
run_target fuzz_box_file 131072
run_target fuzz_address 1024
exit $status
