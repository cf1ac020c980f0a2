#!/usr/bin/env bash
# Fuzzing in CI: installs clang 14 and its runtime when missing, builds the
# libFuzzer targets in build/fuzz, replays every kept regression input and
# the committed corpora, then runs each target for a bounded time from its
# corpus, and the campaign script for a few seconds. Any crash,
# leak, sanitizer report, timeout (10 s an input) or out-of-memory (2 GiB)
# fails the script; the failing input is left in build/fuzz/artifacts/TARGET/
# and belongs, once understood, in fuzz/regressions/TARGET/.
#
# Usage: .ci/fuzz.sh [SECONDS]        (default 60 a target; QSTAT_FUZZ_SECONDS too)
#        QSTAT_FUZZ_TARGETS="threshold xys_header" .ci/fuzz.sh   (some targets only)
set -euo pipefail
cd "$(dirname "$0")/.."
. .ci/install_missing.sh

seconds=${1:-${QSTAT_FUZZ_SECONDS:-60}}
build=build/fuzz
targets=(${QSTAT_FUZZ_TARGETS:-row_both_flags row_catch_error row_hand_over xys_header prompt_answer threshold series_reader})

need_fuzz_toolchain

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQSTAT_BUILD_FUZZ=ON -DQSTAT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

# Every input that ever failed, and every seed, must pass first.
ctest --test-dir "$build/fuzz" -L fuzz --output-on-failure

failures=0
summary=()
for target in "${targets[@]}"; do
  # The corpus grows in the build tree; the seeds in git stay as they are.
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  log=$build/fuzz-$target.log
  echo "== fuzz_$target for $seconds s"
  status=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" -dict=fuzz/free_form.dict "$corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -ne 0 ]; then
    failures=$((failures + 1))
    echo "FAIL: fuzz_$target (status $status); inputs in $artifacts/"
    grep -E 'ERROR|SUMMARY|runtime error|fuzz harness|Test unit written' "$log" | head -n 20 || true
    tail -n 40 "$log"
  fi
  summary+=("fuzz_$target: ${runs:-?} executions in $seconds s, status $status")
done

# The campaign script as a user runs it from a clone, briefly: it must fuzz,
# merge into the corpus of the clone and print its record line.
if ! bash fuzz/campaign.sh threshold 10 | grep '^record: '; then
  failures=$((failures + 1))
  echo "FAIL: fuzz/campaign.sh threshold 10"
fi

printf '%s\n' "${summary[@]}"
if [ $failures -ne 0 ]; then
  echo "fuzzing: $failures target(s) failed" >&2
  exit 1
fi
echo "fuzzing: all ${#targets[@]} targets ran $seconds s without a finding"
