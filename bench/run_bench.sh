#!/usr/bin/env bash
# Whole-process benchmark of qvolstat against the from_chars baseline.
#
#   bench/run_bench.sh [--build DIR] [--runs N] [--smoke] [--no-speed] [--huge] [WORKDIR]
#
# DIR is a build with -DQSTAT_BUILD_BENCH=ON (default build/bench): it holds
# qvolstat and bench/{generate_series,baseline,row_paths_check}. WORKDIR
# (default /tmp/qstat-bench) caches the generated series between runs.
#
# Full mode: a 1,000,000-row .xys, a 10,000,000-row .xys with E exponents,
# its twin with D exponents and its split twin, and a 100,000-row .txt;
# for each, a warm-up of both programs, then N (default 5) runs of qvolstat
# and of the baseline, interleaved; the 10^7-row .xys once more with both
# programs on one processor (taskset); a table of median wall time, MB/s,
# peak RSS and the throughput ratio, with the targets checked. --huge adds
# a 100,000,000-row .xys (2.8 GB), generated, run once by each program and
# deleted.
#
# --smoke (for CI, a few seconds): small files only; fails (exit 1) when a
# row read through the common-row path differs from the general read, when
# qvolstat's report differs from the one the general read gives (the same
# series with every rate on a line of its own, which no common row is) or
# the D-exponent file's report from the E file's, when not every row of a
# generated series goes through the common-row read, or when qvolstat's
# throughput (by CPU time) falls below a quarter of the baseline's (the
# general read alone is far slower than that). --no-speed drops the speed
# check, for unoptimised or instrumented builds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
runs=5
smoke=0
speed=1
huge=0
work=/tmp/qstat-bench
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --smoke) smoke=1; shift ;;
    --no-speed) speed=0; shift ;;
    --huge) huge=1; shift ;;
    -*) echo "usage: run_bench.sh [--build DIR] [--runs N] [--smoke] [--no-speed] [--huge] [WORKDIR]" >&2; exit 2 ;;
    *) work=$1; shift ;;
  esac
done

build=$(cd "$build" 2>/dev/null && pwd || echo "$build")
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
work=$(cd "$work" && pwd)
rm -rf "$work/reports"
mkdir "$work/reports"
# The series are named relative to the work directory, the current one: a dot
# anywhere in the path before the extension (as in mktemp's names) would make
# an .xys series read as .txt.
cd "$work"

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

# The series NAME (ROWS rows, KIND, SEPARATOR, EOL, and further generator
# options such as --split or --exp D), generated once and kept in the work
# directory.
series() {
  local name=$1 rows=$2 kind=$3 sep=$4 eol=$5
  shift 5
  if [ ! -s "$name" ]; then
    "$generate" --rows "$rows" --kind "$kind" --sep "$sep" --eol "$eol" "$@" "$name.part"
    mv "$name.part" "$name"
  fi
  echo "$name"
}

# A command prefix for every timed run (taskset, for the one-processor row).
pin=()

