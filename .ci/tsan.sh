#!/usr/bin/env bash
# The reading threads under ThreadSanitizer (preset `tsan`, a debug build, so
# that the row reader's ownership checks run too): the row reader's and the
# series reader's tests, then a 10^6-row series read by qvolstat and by
# row_paths_check, which compares it with the general read. Any report of
# ThreadSanitizer ends the program that made it and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
. .ci/install_missing.sh

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
install_missing "${need[@]}"

build=build/tsan
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$(nproc)" --target unit_tests qvolstat generate_series row_paths_check
ctest --preset tsan -R '^(RowReader|SeriesReader)'

# No dot in the path: a dot before the extension would make the .xys a .txt.
work=$(mktemp -d "${TMPDIR:-/tmp}/qstat-tsan-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/generate_series" --rows 1000000 "$work/series.xys"
# A million rows do not fit the six columns of the row count: the report
# shows asterisks and qvolstat says so with message 63 and a stack listing,
# its status staying 0. That standard error goes to a file and must hold
# that message, once, and nothing of ThreadSanitizer.
status=0
"$build/qvolstat" "$work/series.xys" "$work/report.txt" </dev/null 2>"$work/qvolstat.err" || status=$?
expected=$(printf 'tarnlib: error (63): output conversion error, unit 44, file %s\r' "$work/report.txt")
if [ $status -ne 0 ] || [ "$(grep -c '^tarnlib: ' "$work/qvolstat.err")" != 1 ] ||
   [ "$(head -n 1 "$work/qvolstat.err")" != "$expected" ] || grep -q ThreadSanitizer "$work/qvolstat.err" ||
   [ "$(sed -n 2p "$work/report.txt")" != $'Time Series length: ******\r' ]; then
  echo "FAIL: qvolstat on 10^6 rows, status $status (expected 0, message 63 alone); its standard error:" >&2
  cat "$work/qvolstat.err" >&2
  exit 1
fi
echo "qvolstat read 10^6 rows: report written, the count shown as asterisks (message 63, as expected)"
"$build/bench/row_paths_check" "$work/series.xys"
# Small blocks: many hand-overs between the threads.
"$build/bench/row_paths_check" "$work/series.xys" 4096 2
echo "ThreadSanitizer: no report"
