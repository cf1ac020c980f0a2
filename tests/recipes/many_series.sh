#!/usr/bin/env bash
# Runs the README's recipes of "Many series at once" exactly as the README
# shows them (each sh block after a line "<!-- many-series: NAME -->"), with
# the built qvolstat first on PATH, on a tree that holds two series named
# flow.txt in different folders, an .xys series in a folder with a blank in
# its name, and a series with an unreadable row:
#
#   series/st1/flow.txt  series/st2/flow.txt  series/st 3/tide.xys  series/bad.txt
#
# Each way of running (one after another, xargs, parallel) starts from a
# fresh copy of the tree and must leave, below reports/, exactly one report and one log for
# each series, named after its path below series/ (no report for bad.txt),
# each report the same bytes as a direct run of qvolstat on its own series,
# and print the one failure line "series/bad.txt: exit status 59".
# The ssh form runs with this machine alone (--sshlogin :) and the Slurm form
# with a stand-in sbatch that runs the array's tasks in turn.
#
#   many_series.sh README QVOLSTAT
#
# Exit status: 0 passed, 1 failed, 77 the forms without GNU parallel passed
# and those with it were skipped (no GNU parallel).
set -euo pipefail
readme=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")

# No dot in the path: a dot before the extension would make tide.xys a .txt.
work=$(mktemp -d "${TMPDIR:-/tmp}/many-series-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$program" "$work/bin/qvolstat"
export PATH=$work/bin:$PATH

# block NAME: the sh block after <!-- many-series: NAME --> in the README.
block() {
  awk -v marker="<!-- many-series: $1 -->" '
    $0 == marker { marked = 1; next }
    marked && !inside && /^```sh$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' "$readme"
}
for name in report-one "one after another" xargs parallel ssh slurm; do
  if [ -z "$(block "$name")" ]; then
    echo "FAIL: no sh block after <!-- many-series: $name --> in $readme"
    exit 1
  fi
done

# The tree, and the report of each good series from a direct run.
tree=$work/tree
mkdir -p "$tree/series/st1" "$tree/series/st2" "$tree/series/st 3" "$work/expected"
printf '0 2\n1 0\n2 -4\n' >"$tree/series/st1/flow.txt"
printf '0 10\n6 20\n12 30\n18 -40\n' >"$tree/series/st2/flow.txt"
printf 'XYS 1 2 "Station 3 tide"\n0 5\n24 15\n' >"$tree/series/st 3/tide.xys"
printf '0 1\nabc 2\n' >"$tree/series/bad.txt"
good=("st1/flow.txt" "st2/flow.txt" "st 3/tide.xys")
for path in "${good[@]}"; do
  mkdir -p "$work/expected/${path%/*}"
  (cd "$tree" && qvolstat "series/$path" "$work/expected/$path.report" </dev/null)
done
expected_files=$( (printf '%s\n' bad.txt.log; for p in "${good[@]}"; do printf '%s\n' "$p.log" "$p.report"; done) | LC_ALL=C sort)

printf 'ls\nls\nls\n' >"$work/typed"

failures=0
fail() {
  echo "FAIL ($form): $*"
  failures=$((failures + 1))
}

# check DIR OUTPUT: what a way of running left in DIR/reports, and printed.
check() {
  local dir=$1 output=$2 path files
  files=$(cd "$dir/reports" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort) || files=""
  [ "$files" = "$expected_files" ] ||
    fail "reports/ holds"$'\n'"$files"$'\n'"expected"$'\n'"$expected_files"
  for path in "${good[@]}"; do
    if ! cmp -s "$work/expected/$path.report" "$dir/reports/$path.report"; then
      fail "reports/$path.report is not the report of series/$path"
    fi
    [ ! -s "$dir/reports/$path.log" ] || fail "reports/$path.log is not empty: $(cat "$dir/reports/$path.log")"
  done
  grep -qF "tarnlib: error (59): list-directed I/O syntax error, unit 22, file $dir/series/bad.txt, line 2" \
    "$dir/reports/bad.txt.log" 2>/dev/null || fail "reports/bad.txt.log lacks the error of line 2"
  ! grep -q 'command not run' "$dir/reports/bad.txt.log" 2>/dev/null ||
    fail "the failed run read its standard input at the pause"
  [ "$output" = "series/bad.txt: exit status 59" ] ||
    fail "printed '$output', expected the one line 'series/bad.txt: exit status 59'"
}

# run NAME DIR COMMAND: runs the README's script block, then COMMAND, in DIR,
# a fresh copy of the tree, and checks what they left and printed.
run() {
  form=$1
  local dir=$work/$2 status=0 output
  cp -R "$tree" "$dir"
  (cd "$dir" && sh -c "$(block report-one)") || fail "the script block failed"
  # Lines wait on standard input: a run that read them at the pause would
  # leave "command not run" in its log.
  output=$(cd "$dir" && sh -c "$3" 2>&1 <"$work/typed") || status=$?
  [ $status -eq 0 ] || fail "exit status $status"$'\n'"$output"
  check "$dir" "$output"
}

run "one after another" serial "$(block "one after another")"
run xargs xargs "$(block xargs)"

# A stand-in sbatch: --array=FIRST-LAST and --wrap=COMMAND, one task after
# another in the current directory, each writing slurm-1_N.out as Slurm does.
cat >"$work/bin/sbatch" <<'EOF'
#!/bin/sh
for arg; do
  case $arg in
    --array=*) range=${arg#--array=} ;;
    --wrap=*) wrap=${arg#--wrap=} ;;
    *) echo "sbatch stand-in: unexpected argument $arg" >&2; exit 1 ;;
  esac
done
task=${range%-*}
while [ "$task" -le "${range#*-}" ]; do
  SLURM_ARRAY_TASK_ID=$task sh -c "$wrap" >"slurm-1_$task.out" 2>&1
  task=$((task + 1))
done
EOF
chmod +x "$work/bin/sbatch"
run slurm slurm "$(block slurm) && cat slurm-1_*.out"

# Not grep -q: with pipefail, parallel cut off by an early exit would count as missing.
gnu_parallel=no
parallel --version 2>/dev/null | grep '^GNU parallel' >/dev/null && gnu_parallel=yes
if [ $gnu_parallel = yes ]; then
  run parallel parallel "$(block parallel)"
  run "ssh, this machine alone" ssh "$(block ssh | sed 's/--sshlogin [^ ]*/--sshlogin :/')"
else
  echo "skipped: the parallel and ssh forms (no GNU parallel)"
fi

[ $failures -eq 0 ] || exit 1
if [ $gnu_parallel = no ]; then
  echo "SKIPPED: no GNU parallel; the other forms of \"Many series at once\" passed"
  exit 77
fi
echo "PASSED: the README's recipes of \"Many series at once\""