# Runs a command once: sets `wall` (seconds), `cpu` (user + system seconds,
# to 10 ms) and `rss` (KiB); the last two are n/a without GNU time. The
# output goes to the work directory; a failing exit status ends the script.
measure() {
  local start end status=0
  start=$EPOCHREALTIME
  if [ -n "$gnu_time" ]; then
    "$gnu_time" -f '%M %U %S' -o "$work/rss.out" "${pin[@]}" "$@" >"$work/run.out" 2>"$work/run.err" || status=$?
  else
    "${pin[@]}" "$@" >"$work/run.out" 2>"$work/run.err" || status=$?
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

# qvolstat's report on FILE, made once per run of this script (the reports
# directory starts empty); prints its path.
report_of() {
  local report=$work/reports/$(basename "$1").txt
  [ -s "$report" ] || measure "$qvolstat" "$1" "$report"
  echo "$report"
}

# qvolstat's report on FILE must equal its report on OTHER, which is WHAT:
# the split twin, which only the general read can take, or another form of
# the same series.
check_report() {
  local file=$1 other=$2 what=$3 a b
  a=$(report_of "$file")
  b=$(report_of "$other")
  if cmp -s "$a" "$b"; then
    echo "  report $(basename "$file"): identical to $what's ($(basename "$other"))"
  else
    fail "qvolstat's report on $file differs from $what's ($other)"
  fi
}

# Times qvolstat and the baseline on FILE (ROWS rows) and prints a table row
# named LABEL (the file's name unless given). RUNS runs of each after a
# warm-up, or with `once` set, one run of each and no warm-up. Sets q_wall,
# b_wall, q_cpu, b_cpu (medians), q_peak (KiB) and bytes for the caller's
# checks.
once=0
bench_file() {
  local file=$1 rows=$2 label=${3:-$(basename "$1")}
  local q_times=() b_times=() q_cpus=() b_cpus=() q_rss=() b_rss=() r n=$runs
  bytes=$(wc -c <"$file")
  if [ "$once" -eq 1 ]; then
    n=1
  else
    measure "$qvolstat" "$file" "$work/report.txt"  # warm-up: the file into the page cache
    measure "$baseline" "$file"
  fi
  for ((r = 0; r < n; ++r)); do
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
  awk -v name="$label" -v rows="$rows" -v bytes="$bytes" -v qw="$q_wall" -v bw="$b_wall" \
      -v qc="$q_cpu" -v bc="$b_cpu" -v qr="$q_peak" -v br="$b_peak" -v limit="$rss_limit_mib" 'BEGIN {
    mib = 1048576
    qrss = qr == "n/a" ? "n/a" : sprintf("%.1f", qr * 1024 / mib)
    brss = br == "n/a" ? "n/a" : sprintf("%.1f", br * 1024 / mib)
    cpus = qc == "n/a" ? "n/a" : sprintf("%.2f/%.2f", qc, bc)
    printf "%-20s %9d %7.1f %8.4f %7.0f %8.4f %7.0f %7.2f %11s %7s %7s %7.1f\n", name, rows, bytes / 1e6,
      qw, bytes / 1e6 / qw, bw, bytes / 1e6 / bw, bw / qw, cpus, qrss, brss, limit
  }'
}

# The RSS target for qvolstat, whatever the length of the series.
rss_limit_mib=16

header() {
  printf '%-20s %9s %7s %8s %7s %8s %7s %7s %11s %7s %7s %7s\n' file rows MB "q s" "q MB/s" "base s" "b MB/s" \
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

# Prints the verdict line of target TEXT: met when the shell command that
# follows succeeds.
verdict() {
  local text=$1
  shift
  if "$@"; then echo "target $text: met"; else echo "target $text: NOT met"; fi
}

# The throughput ratio of the last table row, for the verdict lines.
ratio() { awk -v q="$q_wall" -v b="$b_wall" 'BEGIN { printf "%.2f", b / q }'; }

# Prints the verdict on qvolstat's peak RSS of the last table row.
rss_verdict() {
  if [ "$q_peak" = n/a ]; then
    echo "target $1: peak RSS at most $rss_limit_mib MiB: n/a (no GNU time)"
    return
  fi
  local mib
  mib=$(awk -v kib="$q_peak" 'BEGIN { printf "%.1f", kib / 1024 }')
  verdict "$1: peak RSS at most $rss_limit_mib MiB ($mib)" \
    awk -v kib="$q_peak" -v limit="$rss_limit_mib" 'BEGIN { exit !(kib <= limit * 1024) }'
}

if [ "$smoke" -eq 1 ]; then
  xys=$(series smoke_1M.xys 1000000 xys tab crlf)
  xys_d=$(series smoke_1M_D.xys 1000000 xys tab crlf --exp D)
  xys_general=$(series smoke_1M_split.xys 1000000 xys tab crlf --split)
  txt=$(series smoke_100k.txt 100000 txt comma lf)
  txt_general=$(series smoke_100k_split.txt 100000 txt comma lf --split)
  check_rows "$xys" common
  check_rows "$xys_d" common
  check_rows "$txt" common
  check_rows "$xys_general"
  check_report "$xys" "$xys_general" "the general read"
  check_report "$xys_d" "$xys" "the E file"
  check_report "$txt" "$txt_general" "the general read"
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

echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1); load average $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "generating (once) into $work ..."
m1=$(series series_1M.xys 1000000 xys tab crlf)
m1_general=$(series series_1M_split.xys 1000000 xys tab crlf --split)
m10=$(series series_10M.xys 10000000 xys blank lf)
m10_d=$(series series_10M_D.xys 10000000 xys blank lf --exp D)
m10_general=$(series series_10M_split.xys 10000000 xys blank lf --split)
k100=$(series series_100k.txt 100000 txt comma crlf)
k100_general=$(series series_100k_split.txt 100000 txt comma crlf --split)
echo "identical results:"
check_rows "$m1" common
check_rows "$m1_general"
check_rows "$m10" common
check_rows "$m10_d" common
check_rows "$m10_general"
check_rows "$k100" common
check_rows "$k100_general"
check_report "$m1" "$m1_general" "the general read"
check_report "$m10" "$m10_general" "the general read"
check_report "$m10_d" "$m10_general" "the general read"
check_report "$m10_d" "$m10" "the E file"
check_report "$k100" "$k100_general" "the general read"

