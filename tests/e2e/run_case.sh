#!/usr/bin/env bash
# Runs one end-to-end case of qvolstat or qmassstat in a fresh work directory
# and compares, byte for byte, what the program printed, its exit status and
# the files it left behind with what the case folder expects.
#
#   run_case.sh CASE_DIR PROGRAM_DIR [EMULATOR]
#
# PROGRAM_DIR holds the built programs. EMULATOR (a ;-separated command, as
# CMake passes CMAKE_CROSSCOMPILING_EMULATOR) runs Windows builds: the
# programs are then NAME.exe and the work directory appears to them as
# Z:\... with backslashes. The case folder layout is described in README.md
# beside this script.
#
# Exit status: 0 passed, 1 failed, 77 skipped, 2 unusable case or usage.
# The helpers below are called from the cases' prepare and check snippets.
# shellcheck disable=SC2317,SC2016,SC2002
set -u
export LC_ALL=C

usage_error() {
    echo "run_case.sh: $*" >&2
    [[ -n ${SCRATCH:-} ]] && rm -rf "$SCRATCH"
    exit 2
}

(($# >= 2)) || usage_error "usage: run_case.sh CASE_DIR PROGRAM_DIR [EMULATOR]"
CASE_DIR=$(cd "$1" 2>/dev/null && pwd -P) || usage_error "no case folder $1"
PROGRAM_DIR=$(cd "$2" 2>/dev/null && pwd -P) || usage_error "no program folder $2"
EMULATOR=()
[[ -n ${3:-} ]] && IFS=';' read -r -a EMULATOR <<<"$3"
CASE_NAME=${CASE_DIR##*/}
EXPECTED=$CASE_DIR/expected
case $(uname -s) in
MINGW* | MSYS* | CYGWIN*) NATIVE_WINDOWS=1 ;;
*) NATIVE_WINDOWS=0 ;;
esac
if ((${#EMULATOR[@]} || NATIVE_WINDOWS)); then PLATFORM=windows; else PLATFORM=posix; fi

# ---- scratch space: SCRATCH/work is the program's current directory, the
# captured streams live beside it so that they never show up as stray files.
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/e2e-$CASE_NAME.XXXXXX") || usage_error "mktemp failed"
mkdir "$SCRATCH/work" "$SCRATCH/out"
WORK=$(cd "$SCRATCH/work" && pwd -P)
OUT=$SCRATCH/out
if ((NATIVE_WINDOWS)); then
    WORK_FORM=$(cygpath -w "$WORK")
elif [[ $PLATFORM == windows ]]; then
    WORK_FORM="Z:${WORK//\//\\}"
else
    WORK_FORM=$WORK
fi
RUN_PREFIX=()
FAILURES=0

cleanup() { chmod -R u+rwX "$SCRATCH" 2>/dev/null; rm -rf "$SCRATCH"; }

# Ends the case as skipped (CTest's SKIP_RETURN_CODE is 77).
skip() { echo "SKIPPED: $CASE_NAME: $*"; cleanup; exit 77; }

# Records one failed expectation; the case goes on so that every difference shows.
fail() { echo "FAIL: $CASE_NAME: $*"; FAILURES=$((FAILURES + 1)); }

# File names in setup/ and expected/files/ write a backslash as %5C (and a
# percent sign as %25), so that a case folder stays portable.
decode_name() { local n=${1//%5C/\\}; n=${n//%5c/\\}; printf '%s' "${n//%25/%}"; }
encode_name() { local n=${1//%/%25}; printf '%s' "${n//\\/%5C}"; }

# Replaces every @WORK@ in the text $1 by the work directory as the program
# names it; for a Windows program the slashes of the path that follows the
# placeholder (up to the next blank or line end) become backslashes.
expand_work() {
    local rest=$1 result="" tail
    while [[ $rest == *@WORK@* ]]; do
        result+=${rest%%@WORK@*}
        rest=${rest#*@WORK@}
        if [[ $PLATFORM == windows ]]; then
            tail=${rest%%[$' \t\r\n']*}
            rest=${rest:${#tail}}
            result+=$WORK_FORM${tail//\//"\\"}
        else
            result+=$WORK_FORM
        fi
    done
    printf '%s' "$result$rest"
}

# Copies file $1 to $2 with @WORK@ expanded (a file without it is copied as is).
expand_file() {
    if grep -q -F @WORK@ "$1"; then
        local text
        IFS= read -r -d '' text <"$1"
        expand_work "$text" >"$2"
    else
        cp "$1" "$2"
    fi
}

# Runs the program as an unprivileged user when the case runs as root, so
# that permission checks apply; skips the case where no such user can be had.
use_unprivileged_user() {
    ((EUID == 0)) || return 0
    local uid gid
    if ! uid=$(id -u nobody 2>/dev/null) || ! gid=$(id -g nobody 2>/dev/null); then
        skip "no user 'nobody' to run an unprivileged program"
    fi
    if command -v setpriv >/dev/null; then
        RUN_PREFIX=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
    elif command -v runuser >/dev/null; then
        RUN_PREFIX=(runuser -u nobody --)
    else
        skip "neither setpriv nor runuser can drop root's rights"
    fi
    chmod 755 "$SCRATCH" "$WORK"
    # A user that keeps the right to override permissions is no test at all.
    : >"$SCRATCH/probe" && chmod 000 "$SCRATCH/probe"
    if "${RUN_PREFIX[@]}" test -r "$SCRATCH/probe" 2>/dev/null; then
        skip "user nobody still reads a file of mode 000"
    fi
    rm -f "$SCRATCH/probe"
}

# Limits the program's address space to $1 KiB (ulimit -v).
limit_memory() {
    RUN_PREFIX+=(bash -c 'ulimit -v "$0" && exec "$@"' "$1")
}

# Sets REPLY to the name of a routine as a stack listing shows it: without a
# symbol version (@GLIBC_...), cut before its parameter list and to 17
# characters, without trailing blanks.
listed_name() {
    REPLY=${1%%@*}
    REPLY=${REPLY%%\(*}
    REPLY=${REPLY:0:17}
    REPLY=${REPLY%"${REPLY##*[! ]}"}
}

# Writes the line "START END NAME" for the routine $3 at [$1, $2), and a
# second one with its bare name (no namespace or class) when that differs,
# the form in which debugging information names a routine.
code_symbol() {
    local name=$3 full
    while [[ $name == "(anonymous namespace)::"* ]]; do name=${name#"(anonymous namespace)::"}; done
    listed_name "$name"
    full=$REPLY
    echo "$1 $2 $full"
    name=${name%%\(*}
    listed_name "${name##*::}"
    [[ $REPLY == "$full" ]] || echo "$1 $2 $REPLY"
}

# Writes "START END NAME" (decimal, END exclusive) for every code symbol of
# the file $1 into the file $2. A symbol without a size (PE files carry none)
# ends where the next one starts.
list_code_symbols() {
    local file=$1 nm=nm a b c rest start previous=""
    [[ $PLATFORM == windows ]] && nm=x86_64-w64-mingw32-nm
    {
        "$nm" -C -n -S --defined-only -- "$file"
        # A shared library keeps only its exported names.
        [[ $PLATFORM == posix ]] && "$nm" -D -C -n -S --defined-only -- "$file"
    } 2>/dev/null | while read -r a b c rest; do
        # Names of sections and local labels (.text, .l_start) are no routines.
        [[ $a =~ ^[0-9a-f]+$ && $c != .* ]] || continue
        start=$((16#$a))
        [[ -n $previous ]] && code_symbol "${previous%% *}" "$start" "${previous#* }"
        previous=""
        if [[ $b =~ ^[0-9a-f]+$ && $c =~ ^[A-Za-z]$ ]]; then
            [[ $c == [TtWwi] && $rest != .* ]] && code_symbol "$start" "$((start + 16#$b))" "$rest"
        elif [[ $b == [TtWw] ]]; then
            previous="$start $c${rest:+ $rest}"
        fi
    done >"$2"
}

# For the stack listing on standard error: every routine that a frame row of
# the program or of a library it loads (POSIX) names must be one whose code
# holds the frame's call, one byte before its PC (a return address); and
# each routine given as an argument must be named by some row. Frames in
# other modules of a Windows program (wine's own) are not checked.
check_stack_routines() {
    local nm=nm line module pc routine file base address holders named=" " want symbols start end name
    [[ $PLATFORM == windows ]] && nm=x86_64-w64-mingw32-nm
    command -v "$nm" >/dev/null || { fail "no $nm (binutils) to check the stack listing"; return; }
    while IFS= read -r line; do
        line+=$'\n'
        [[ $line =~ $FRAME_ROW ]] || continue
        pc=${line:19:8}
        listed_name "${line:0:17}" && module=$REPLY
        listed_name "${line:29:17}" && routine=$REPLY
        [[ $routine == Unknown ]] && continue
        named+="$routine "
        base=0 file=""
        if [[ $module == "${PROGRAM##*/}" ]]; then
            file=$PROGRAM
            # A PE file's symbols are at their image base plus the offset.
            [[ $PLATFORM == windows ]] &&
                base=$((16#$(x86_64-w64-mingw32-objdump -p "$PROGRAM" | sed -n 's/^ImageBase[[:space:]]*//p')))
        elif [[ $PLATFORM == posix ]]; then
            file=$(ldd "$PROGRAM" | sed -n "s|^[[:space:]]*${module//./\\.} => \([^ ]*\) .*|\1|p")
        fi
        if [[ -z $file ]]; then
            [[ $PLATFORM == posix ]] && fail "stack row of $module names $routine: no such module to check it in"
            continue
        fi
        symbols=$OUT/symbols.$module
        [[ -f $symbols ]] || list_code_symbols "$file" "$symbols"
        address=$((base + 16#$pc - 1))
        holders=" "
        while read -r start end name; do
            ((start <= address && address < end)) && [[ $holders != *" ${name:-?} "* ]] && holders+="${name:-?} "
        done <"$symbols"
        [[ $holders == *" $routine "* ]] && continue
        [[ $holders == " " ]] && holders=" no routine "
        fail "stack row $module $pc names $routine, but the code at PC-1 belongs to${holders% }"
    done <"$OUT/stderr"
    for want in "$@"; do
        [[ $named == *" $want "* ]] || fail "the stack listing does not name $want"
    done
}

# ---------------------------------------------------------------- the case
if [[ -f $CASE_DIR/platform ]]; then
    read -r wanted <"$CASE_DIR/platform"
    [[ $wanted == "$PLATFORM" ]] || skip "runs on $wanted only, this is $PLATFORM"
fi
[[ -f $CASE_DIR/args ]] || usage_error "$CASE_NAME: no file args"
mapfile -t ARG_LINES <"$CASE_DIR/args"
((${#ARG_LINES[@]} >= 1)) || usage_error "$CASE_NAME: args names no program"
PROGRAM_NAME=${ARG_LINES[0]}
case $PROGRAM_NAME in
qvolstat | qmassstat) ;;
*) usage_error "$CASE_NAME: unknown program '$PROGRAM_NAME'" ;;
esac
ARGS=()
for arg in "${ARG_LINES[@]:1}"; do ARGS+=("$(expand_work "$arg")"); done
PROGRAM=$PROGRAM_DIR/$PROGRAM_NAME
[[ $PLATFORM == windows ]] && PROGRAM+=.exe
[[ -x $PROGRAM ]] || usage_error "no program $PROGRAM (build it first)"

if [[ -d $CASE_DIR/setup ]]; then
    cp -R "$CASE_DIR/setup/." "$WORK/"
    while IFS= read -r -d '' path; do
        mv -- "$path" "${path%/*}/$(decode_name "${path##*/}")"
    done < <(find "$WORK" -depth -name '*%*' -print0)
fi
if [[ -f $CASE_DIR/prepare ]]; then
    cd "$WORK" || exit 2
    # shellcheck source=/dev/null
    source "$CASE_DIR/prepare"
fi

STDIN_MODE=null
if [[ -e $CASE_DIR/stdin-closed ]]; then
    STDIN_MODE=closed
elif [[ -f $CASE_DIR/stdin ]]; then
    STDIN_MODE=pipe
    [[ -e $CASE_DIR/stdin-terminal ]] && STDIN_MODE=terminal
    expand_file "$CASE_DIR/stdin" "$OUT/stdin.expanded"
fi
if [[ $STDIN_MODE == terminal ]] && ! script -qec true /dev/null </dev/null >/dev/null 2>&1; then
    skip "no script(1) of util-linux to make a pseudo-terminal"
fi

# The program reads its standard input from a pipe (as typed answers
# arrive), from /dev/null when the case gives none, from a terminal, or has
# it closed.
launch() {
    cd "$WORK" && exec timeout -k 5 240 "${RUN_PREFIX[@]}" "${EMULATOR[@]}" "$PROGRAM" "${ARGS[@]}"
}
# Types the lines of `stdin` on the terminal, each line end as the Enter key
# sends it (CR, which a terminal in line mode turns into LF). Wine's console
# takes the terminal over (raw mode) as the program starts and drops what was
# typed before, so under wine the typing waits for that.
type_lines() {
    local i
    if [[ $PLATFORM == windows ]]; then
        for ((i = 0; i < 1200; i++)); do
            [[ -s $OUT/tty ]] && stty -F "$(<"$OUT/tty")" -a 2>/dev/null | grep -q -e -icanon && break
            sleep 0.05
        done
    fi
    tr '\n' '\r' <"$OUT/stdin.expanded"
}
case $STDIN_MODE in
terminal)
    # script(1) starts the command in a session of its own on a new
    # pseudo-terminal (so it needs no terminal of ours) and passes its own
    # standard input to it as typing. Only standard input stays on the
    # terminal: the program's output goes to files, free of the terminal's
    # echo and line-end translation. timeout stays outside, since from a
    # process group of its own the program could not read the terminal.
    {
        declare -p RUN_PREFIX EMULATOR PROGRAM ARGS WORK OUT
        echo 'tty >"$OUT/tty"'
        echo 'cd "$WORK" && exec "${RUN_PREFIX[@]}" "${EMULATOR[@]}" "$PROGRAM" "${ARGS[@]}" >"$OUT/stdout" 2>"$OUT/stderr"'
    } >"$OUT/launch.sh"
    type_lines | timeout -k 5 240 script -qec "bash ${OUT@Q}/launch.sh" /dev/null >"$OUT/terminal" 2>&1
    STATUS=${PIPESTATUS[1]}
    ;;
pipe)
    cat "$OUT/stdin.expanded" | (launch) >"$OUT/stdout" 2>"$OUT/stderr"
    STATUS=${PIPESTATUS[1]}
    ;;
null)
    (launch) </dev/null >"$OUT/stdout" 2>"$OUT/stderr"
    STATUS=$?
    ;;
closed)
    (launch) <&- >"$OUT/stdout" 2>"$OUT/stderr"
    STATUS=$?
    ;;
esac
cd "$WORK" || exit 2

# ------------------------------------------------------------ comparisons
visible() { cat -A -- "$1"; }

# Shows where two files differ: the first differing byte, a unified diff with
# CR, tabs and trailing blanks made visible, and od -c of the region.
show_difference() {
    local what=$1 want=$2 got=$3 where offset start
    echo "---- $what: expected (<) and actual (>) differ"
    where=$(cmp -- "$want" "$got" 2>&1)
    echo "$where"
    diff --label expected --label actual -u <(visible "$want") <(visible "$got") | head -n 80
    offset=$(grep -oE "(byte|char) [0-9]+" <<<"$where" | head -n 1 | tr -dc 0-9)
    [[ -n $offset ]] || offset=$(($(wc -c <"$want") < $(wc -c <"$got") ? $(wc -c <"$want") : $(wc -c <"$got")))
    ((offset > 0)) || offset=1
    start=$(((offset - 1) / 16 * 16 - 32))
    ((start >= 0)) || start=0
    echo "expected bytes from offset $start:"
    od -A d -c -j "$start" -N 96 -- "$want"
    echo "actual bytes from offset $start:"
    od -A d -c -j "$start" -N 96 -- "$got"
}

compare_bytes() { # what, expected file, actual file
    cmp -s -- "$2" "$3" && return 0
    fail "$1 differs"
    show_difference "$1" "$2" "$3"
}

# A frame row of the stack listing: module in 17, PC in 8 hex digits,
# routine in 17, line in 10, source; fields apart by two blanks; CR LF.
FRAME_ROW=$'^.{17}  [0-9A-F]{8}  .{17}  .{10}  .*\r\n$'

# Matches standard error against the expected lines: each literal line must
# come next, @STACK@ stands for one or more frame rows, @END@ says nothing
# more may follow. Without @END@ only the lines given are compared.
compare_stderr() {
    local want=$1 got=$2 i j=0 rows line
    local -a expect actual
    mapfile expect <"$want"
    mapfile actual <"$got"
    for ((i = 0; i < ${#expect[@]}; i++)); do
        line=${expect[i]}
        if [[ $line == $'@STACK@\n' ]]; then
            rows=0
            while ((j < ${#actual[@]})) && [[ ${actual[j]} =~ $FRAME_ROW ]]; do
                j=$((j + 1)) rows=$((rows + 1))
            done
            ((rows > 0)) && continue
            fail "stderr line $((j + 1)): expected a stack frame row"
        elif [[ $line == $'@END@\n' ]]; then
            ((j == ${#actual[@]})) && return 0
            fail "stderr line $((j + 1)): expected nothing more"
        elif ((j < ${#actual[@]})) && [[ ${actual[j]} == "$line" ]]; then
            j=$((j + 1))
            continue
        else
            fail "stderr line $((j + 1)) differs"
            echo "expected: $(printf '%s' "$line" | cat -A)"
            ((j < ${#actual[@]})) && echo "actual:   $(printf '%s' "${actual[j]}" | cat -A)"
            ((j < ${#actual[@]})) || echo "actual:   (end of stderr)"
        fi
        echo "---- whole stderr:"
        head -n 40 -- "$got" | cat -A
        return 1
    done
}

want_status=0
[[ -f $EXPECTED/status ]] && read -r want_status <"$EXPECTED/status"
if [[ $STATUS == 124 || $STATUS == 137 ]]; then
    fail "the program did not end within 240 seconds (status $STATUS)"
elif [[ $STATUS != "$want_status" ]]; then
    fail "exit status $STATUS, expected $want_status"
fi

if [[ -f $EXPECTED/stdout ]]; then
    expand_file "$EXPECTED/stdout" "$OUT/stdout.expected"
else
    : >"$OUT/stdout.expected"
fi
compare_bytes stdout "$OUT/stdout.expected" "$OUT/stdout"

if [[ -f $EXPECTED/stderr ]]; then
    expand_file "$EXPECTED/stderr" "$OUT/stderr.expected"
    compare_stderr "$OUT/stderr.expected" "$OUT/stderr"
elif [[ -s $OUT/stderr ]]; then
    fail "stderr should be empty"
    head -n 40 -- "$OUT/stderr" | cat -A
fi

if [[ -d $EXPECTED/files ]]; then
    while IFS= read -r -d '' want; do
        rel=${want#"$EXPECTED/files/"}
        name=$(decode_name "$rel")
        if [[ ! -f $WORK/$name ]]; then
            fail "file '$name' is missing"
        else
            compare_bytes "file '$name'" "$want" "$WORK/$name"
        fi
    done < <(find "$EXPECTED/files" -type f -print0 | sort -z)
fi

# expected/absent: names (one a line, as they are) that must not exist.
if [[ -f $EXPECTED/absent ]]; then
    while IFS= read -r name; do
        [[ -n $name ]] || continue
        if [[ -e $WORK/$name || -L $WORK/$name ]]; then fail "'$name' should not exist"; fi
    done <"$EXPECTED/absent"
fi

# expected/unchanged: names that must still hold their setup/ bytes; * for all.
if [[ -f $EXPECTED/unchanged ]]; then
    names=()
    while IFS= read -r name; do
        if [[ $name == '*' ]]; then
            while IFS= read -r -d '' file; do
                names+=("$(decode_name "${file#"$CASE_DIR/setup/"}")")
            done < <(find "$CASE_DIR/setup" -type f -print0 | sort -z)
        elif [[ -n $name ]]; then
            names+=("$name")
        fi
    done <"$EXPECTED/unchanged"
    for name in "${names[@]}"; do
        original=$CASE_DIR/setup/$(encode_name "$name")
        if [[ ! -f $WORK/$name ]]; then
            fail "'$name' should be unchanged but is gone"
        else
            compare_bytes "unchanged '$name'" "$original" "$WORK/$name"
        fi
    done
fi

# expected/tree: every entry of the work directory afterwards, sorted.
if [[ -f $EXPECTED/tree ]]; then
    (cd "$WORK" && find . -mindepth 1 | sed 's|^\./||' | sort) >"$OUT/tree"
    sort "$EXPECTED/tree" | sed '/^$/d' >"$OUT/tree.expected"
    compare_bytes "work directory listing" "$OUT/tree.expected" "$OUT/tree"
fi

if [[ -f $CASE_DIR/check ]]; then
    # shellcheck source=/dev/null
    source "$CASE_DIR/check"
fi

if ((FAILURES)); then
    echo "FAILED: $CASE_NAME ($FAILURES differences); work directory kept: $SCRATCH"
    echo "command: (cd $WORK && ${RUN_PREFIX[*]} ${EMULATOR[*]} $PROGRAM ${ARGS[*]@Q})"
    exit 1
fi
echo "PASSED: $CASE_NAME"
cleanup
exit 0
