#!/usr/bin/env bash
# The hand-over fuzz target under ThreadSanitizer: builds fuzz_row_hand_over
# in build/fuzz-tsan (-DQSTAT_FUZZ_SANITIZER=thread), replays its kept
# regression inputs and its committed corpus, then fuzzes it from that corpus
# for a bounded time. Any report of ThreadSanitizer, crash or timeout fails
# the script; the failing input is left in build/fuzz-tsan/artifacts/.
#
# Usage: .ci/fuzz_tsan.sh [SECONDS]        (default 60; QSTAT_FUZZ_SECONDS too)
set -euo pipefail
cd "$(dirname "$0")/.."
. .ci/install_missing.sh

seconds=${1:-${QSTAT_FUZZ_SECONDS:-60}}
build=build/fuzz-tsan

need_fuzz_toolchain

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQSTAT_BUILD_FUZZ=ON -DQSTAT_BUILD_TESTS=OFF -DQSTAT_FUZZ_SANITIZER=thread >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_row_hand_over

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
ctest --test-dir "$build/fuzz" -R '^fuzz_replay\.row_hand_over$' --output-on-failure

corpus=$build/corpus/row_hand_over
artifacts=$build/artifacts
mkdir -p "$corpus" "$artifacts"
cp -n fuzz/corpus/row_hand_over/* "$corpus"/ 2>/dev/null || true
log=$build/fuzz-row_hand_over.log
echo "== fuzz_row_hand_over under ThreadSanitizer for $seconds s"
status=0
"$build/fuzz/fuzz_row_hand_over" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" -dict=fuzz/free_form.dict "$corpus" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
if [ $status -ne 0 ] || grep -q 'ThreadSanitizer' "$log"; then
  echo "FAIL: fuzz_row_hand_over under ThreadSanitizer (status $status); inputs in $artifacts/" >&2
  grep -E 'WARNING: ThreadSanitizer|SUMMARY|fuzz harness|Test unit written' "$log" | head -n 20 >&2 || true
  tail -n 60 "$log" >&2
  exit 1
fi
echo "fuzz_row_hand_over under ThreadSanitizer: ${runs:-?} executions in $seconds s, no report"
