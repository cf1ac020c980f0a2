#!/usr/bin/env bash
# A long fuzz campaign of one target, from the committed corpus, whose new
# inputs are merged back into it.
#
#   fuzz/campaign.sh TARGET SECONDS [JOBS]
#
# TARGET is one of row_both_flags row_catch_error row_hand_over xys_header
# prompt_answer threshold series_reader. The target is built in build/fuzz when missing
# (clang 14). It runs for SECONDS with JOBS processes (default 1, in the
# fuzzer's own process; more in libFuzzer's fork mode; a core each, so two
# campaigns of one job may run side by side) on a working copy of
# fuzz/corpus/TARGET, with the dictionary. Afterwards
# the inputs that add coverage are merged into fuzz/corpus/TARGET (commit
# them), and a line is printed for fuzz/README.md's record of the target:
# executions, executions per second, coverage (cov, ft) after 1, 10 and 40
# minutes and at the end, the corpus size, and the findings, which are kept
# in build/fuzz/campaign/TARGET/artifacts/ (a finding makes the exit status 1).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: fuzz/campaign.sh TARGET SECONDS [JOBS]" >&2
  exit 2
fi
target=$1
seconds=$2
jobs=${3:-1}
case " row_both_flags row_catch_error row_hand_over xys_header prompt_answer threshold series_reader " in
  *" $target "*) ;;
  *) echo "campaign.sh: no fuzz target $target" >&2; exit 2 ;;
esac

build=build/fuzz
fuzzer=$build/fuzz/fuzz_$target
if [ ! -x "$fuzzer" ]; then
  cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQSTAT_BUILD_FUZZ=ON -DQSTAT_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target "fuzz_$target" >/dev/null

home=$build/campaign/$target
work=$home/corpus
artifacts=$home/artifacts
log=$home/$(date -u +%Y%m%dT%H%M%S).log
mkdir -p "$work" "$artifacts"
cp -n fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true
before=$(find "$artifacts" -type f | wc -l)

# Each line of libFuzzer's output, led by the seconds since the start. One
# job runs in the fuzzer's own process; more run in its fork mode, one child
# process each.
start=$(date +%s)
echo "== fuzz_$target for $seconds s, $jobs job(s); log $log"
mode=()
[ "$jobs" -gt 1 ] && mode=(-fork="$jobs")
set +e
"$fuzzer" "${mode[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" -dict=fuzz/free_form.dict "$work" 2>&1 |
  while IFS= read -r line; do printf '%d %s\n' "$(($(date +%s) - start))" "$line"; done >"$log"
status=${PIPESTATUS[0]}
set -e

elapsed=$(($(date +%s) - start))

# The status lines, "#RUNS ... cov: C ft: F ...", as "SECONDS RUNS C F".
status_lines() {
  sed -nE 's/^([0-9]+) #([0-9]+)[^0-9].* cov: ([0-9]+) ft: ([0-9]+).*/\1 \2 \3 \4/p' "$log"
}
# cov/ft of the last status line at or before $1 seconds of the campaign;
# "-" for a time the campaign did not reach.
coverage_at() {
  [ "$1" -le "$elapsed" ] || { echo "-"; return; }
  status_lines | awk -v t="$1" '$1 <= t { c = $3; f = $4 } END { if (c != "") print c "/" f; else print "-" }'
}
runs=$(sed -nE 's/^[0-9]+ stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
[ -n "$runs" ] || runs=$(status_lines | tail -n 1 | cut -d' ' -f2)
runs=${runs:-0}
rate=$((runs / (elapsed > 0 ? elapsed : 1)))

# The inputs of the working copy that add coverage go into the committed corpus.
"$fuzzer" -merge=1 -rss_limit_mb=2048 -timeout=10 fuzz/corpus/"$target" "$work" >"$home/merge.log" 2>&1
corpus=$(find fuzz/corpus/"$target" -type f | wc -l)
findings=$(($(find "$artifacts" -type f | wc -l) - before))

echo "fuzz_$target: $runs executions in $elapsed s ($rate/s), exit status $status"
echo "coverage (cov/ft): 1 min $(coverage_at 60), 10 min $(coverage_at 600), 40 min $(coverage_at 2400), end $(coverage_at "$elapsed")"
echo "committed corpus: $corpus inputs; findings: $findings (in $artifacts/)"
echo "record: | $(date -u +%Y-%m-%d) | $elapsed s x $jobs | $runs | $rate | $(coverage_at 60) | $(coverage_at 600) | $(coverage_at 2400) | $(coverage_at "$elapsed") | $corpus | $findings |"
[ "$findings" -eq 0 ] && [ "$status" -eq 0 ]
