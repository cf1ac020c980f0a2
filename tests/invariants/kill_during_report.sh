#!/usr/bin/env bash
# Nothing lost when a run is killed: qvolstat runs on a long `.xys` series
# and is killed with SIGKILL at random moments (before, during or after its
# report write), and, where strace can inject it, at each write and at the
# truncation of the report. After every kill the input must be byte-identical
# and the report file must be the old report, the new first line over the
# old rest (killed between the first write and the truncation), or a prefix
# of the complete new report; and the next run must work normally.
#
#   kill_during_report.sh PROGRAM [SECONDS]     (default 4 s of random kills)
#
# Exit status 0 passed, 1 failed.
set -u
program=$1
budget=${2:-4}
dir=$(mktemp -d "${TMPDIR:-/tmp}/kill_during_report.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

# 999999 rows (the most that line 2 of the report shows without asterisks):
# long enough that a kill lands anywhere in the run.
{ echo "XYS 1 999999 'Long'"; seq 0 999998 | sed 's/$/ 1.5/'; } >series.xys
cp series.xys series.orig
# An old report longer than the new one, so that a kept tail would show.
for i in $(seq 1 40); do printf 'old report line %02d ...............................\r\n' "$i"; done >old.txt

"$program" series.xys reference.txt </dev/null || { echo "FAIL: undisturbed run, status $?"; exit 1; }
size=$(wc -c <reference.txt)
first=$(head -n 1 reference.txt | wc -c)

failures=0
declare -A seen=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Sorts the report left by a killed run into one of the states allowed.
classify() {
    local got=$1 n
    n=$(wc -c <"$got")
    if cmp -s "$got" old.txt; then
        echo old
    elif ((n <= size)) && cmp -s -n "$n" "$got" reference.txt; then
        ((n == size)) && echo complete || echo partial
    elif cmp -s -n "$first" "$got" reference.txt && cmp -s -i "$first" "$got" old.txt; then
        echo first-line-over-old
    else
        echo broken
    fi
}

# After a kill: the input unchanged, the report in an allowed state, and a
# normal run afterwards.
check_after_kill() {
    local how=$1 state
    cmp -s series.xys series.orig || fail "$how: the input changed"
    state=$(classify report.txt)
    seen[$state]=$((${seen[$state]:-0} + 1))
    [[ $state != broken ]] || { fail "$how: report in no allowed state"; cp report.txt "broken-$RANDOM.txt"; }
    "$program" series.xys report.txt </dev/null || fail "$how: the next run failed with status $?"
    cmp -s report.txt reference.txt || fail "$how: the next run wrote another report"
}

t0=$(date +%s%N)
"$program" series.xys timing.txt </dev/null
run_ms=$((($(date +%s%N) - t0) / 1000000))
((run_ms > 0)) || run_ms=1
rm -f timing.txt

kills=0
deadline=$(($(date +%s) + budget))
while (($(date +%s) < deadline)); do
    cp old.txt report.txt
    "$program" series.xys report.txt </dev/null &
    pid=$!
    # A moment anywhere from the start to a little after the run's usual end.
    delay_ms=$((RANDOM % (run_ms + run_ms / 4 + 1)))
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    kills=$((kills + 1))
    check_after_kill "kill after $delay_ms ms"
done

# Deterministic kills inside the report write: at the n-th write (lines 1 to
# 9) and at the truncation after the first line.
injected=0
if command -v strace >/dev/null && strace -f -qq -o /dev/null true 2>/dev/null; then
    for point in write:1 ftruncate:1 write:2 write:5 write:9; do
        call=${point%%:*}
        when=${point##*:}
        cp old.txt report.txt
        # a subshell of its own, so that its death by SIGKILL is reported to /dev/null
        (strace -f -qq -o /dev/null -e trace=write,ftruncate -e inject="$call":signal=KILL:when="$when" \
            "$program" series.xys report.txt </dev/null; true) 2>/dev/null
        echo "killed at $call $when: report left $(classify report.txt)"
        injected=$((injected + 1))
        check_after_kill "kill at $call $when"
    done
fi

states=""
for state in "${!seen[@]}"; do states+=" $state=${seen[$state]}"; done
echo "$kills random kills (a run takes $run_ms ms), $injected kills inside the report write; reports left:$states"
((failures == 0)) || exit 1
echo "PASSED: kill during report"
