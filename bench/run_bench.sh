#!/usr/bin/env bash
# Whole-process benchmark of qvolstat against the from_chars baseline.
#
#   bench/run_bench.sh [--build DIR] [--runs N] [--smoke] [--no-speed] [WORKDIR]
#
# DIR is a build with -DQSTAT_BUILD_BENCH=ON (default build/bench): it holds
# qvolstat and bench/{generate_series,baseline,row_paths_check}. WORKDIR
# (default /tmp/qstat-bench) caches the generated series between runs.
#
# Full mode: a 1,000,000-row and a 10,000,000-row .xys and a 100,000-row
# .txt; for each, a warm-up of both programs, then N (default 5) runs of
# qvolstat and of the baseline, interleaved; a table of median wall time,
# MB/s, peak RSS and the throughput ratio, with the targets checked.
#
# --smoke (for CI, a few seconds): small files only; fails (exit 1) when a
# row read through the common-row path differs from the general read, when
# qvolstat's report differs from the one the general read gives (the same
# series with every rate on a line of its own, which no common row is), or
# when not every row of a generated series goes through the common-row read,
# or when qvolstat's throughput (by CPU time) falls below a quarter of the
# baseline's (the general read alone is far slower than that). --no-speed
# drops the speed check, for unoptimised or instrumented builds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
runs=5
smoke=0
speed=1
work=/tmp/qstat-bench
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --smoke) smoke=1; shift ;;
    --no-speed) speed=0; shift ;;
    -*) echo "usage: run_bench.sh [--build DIR] [--runs N] [--smoke] [--no-speed] [WORKDIR]" >&2; exit 2 ;;
    *) work=$1; shift ;;
  esac
done

qvolstat=$build/qvolstat
generate=$build/bench/generate_series
baseline=$build/bench/baseline
row_paths=$build/bench/row_paths_check
for program in "$qvolstat" "$generate" "$baseline" "$row_paths"; do
  if [ ! -x "$program" ]; then
    echo "run_bench.sh: $program is missing; build with -DQSTAT_BUILD_BENCH=ON first" >&2
    exit 2
  fi
done
mkdir -p "$work"