echo "timing: warm-up, then $runs runs each, interleaved; medians; RSS is the largest of the runs"
header
bench_file "$m1" 1000000
bench_file "$m10" 10000000
e_wall=$q_wall
e_bytes=$bytes
if [ "$(nproc)" -ge 2 ]; then
  verdict "10^7-row .xys: throughput at least 3.0 x the baseline's ($(ratio))" holds "b / q >= 3.0"
else
  echo "target 10^7-row .xys: throughput at least 3.0 x the baseline's: n/a (one processor)"
fi
rss_verdict "10^7-row .xys"
if command -v taskset >/dev/null; then
  pin=(taskset -c 0)
  bench_file "$m10" 10000000 "series_10M.xys cpu0"
  pin=()
  verdict "10^7-row .xys on one processor: throughput at least 1.6 x the baseline's ($(ratio))" holds "b / q >= 1.6"
else
  echo "target 10^7-row .xys on one processor: throughput at least 1.6 x the baseline's: n/a (no taskset)"
fi
bench_file "$m10_d" 10000000
share=$(awk -v e="$e_wall" -v eb="$e_bytes" -v d="$q_wall" -v db="$bytes" 'BEGIN { printf "%.2f", (db / d) / (eb / e) }')
verdict "10^7-row .xys, D exponents: throughput at least 0.75 x that on E exponents ($share)" \
  awk -v e="$e_wall" -v eb="$e_bytes" -v d="$q_wall" -v db="$bytes" 'BEGIN { exit !((db / d) >= 0.75 * (eb / e)) }'
bench_file "$m10_general" 10000000
speed_mbs=$(awk -v q="$q_wall" -v n="$bytes" 'BEGIN { printf "%.0f", n / 1e6 / q }')
verdict "10^7-row split .xys (general read): at least 150 MB/s ($speed_mbs)" \
  awk -v q="$q_wall" -v n="$bytes" 'BEGIN { exit !(n / 1e6 / q >= 150) }'
bench_file "$k100" 100000
times=$(awk -v q="$q_wall" -v b="$b_wall" 'BEGIN { printf "%.2f", q / b }')
verdict "100,000-row .txt: whole process under 3 x the baseline's time ($times)" holds "q < 3 * b"

if [ "$huge" -eq 1 ]; then
  huge_file=series_100M.xys
  trap 'rm -f "$huge_file" "$huge_file.part"' EXIT
  echo "generating $(basename "$huge_file"), then one run of each program (the file fresh in the page cache):"
  series series_100M.xys 100000000 xys blank lf >/dev/null
  once=1
  bench_file "$huge_file" 100000000
  once=0
  rss_verdict "10^8-row .xys"
  rm -f "$huge_file"
fi
exit "$failed"
