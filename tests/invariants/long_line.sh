#!/usr/bin/env bash
# A series whose first row is one line of 1 GiB: a number of 512 Mi digits
# (1. and zeros, so exactly 1.0), then blanks up to the rate 2; then the row
# 3 4. The run must read both rows right while its peak resident memory stays
# far below the size of the line (the reader holds a block, never a line).
#
#   long_line.sh PROGRAM      exit 0 passed, 1 failed, 77 skipped (no room)
#
# The file is written as a stream into a temporary folder and removed at the
# end. Under AddressSanitizer (8 times slower) the line is 256 MiB.
set -u
program=$1
size=$((1024 * 1024 * 1024))
limit_kib=65536
if ldd "$program" 2>/dev/null | grep -q libasan; then
    size=$((256 * 1024 * 1024))
    limit_kib=131072
fi
[[ -x /usr/bin/time ]] || { echo "SKIPPED: no /usr/bin/time (package time)"; exit 77; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/long_line.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
free_kib=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
if ((free_kib < 2 * size / 1024)); then
    echo "SKIPPED: $((free_kib / 1024)) MiB free in $dir, the line needs $((2 * size / 1024 / 1024)) MiB"
    exit 77
fi

half=$((size / 2))
{
    printf '1.'
    head -c "$half" /dev/zero | tr '\0' '0'
    head -c $((size - half - 4)) /dev/zero | tr '\0' ' '
    printf '2\n3 4\n'
} >"$dir/line.txt"

status=0
/usr/bin/time -f '%M %e' -o "$dir/usage" "$program" "$dir/line.txt" "$dir/report.txt" </dev/null || status=$?
read -r rss seconds < <(tail -n 1 "$dir/usage")
echo "a line of $((size / 1024 / 1024)) MiB read in $seconds s, peak resident memory $rss KiB"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
((status == 0)) || fail "exit status $status"
((rss < limit_kib)) || fail "peak resident memory $rss KiB, expected below $limit_kib KiB"
# t = (1, 3) hours, q = (2, 4): two samples, 2/24 days, Qin = 2 * 1800 * 6 = 21600.
expected=$'Time Series length:      2\r\nNumber of outliers:      0\r\nTime series length:      0.083 days\r'
[[ $(sed -n 2,4p "$dir/report.txt" 2>/dev/null) == "$expected" ]] || fail "report lines 2 to 4 differ"
[[ $(sed -n 6p "$dir/report.txt" 2>/dev/null | cut -c 1-19) == "Qin      0.2160E+05" ]] || fail "Qin differs"
((failures == 0)) || { cat -A "$dir/report.txt" 2>/dev/null | head -n 9; exit 1; }
echo "PASSED: long line"