# Peak RSS comes from GNU time; without it the column reads n/a.
gnu_time=/usr/bin/time
if [ ! -x "$gnu_time" ] && [ "$smoke" -eq 0 ] && [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null 2>&1 || true
fi
[ -x "$gnu_time" ] || gnu_time=""

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# The series NAME (ROWS rows, KIND, SEPARATOR, EOL, and --split or nothing),
# generated once and kept in the work directory.
series() {
  local name=$1 rows=$2 kind=$3 sep=$4 eol=$5 split=${6:-}
  local file=$work/$name
  if [ ! -s "$file" ]; then
    "$generate" --rows "$rows" --kind "$kind" --sep "$sep" --eol "$eol" $split "$file.part"
    mv "$file.part" "$file"
  fi
  echo "$file"
}

# Runs a command once: sets `wall` (seconds), `cpu` (user + system seconds,
# to 10 ms) and `rss` (KiB); the last two are n/a without GNU time. The
# output goes to the work directory; a failing exit status ends the script.
measure() {
  local start end status=0
  start=$EPOCHREALTIME
  if [ -n "$gnu_time" ]; then
    "$gnu_time" -f '%M %U %S' -o "$work/rss.out" "$@" >"$work/run.out" 2>"$work/run.err" || status=$?
  else
    "$@" >"$work/run.out" 2>"$work/run.err" || status=$?
  fi
  end=$EPOCHREALTIME
  if [ "$status" -ne 0 ]; then
    echo "run_bench.sh: '$*' exited with status $status" >&2
    cat "$work/run.err" >&2
    exit 1
  fi
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
  rss=n/a
  cpu=n/a
  if [ -n "$gnu_time" ]; then
    rss=$(tail -n 1 "$work/rss.out" | awk '{ print $1 }')
    cpu=$(tail -n 1 "$work/rss.out" | awk '{ printf "%.2f", $2 + $3 }')
  fi
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { printf '%s\n' "$@" | sort -g | tail -n 1; }

# Both row reads must agree on every value of the file; with `common`, every
# row must also have gone through the common-row read.
check_rows() {
  local out
  if ! out=$("$row_paths" "$1"); then
    fail "row reads differ on $1: $out"
    return
  fi
  echo "  rows $(basename "$1"): $out"
  if [ "${2:-}" = common ] && ! awk '{ exit !($2 == $4) }' <<<"$out"; then
    fail "not every row of $1 went through the common-row read"
  fi
}

# qvolstat's report must be the one the general read gives.
check_report() {
  local file=$1 general=$2
  measure "$qvolstat" "$file" "$work/report_common.txt"
  measure "$qvolstat" "$general" "$work/report_general.txt"
  if cmp -s "$work/report_common.txt" "$work/report_general.txt"; then
    echo "  report $(basename "$file"): identical to the general read's"
  else
    fail "qvolstat's report on $file differs from the general read's ($general)"
  fi
}

# Times qvolstat and the baseline on FILE (ROWS rows) and prints a table row.
# Sets q_wall, b_wall, q_cpu, b_cpu (medians) and q_peak (KiB) for the
# caller's checks.
bench_file() {
  local file=$1 rows=$2
  local bytes q_times=() b_times=() q_cpus=() b_cpus=() q_rss=() b_rss=() r
  bytes=$(wc -c <"$file")
  measure "$qvolstat" "$file" "$work/report.txt"  # warm-up: the file into the page cache
  measure "$baseline" "$file"
  for ((r = 0; r < runs; ++r)); do
    # Alternate which goes first, so that neither always runs on a warmer machine.
    if ((r % 2 == 0)); then
      measure "$qvolstat" "$file" "$work/report.txt"; q_times+=("$wall"); q_cpus+=("$cpu"); q_rss+=("$rss")
      measure "$baseline" "$file"; b_times+=("$wall"); b_cpus+=("$cpu"); b_rss+=("$rss")
    else
      measure "$baseline" "$file"; b_times+=("$wall"); b_cpus+=("$cpu"); b_rss+=("$rss")
      measure "$qvolstat" "$file" "$work/report.txt"; q_times+=("$wall"); q_cpus+=("$cpu"); q_rss+=("$rss")
    fi
  done
  q_wall=$(median "${q_times[@]}")
  b_wall=$(median "${b_times[@]}")
  local b_peak=n/a
  q_peak=n/a
  q_cpu=n/a
  b_cpu=n/a
  if [ -n "$gnu_time" ]; then
    q_peak=$(largest "${q_rss[@]}")
    b_peak=$(largest "${b_rss[@]}")
    q_cpu=$(median "${q_cpus[@]}")
    b_cpu=$(median "${b_cpus[@]}")
  fi
  awk -v name="$(basename "$file")" -v rows="$rows" -v bytes="$bytes" -v qw="$q_wall" -v bw="$b_wall" \
      -v qc="$q_cpu" -v bc="$b_cpu" -v qr="$q_peak" -v br="$b_peak" 'BEGIN {
    mib = 1048576
    qrss = qr == "n/a" ? "n/a" : sprintf("%.1f", qr * 1024 / mib)
    brss = br == "n/a" ? "n/a" : sprintf("%.1f", br * 1024 / mib)
    cpus = qc == "n/a" ? "n/a" : sprintf("%.2f/%.2f", qc, bc)
    limit = (16 * rows + 16 * mib) / mib
    printf "%-18s %9d %7.1f %8.4f %7.0f %8.4f %7.0f %7.2f %11s %7s %7s %7.1f\n", name, rows, bytes / 1e6,
      qw, bytes / 1e6 / qw, bw, bytes / 1e6 / bw, bw / qw, cpus, qrss, brss, limit
  }'
}

header() {
  printf '%-18s %9s %7s %8s %7s %8s %7s %7s %11s %7s %7s %7s\n' file rows MB "q s" "q MB/s" "base s" "b MB/s" \
    "q/base" "cpu s q/b" "q MiB" "b MiB" "limit"
}

# True when awk's condition holds for q (qvolstat) and b (baseline) median
# wall times.
holds() { awk -v q="$q_wall" -v b="$b_wall" "BEGIN { exit !($1) }"; }

# The same for median CPU times, or the wall times without GNU time.
holds_cpu() {
  if [ "$q_cpu" = n/a ] || awk -v q="$q_cpu" 'BEGIN { exit !(q < 0.05) }'; then
    holds "$1"
  else
    awk -v q="$q_cpu" -v b="$b_cpu" "BEGIN { exit !($1) }"
  fi
}

if [ "$smoke" -eq 1 ]; then
  xys=$(series smoke_1M.xys 1000000 xys tab crlf)
  xys_general=$(series smoke_1M_split.xys 1000000 xys tab crlf --split)
  txt=$(series smoke_100k.txt 100000 txt comma lf)
  txt_general=$(series smoke_100k_split.txt 100000 txt comma lf --split)
  check_rows "$xys" common
  check_rows "$txt" common
  check_rows "$xys_general"
  check_report "$xys" "$xys_general"
  check_report "$txt" "$txt_general"
  runs=3
  header
  bench_file "$xys" 1000000
  # CPU time, as a loaded CI machine stretches the wall times of both unevenly.
  if [ "$speed" -eq 1 ] && ! holds_cpu "b / q >= 0.25"; then
    fail "qvolstat's throughput is below a quarter of the baseline's"
  fi
  [ "$failed" -eq 0 ] && echo "smoke run passed"
  exit "$failed"
fi

echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
echo "generating (once) into $work ..."
m1=$(series series_1M.xys 1000000 xys tab crlf)
m1_general=$(series series_1M_split.xys 1000000 xys tab crlf --split)
m10=$(series series_10M.xys 10000000 xys blank lf)
k100=$(series series_100k.txt 100000 txt comma crlf)
k100_general=$(series series_100k_split.txt 100000 txt comma crlf --split)
echo "identical results:"
check_rows "$m1" common
check_rows "$m10" common
check_rows "$k100" common
check_report "$m1" "$m1_general"
check_report "$k100" "$k100_general"
echo "timing: warm-up, then $runs runs each, interleaved; medians; RSS is the largest of the runs"
header
bench_file "$m1" 1000000
bench_file "$m10" 10000000
holds "b / q >= 1.5" && verdict=met || verdict="NOT met"
echo "target 10^7-row .xys: throughput at least 1.5 x the baseline's: $verdict"
if [ "$q_peak" != n/a ]; then
  awk -v kib="$q_peak" 'BEGIN { exit !(kib * 1024 <= 16 * 10000000 + 16 * 1048576) }' && verdict=met || verdict="NOT met"
  echo "target 10^7-row .xys: peak RSS at most 16 bytes a row + 16 MiB: $verdict"
fi
bench_file "$k100" 100000
holds "q < 3 * b" && verdict=met || verdict="NOT met"
echo "target 100,000-row .txt: whole process under 3 x the baseline's: $verdict"
exit "$failed"
