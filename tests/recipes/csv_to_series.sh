#!/usr/bin/env bash
# Runs the README's command that turns a CSV export into a series, exactly as
# the README shows it (the sh block after the line "<!-- csv-to-series -->"),
# on flow.csv beside this script, then qvolstat on the series it wrote, and
# compares the series and the report byte for byte with expected_series.txt
# and expected_report.txt. Then runs it on a CSV with a bad cell, which must
# fail and leave no flow.txt, nor change one that was there.
#
#   csv_to_series.sh README QVOLSTAT
#
# flow.csv is a spreadsheet export: CR LF, a header with a quoted comma, times
# of day, an empty rate cell, a third column with quoted commas, an empty last
# row. The series holds each rate in m^3/s written out in full (1000 ft^3/s is
# 28.316846592 m^3/s, 35.31466672 ft^3/s is 0.99999999995784781824 m^3/s), so
# a conversion through doubles printed to some digits fails it.
#
# Exit status: 0 passed, 1 failed, 77 skipped (no python3).
set -euo pipefail
readme=$1
program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "$0")" && pwd)
command -v python3 >/dev/null || { echo "SKIPPED: no python3 to run the README's command"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/csv-to-series.XXXXXX")
trap 'rm -rf "$work"' EXIT
awk '/^<!-- csv-to-series -->$/ { marked = 1; next }
     marked && !inside && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$readme" >"$work/command.sh"
if [ ! -s "$work/command.sh" ]; then
  echo "FAIL: no sh block after <!-- csv-to-series --> in $readme"
  exit 1
fi
cp "$here/flow.csv" "$work/flow.csv"

failures=0
# same WHAT EXPECTED ACTUAL: compares two files, showing CR and tabs on failure.
same() {
  if ! cmp -s "$2" "$3"; then
    echo "FAIL: $1 differs from $2 (expected <, actual >)"
    diff <(cat -A "$2") <(cat -A "$3") || true
    failures=$((failures + 1))
  fi
}
if ! (cd "$work" && sh command.sh); then
  echo "FAIL: the README's command failed:"
  cat "$work/command.sh"
  exit 1
fi
same "the series" "$here/expected_series.txt" "$work/flow.txt"
status=0
(cd "$work" && "$program" flow.txt report.txt </dev/null) || status=$?
[ $status -eq 0 ] || { echo "FAIL: qvolstat exit status $status"; failures=$((failures + 1)); }
same "the report" "$here/expected_report.txt" "$work/report.txt"

# A cell that is no number, after a good row: the command fails and writes
# no flow.txt, in a folder without one and in one whose flow.txt it keeps.
printf 'Date,Discharge\r\n2024-05-01 00:00,1000\r\n2024-05-01 06:00,"1,250"\r\n' >"$work/bad.csv"
printf '0 1\r\n1 2\r\n' >"$work/kept.txt"
for before in none kept; do
  dir=$work/bad-$before
  mkdir "$dir"
  cp "$work/command.sh" "$dir/"
  cp "$work/bad.csv" "$dir/flow.csv"
  [ $before = none ] || cp "$work/kept.txt" "$dir/flow.txt"
  status=0
  (cd "$dir" && sh command.sh) >"$dir/output" 2>&1 || status=$?
  if [ $status -eq 0 ]; then
    echo "FAIL: the README's command ended with status 0 on the cell 1,250"
    failures=$((failures + 1))
  fi
  if [ $before = none ] && [ -e "$dir/flow.txt" ]; then
    echo "FAIL: a bad cell left a flow.txt:"
    cat -A "$dir/flow.txt"
    failures=$((failures + 1))
  fi
  [ $before = none ] || same "the flow.txt that a failed command found" "$work/kept.txt" "$dir/flow.txt"
done

[ $failures -eq 0 ] || exit 1
echo "PASSED: the README's CSV command"
