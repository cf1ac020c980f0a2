#!/usr/bin/env python3
"""Fails each system call of qvolstat and qmassstat, one at a time, and checks
what the run then gives against outcomes.md beside this script.

For each scenario the program runs once without a fault, counting its calls
on each stream (fault_inject.so, preloaded, writes the counts), then once for
every call of that run and every fault kind. Each run is checked for no
signal, no hang, and the outcome of the first row of outcomes.md that fits.

    run_faults.py --programs DIR --preload LIB [--scenario NAME ...]
                  [--fault STREAM:CALL:N:KIND] [--keep] [--verbose]

Exit status: 0 every run as expected, 1 a run was not, 77 skipped (no
scenario could run), 2 a bad invocation.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
KINDS = ["EIO", "ENOSPC", "EINTR", "EAGAIN", "ENOMEM", "EACCES", "short"]
REFUSED = {"EIO", "ENOSPC", "EAGAIN", "ENOMEM", "EACCES"}
TRANSFERS = {"read", "pread", "write"}
STREAMS = ["series", "report", "stdin", "stdout", "stderr", "process"]
CALLS = ["open", "read", "pread", "write", "ftruncate", "close", "lseek", "fstat", "new", "thread"]
# The calls of the stream `process` fail in one way each: an allocation as
# memory runs out, a thread as the system refuses one more.
OWN_KINDS = {"new": ["ENOMEM"], "thread": ["EAGAIN"]}
MESSAGES = {
    9: "permission to access file denied",
    30: "open failure",
    38: "error during write",
    39: "error during read",
    41: "insufficient virtual memory",
    47: "write to READONLY file",
}
STOP_TEXT = b" Error reading input file\r\nTarn Pause - Enter command<CR> or <CR> to continue.\n"
RUN_TIMEOUT = 20  # seconds; a run takes milliseconds, so this is a hang
BLOCK_BYTES = 1 << 18  # the row reader parses a regular file ahead in blocks of this size


# ---------------------------------------------------------------- scenarios

def small_txt():
    return b"0 1.5\n1 -2.25\n2 4\n3 0.5\n"


def small_xys():
    return b"XYS 1 4 'Gauge 7'\n0.0 12.5\n1.5 -3.0\n2.0 7.25\n4.0 1.0\n"


def long_xys(rows=20000):
    """An .xys series of `rows` rows of some 34 bytes: two blocks and a part."""
    lines = [b"XYS 1 %d 'Long series'\n" % rows]
    for i in range(rows):
        rate = ((i * 7919) % 20011 - 10005) / 997.0
        lines.append(b"%.6f %.14e\n" % (i * 0.25, rate))
    return b"".join(lines)


def hours_flow_txt():
    return b"Hours Flow\n0 1\n1 2\n"


OLD_REPORT = b"an old report, longer than the first line of a new one: it must keep these bytes\r\n" * 3


class Scenario:
    """One way of running a program. `stdin` is None (/dev/null), or
    (\"file\" | \"pipe\", bytes). `cpus` is None (as the test runs), 1 or 2."""

    def __init__(self, name, program, series_name, series, args, report_name, stdin=None,
                 cpus=None, old_report=False, clean_status=0, blocks=False):
        self.name = name
        self.program = program
        self.series_name = series_name
        self.series = series
        self.args = args
        self.report_name = report_name
        self.stdin = stdin
        self.cpus = cpus
        self.old_report = old_report
        self.clean_status = clean_status
        self.blocks = blocks
        self.xys = series_name.endswith(".xys")
        assert blocks == (len(series) > 2 * BLOCK_BYTES), "a scenario of blocks needs more than one block"


def scenarios():
    big = long_xys()
    return [
        Scenario("txt", "qvolstat", "in.txt", small_txt(), ["in.txt", "out.txt"], "out.txt", old_report=True),
        Scenario("xys", "qmassstat", "in.xys", small_xys(), ["in.xys", "out.txt"], "out.txt"),
        Scenario("xys-blocks-one-cpu", "qvolstat", "in.xys", big, ["in.xys", "out.txt"], "out.txt",
                 cpus=1, blocks=True),
        Scenario("xys-blocks-two-cpus", "qvolstat", "in.xys", big, ["in.xys", "out.txt"], "out.txt",
                 cpus=2, old_report=True, blocks=True),
        Scenario("interactive-stdin-file", "qvolstat", "in.txt", small_txt(), [], "Flux_statistics.txt",
                 stdin=("file", b"in.txt\n\n"), old_report=True),
        Scenario("interactive-stdin-pipe", "qmassstat", "in.txt", small_txt(), [], "Flux_statistics.txt",
                 stdin=("pipe", b"in.txt\n\n")),
        Scenario("pause-stdin-file", "qvolstat", "in.txt", hours_flow_txt(), ["in.txt", "out.txt"], "out.txt",
                 stdin=("file", b"\n\n"), old_report=True, clean_status=59),
        Scenario("pause-stdin-pipe", "qmassstat", "in.txt", hours_flow_txt(), ["in.txt", "out.txt"], "out.txt",
                 stdin=("pipe", b"\n"), clean_status=59),
    ]


# ---------------------------------------------------------- the outcome table

class Row:
    def __init__(self, number, streams, calls, kinds, where, outcome, report):
        self.number = number
        self.streams = streams
        self.calls = calls
        self.kinds = kinds
        self.where = where
        self.outcome = outcome
        self.report = report
        self.text = "%s | %s | %s | %s | %s | %s" % (
            ", ".join(streams), ", ".join(calls), ", ".join(kinds), where, outcome, report)

    def fits(self, scenario, stream, call, n, kind, fired_size):
        if "any" not in self.streams and stream not in self.streams:
            return False
        if "any" not in self.calls and call not in self.calls:
            return False
        if not ("refused" in self.kinds and kind in REFUSED) and kind not in self.kinds:
            return False
        if self.where in ALLOCATION_WHERE:
            return ALLOCATION_WHERE[self.where](fired_size)
        return WHERE[self.where](scenario, call, n)


# The column `where`: which runs a row is for.
WHERE = {
    "": lambda scenario, call, n: True,
    "xys header": lambda scenario, call, n: scenario.xys and call in ("read", "pread") and n == 1,
    "blocks": lambda scenario, call, n: scenario.blocks,
    "old report": lambda scenario, call, n: scenario.old_report,
    "no old report": lambda scenario, call, n: not scenario.old_report,
}
# The column `where` for allocations, which the size of the failed one decides.
ALLOCATION_WHERE = {
    "a block's buffer": lambda size: size > BLOCK_BYTES + 64,
}
OUTCOME = re.compile(r"^(clean|stderr lost|severe (\d+)(?: unit (-?\d+))?|stop (\d+)( any line)?)$")
REPORT_STATES = {"", "kept", "complete", "kept or complete", "as written"}


def read_table(path):
    """The rows of the table in `path`, checked for what the checks know."""
    rows = []
    with open(path, encoding="utf-8") as f:
        lines = [line.strip() for line in f if line.startswith("|")]
    for line in lines[2:]:  # after the header and its rule
        cells = [cell.strip() for cell in line.strip("|").split("|")]
        if len(cells) != 6:
            raise SystemExit("outcomes table: not six cells: " + line)
        split = [[part.strip() for part in cell.split(",")] for cell in cells[:3]]
        row = Row(len(rows) + 1, split[0], split[1], split[2], cells[3], cells[4], cells[5])
        bad = ([s for s in row.streams if s not in STREAMS + ["any"]] +
               [c for c in row.calls if c not in CALLS + ["any"]] +
               [k for k in row.kinds if k not in KINDS + ["refused"]])
        where_known = row.where in WHERE or row.where in ALLOCATION_WHERE
        if bad or not OUTCOME.match(row.outcome) or row.report not in REPORT_STATES or not where_known:
            raise SystemExit("outcomes table: cannot read the row: " + line)
        rows.append(row)
    return rows


def fitting_row(rows, scenario, stream, call, n, kind, fired_size):
    for row in rows:
        if row.fits(scenario, stream, call, n, kind, fired_size):
            return row
    return None


# ------------------------------------------------------------------ running

class Result:
    def __init__(self):
        self.status = None
        self.stdout = b""
        self.stderr = b""
        self.report = None  # bytes, or None when there is no report file
        self.files = []
        self.series = b""
        self.counts = {}
        self.fired = False  # the fault was made
        self.fired_offset = -1  # the file offset of a faulted read or pread
        self.hung = False
        self.seconds = 0.0


class Runner:
    def __init__(self, programs, preload, scratch):
        self.programs = programs
        self.preload = preload
        self.scratch = scratch

    def prepare(self, scenario):
        self.work = os.path.realpath(os.path.join(self.scratch, scenario.name))
        os.makedirs(self.work)
        self.log = os.path.join(self.scratch, scenario.name + ".log")
        self.stdin_file = os.path.join(self.scratch, scenario.name + ".stdin")
        if scenario.stdin and scenario.stdin[0] == "file":
            with open(self.stdin_file, "wb") as f:
                f.write(scenario.stdin[1])

    def reset(self, scenario):
        """The work directory as it is before every run: the series, and the
        old report when the scenario has one."""
        for name in os.listdir(self.work):
            path = os.path.join(self.work, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.unlink(path)
        with open(os.path.join(self.work, scenario.series_name), "wb") as f:
            f.write(scenario.series)
        if scenario.old_report:
            with open(os.path.join(self.work, scenario.report_name), "wb") as f:
                f.write(OLD_REPORT)
        if os.path.exists(self.log):
            os.unlink(self.log)

    def run(self, scenario, fault=None):
        self.reset(scenario)
        env = dict(os.environ)
        env.pop("QSTAT_FAULT", None)
        env["LD_PRELOAD"] = self.preload
        # A program built with AddressSanitizer wants its runtime first of all
        # libraries; the wrappers call on into it, so it still sees every call.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
        env["QSTAT_FAULT_SERIES"] = scenario.series_name
        env["QSTAT_FAULT_REPORT"] = scenario.report_name
        env["QSTAT_FAULT_LOG"] = self.log
        if fault:
            env["QSTAT_FAULT"] = fault
        command = [os.path.join(self.programs, scenario.program)] + scenario.args
        result = Result()
        stdin = {"stdin": subprocess.DEVNULL}
        if scenario.stdin and scenario.stdin[0] == "pipe":
            stdin = {"input": scenario.stdin[1]}
        elif scenario.stdin:
            stdin = {"stdin": open(self.stdin_file, "rb")}
        start = time.monotonic()
        try:
            done = subprocess.run(command, cwd=self.work, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=RUN_TIMEOUT, **stdin)
            result.status, result.stdout, result.stderr = done.returncode, done.stdout, done.stderr
        except subprocess.TimeoutExpired as timeout:
            result.hung = True
            result.stdout, result.stderr = timeout.stdout or b"", timeout.stderr or b""
        finally:
            if stdin.get("stdin") not in (None, subprocess.DEVNULL):
                stdin["stdin"].close()
        result.seconds = time.monotonic() - start
        result.files = sorted(os.listdir(self.work))
        report = os.path.join(self.work, scenario.report_name)
        if os.path.isfile(report):
            with open(report, "rb") as f:
                result.report = f.read()
        series = os.path.join(self.work, scenario.series_name)
        if os.path.isfile(series):
            with open(series, "rb") as f:
                result.series = f.read()
        if os.path.exists(self.log):
            with open(self.log) as f:
                for line in f:
                    words = line.split()
                    if words[0] == "count":
                        result.counts[(words[1], words[2])] = int(words[3])
                    elif words[0] == "fired":
                        result.fired, result.fired_offset = True, int(words[5])
        return result


# ----------------------------------------------------------------- checking

def first_new_message(result, clean):
    """The first `tarnlib:` line of standard error that the clean run did not
    print, and the line after it."""
    known = set(clean.stderr.split(b"\r\n"))
    lines = result.stderr.split(b"\r\n")
    for i, line in enumerate(lines):
        if line.startswith(b"tarnlib:") and line not in known:
            return line.decode("latin-1"), lines[i + 1].decode("latin-1") if i + 1 < len(lines) else ""
    return None, None


def report_lines(report):
    """The lines of a report, each with its CR LF: one write each."""
    return [line + b"\r\n" for line in report.split(b"\r\n")[:-1]]


def expected_report(scenario, clean, call, n, state):
    """The report bytes that a failure leaves, or a list of allowed ones;
    None for no report file."""
    before = OLD_REPORT if scenario.old_report else None
    if state == "kept":
        return [before]
    if state == "complete":
        return [clean.report]
    if state == "kept or complete":
        return [before, clean.report]
    if state == "as written":
        lines = report_lines(clean.report)
        written = b"".join(lines[:n - 1]) if call == "write" else lines[0]
        if call == "write" and n >= 2:
            return [written]  # the first line cut the old report off
        return [written + (before or b"")[len(written):]]
    return [clean.report]


def same_as_clean(result, clean, what):
    """Differences from the clean run in the parts named by `what`."""
    problems = []
    for part in what:
        got, want = getattr(result, part), getattr(clean, part)
        if got != want:
            problems.append("%s %r, the clean run's %r" % (part, got, want))
    return problems


def message_problems(outcome, scenario, result, clean, full_paths):
    """What is wrong with the message, exit status and standard output of a
    run whose outcome is `severe N unit U` or `stop N`."""
    match = OUTCOME.match(outcome)
    severe = match.group(2) is not None
    number = int(match.group(2) or match.group(4))
    if severe and match.group(3) is None:  # a message without a unit or file
        text = "tarnlib: severe (%d): %s" % (number, MESSAGES[number])
    else:
        unit = int(match.group(3)) if severe else 22
        where = {22: full_paths["series"], 44: full_paths["report"], -4: "CONIN$", -1: "CONOUT$"}[unit]
        text = "tarnlib: %s (%d): %s, unit %d, file %s" % (
            "severe" if severe else "error", number, MESSAGES[number], unit, where)
    problems = []
    if result.status != number:
        problems.append("exit status %r, not %d" % (result.status, number))
    if result.status == 0:
        problems.append("exit status 0 after a refused call")
    message, after = first_new_message(result, clean)
    if severe:
        if message != text:
            problems.append("message %r, not %r" % (message, text))
        elif not after.startswith("Image "):
            problems.append("no stack listing after the message")
        if not clean.stdout.startswith(result.stdout):
            problems.append("stdout %r is no prefix of the clean run's" % result.stdout)
        return problems
    if match.group(5):
        line = r"\d+"
    else:
        line = str(1 + scenario.series[:result.fired_offset].count(b"\n"))
    if message is None or not re.fullmatch(re.escape(text) + ", line " + line, message):
        problems.append("message %r, not %r, line %s" % (message, text, line))
    if b"\r\nImage " in b"\r\n" + result.stderr:
        problems.append("a stack listing after the read-error stop")
    shown = result.stdout[:-len(STOP_TEXT)]
    if not result.stdout.endswith(STOP_TEXT) or not clean.stdout.startswith(shown):
        problems.append("stdout %r is no prefix of the clean run's and the read-error stop" % result.stdout)
    return problems


def check(scenario, rows, clean, stream, call, n, kind, result, full_paths):
    """The row of the table for one fault run, and the run's problems (none
    when it gave what the row says)."""
    row = fitting_row(rows, scenario, stream, call, n, kind, result.fired_offset)
    if row is None:
        return None, ["no row of the outcomes table fits"]
    if result.hung:
        return row, ["no end within %d s (a hang)" % RUN_TIMEOUT]
    problems = []
    if result.status < 0:
        problems.append("killed by signal %d" % -result.status)
    if not result.fired:
        problems.append("the fault was never made: the run made fewer such calls")
    if row.outcome == "clean":
        problems += same_as_clean(result, clean, ("status", "stdout", "stderr"))
    elif row.outcome == "stderr lost":
        problems += same_as_clean(result, clean, ("status", "stdout"))
        if len(result.stderr) >= len(clean.stderr):
            problems.append("stderr %r lost nothing of the clean run's %r" % (result.stderr, clean.stderr))
    else:
        problems += message_problems(row.outcome, scenario, result, clean, full_paths)
    allowed = expected_report(scenario, clean, call, n, row.report)
    if result.report not in allowed:
        problems.append("report %r, not %s" % (result.report, " or ".join(repr(a) for a in allowed)))
    if result.series != scenario.series:
        problems.append("the series changed")
    wanted = sorted({scenario.series_name} | ({scenario.report_name} if result.report is not None else set()))
    if result.files != wanted:
        problems.append("files %s, not %s" % (result.files, wanted))
    return row, problems


# ------------------------------------------------------------------- driver

def faults_of(counts):
    """Every (stream, call, n, kind) that the clean run's counts allow."""
    for stream in STREAMS:
        for call in CALLS:
            for n in range(1, counts.get((stream, call), 0) + 1):
                for kind in OWN_KINDS.get(call, KINDS):
                    if kind != "short" or call in TRANSFERS:
                        yield stream, call, n, kind


def show(result):
    lines = ["    exit status %r%s, %.3f s" % (result.status, " (hung)" if result.hung else "", result.seconds),
             "    stdout %r" % result.stdout[-300:], "    stderr %r" % result.stderr[:400]]
    return "\n".join(lines)


def run_scenario(scenario, rows, runner, only_fault, verbose, tally):
    """Runs one scenario; returns the number of fault runs that failed."""
    runner.prepare(scenario)
    clean = runner.run(scenario)
    full_paths = {"series": os.path.join(runner.work, scenario.series_name),
                  "report": os.path.join(runner.work, scenario.report_name)}
    if clean.hung or clean.status != scenario.clean_status or (clean.status == 0 and clean.report is None):
        print("FAIL %s: the run without a fault went wrong\n%s" % (scenario.name, show(clean)))
        return 1
    if not clean.counts:
        print("FAIL %s: no calls counted: is the library preloaded?" % scenario.name)
        return 1
    if verbose:
        print("%s: the clean run's calls: %s" % (scenario.name, ", ".join(
            "%s %s %d" % (s, c, k) for (s, c), k in sorted(clean.counts.items()))))
    if only_fault:
        stream, call, n, kind = only_fault.split(":")
        faults = [(stream, call, int(n), kind)]
    else:
        faults = list(faults_of(clean.counts))
    failed = 0
    for stream, call, n, kind in faults:
        setting = "%s:%s:%d:%s" % (stream, call, n, kind)
        result = runner.run(scenario, setting)
        row, problems = check(scenario, rows, clean, stream, call, n, kind, result, full_paths)
        number = row.number if row else 0
        counted = tally.setdefault(number, {"runs": 0, "failed": 0, "calls": {}})
        counted["runs"] += 1
        if problems:
            failed += 1
            counted["failed"] += 1
            kinds = counted["calls"].setdefault("%s %s" % (stream, call), [])
            if kind not in kinds:
                kinds.append(kind)
            print("FAIL %s %s (row %d: %s)" % (scenario.name, setting, number, row.text if row else "none"))
            for problem in problems:
                print("    " + problem)
            if verbose or only_fault:
                print(show(result))
        elif verbose or only_fault:
            print("ok   %s %s (row %d)" % (scenario.name, setting, number))
            if only_fault:
                print(show(result))
    print("%s: %d fault runs, %d failed" % (scenario.name, len(faults), failed))
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--programs", required=True, help="the folder of qvolstat and qmassstat")
    parser.add_argument("--preload", required=True, help="the fault library (fault_inject.so)")
    parser.add_argument("--scenario", action="append", help="run only this scenario (repeatable)")
    parser.add_argument("--fault", help="run only this fault, STREAM:CALL:N:KIND")
    parser.add_argument("--keep", action="store_true", help="keep the work directories")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--list", action="store_true", help="list the scenarios")
    options = parser.parse_args()

    chosen = scenarios()
    if options.list:
        for scenario in chosen:
            print(scenario.name)
        return 0
    if options.scenario:
        names = {s.name for s in chosen}
        unknown = [name for name in options.scenario if name not in names]
        if unknown:
            print("unknown scenario: %s (--list shows them)" % ", ".join(unknown))
            return 2
        chosen = [s for s in chosen if s.name in options.scenario]
    rows = read_table(os.path.join(HERE, "outcomes.md"))
    preload = os.path.abspath(options.preload)
    programs = os.path.abspath(options.programs)

    usable = sorted(os.sched_getaffinity(0))
    scratch = tempfile.mkdtemp(prefix="qstat-faults-")
    runner = Runner(programs, preload, scratch)
    tally = {}
    failed = 0
    ran = 0
    try:
        for scenario in chosen:
            if scenario.cpus and len(usable) < scenario.cpus:
                print("SKIPPED %s: %d processor(s) usable, %d needed" % (scenario.name, len(usable), scenario.cpus))
                continue
            if scenario.cpus:
                os.sched_setaffinity(0, usable[:scenario.cpus])
            try:
                failed += run_scenario(scenario, rows, runner, options.fault, options.verbose, tally)
            finally:
                os.sched_setaffinity(0, usable)
            ran += 1
    finally:
        if options.keep:
            print("work directories kept in " + scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)
    for number in sorted(tally):
        counted = tally[number]
        print("row %2d: %4d runs, %4d failed | %s" % (number, counted["runs"], counted["failed"],
                                                     rows[number - 1].text if number else "no row fits"))
        if counted["calls"]:
            print("        failed: " + "; ".join("%s (%s)" % (call, " ".join(kinds))
                                              for call, kinds in counted["calls"].items()))
    if ran == 0:
        print("SKIPPED: no scenario could run")
        return 77
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
