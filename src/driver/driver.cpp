// The run driver: the whole control flow of a program, one straight pass.
#include "driver/driver.h"

#include <cstring>

#include "input/series_reader.h"
#include "stats/stats.h"
#include "stops/stops.h"
#include "textio/console.h"
#include "textio/free_form.h"
#include "textio/text_fields.h"

namespace {

constexpr const char* defaultReportName = "Flux_statistics.txt";

// The usage banner and the prompt, 28 free-form lines; lines 2 and 4 name
// the program.
void showBanner(const char* programName) {
    static const char rule[] = "---------------------------------------------";
    // Lines 2 and 4: at most 52 characters with a program name of 9.
    const Substitution name[] = {{'p', programName}};
    char program[consoleLineLimit];
    char usage[consoleLineLimit];
    program[substitute(program, sizeof program - 1, " PROGRAM: %p.exe", name)] = '\0';
    usage[substitute(usage, sizeof usage - 1, " USAGE: %p.exe [finput] [foutput] [fluxmax] ", name)] = '\0';
    writeFreeFormLine(rule);
    writeFreeFormLine(program);
    writeFreeFormLine();
    writeFreeFormLine(usage);
    writeFreeFormLine();
    writeFreeFormLine(" DESCRIPTION: Integrates flux time series and");
    writeFreeFormLine("   calculates transport statistics");
    writeFreeFormLine();
    writeFreeFormLine(" INPUT: ");
    writeFreeFormLine("   finput - Input file name, either *.txt or *.xys file ");
    writeFreeFormLine("       Both files must contain two columns of data.");
    writeFreeFormLine("       The first column is time in hours and ");
    writeFreeFormLine("       the second column is the transport rate in m^3/sec. ");
    writeFreeFormLine("       The *xys file must have a header  ");
    writeFreeFormLine("       \"XYS 1 N \"Name\"  where N is the number of rows.");
    writeFreeFormLine("   foutput - Output file name");
    writeFreeFormLine("   fluxmax - Maximum flux value. Used for determining outliers");
    writeFreeFormLine();
    writeFreeFormLine(" OUTPUT: ");
    writeFreeFormLine("  ASCII file containing the folowing information");
    writeFreeFormLine("     In, out, gross and net fluxes in units of ");
    writeFreeFormLine("     cu m, cu yd, cu ft, cu m/day, cu yd/day, ");
    writeFreeFormLine("     cu ft/day, cu m/yr, cu yd/yr, cu ft/yr");
    writeFreeFormLine();
    writeFreeFormLine(rule);
    writeFreeFormLine();
    writeFreeFormLine(" Enter input file name and press enter ");
    writeFreeFormLine(" or to exit type any text and press enter");
}

// What the first argument may ask for in place of a run.
enum class InfoRequest { none, help, version };

// --help and -h ask for help (and /? where the system's programs take it),
// --version for the version; any other text, for nothing.
InfoRequest infoRequest(const char* argument) {
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) return InfoRequest::help;
    if (slashQuestionAsksForHelp() && std::strcmp(argument, "/?") == 0) return InfoRequest::help;
    if (std::strcmp(argument, "--version") == 0) return InfoRequest::version;
    return InfoRequest::none;
}

// The help text, at most 25 lines: %p stands for the program name, %u for the
// unit of the rates.
constexpr const char* helpText[] = {
    "Usage: %p finput [foutput [fluxmax]]",
    "       %p",
    "       %p --help | -h | --version",
    "Integrates a time series of rates (hours, %u) with the trapezoid rule and",
    "writes its inflow, outflow, gross and net totals to a report of nine lines.",
    "  finput   the series: a .txt file of rows \"hours rate\", or an .xys file",
    "           (a header XYS 1 N 'name', then N rows)",
    "  foutput  the report, created or replaced",
    "           (default Flux_statistics.txt in the current directory)",
    "  fluxmax  rates greater than this in magnitude are outliers and count as 0",
    "           (default 100000)",
    "With arguments, the program writes the report and prints nothing.",
    "With no argument, it shows a banner, asks for the input file, writes",
    "Flux_statistics.txt into the directory of the answer (up to its last",
    "backslash), shows a summary and waits for Enter.",
    "Exit status: 0 success, 29 input not found, else the number in the message.",
    "Manual: man %p; README.md (/usr/share/doc/qstat, or docs\\ on Windows).",
};

// Writes the help text or the version line ("qvolstat 1.1.0") as plain
// console lines; a refused write is run-time error 38 on unit -1.
void writeInfo(const Deliverable& deliverable, InfoRequest request) {
    // A pattern has at most 75 characters and one %p or %u, which a program
    // name of 9 characters or a unit of 5 lengthens by at most 7: 82 in all.
    char line[consoleLineLimit];
    const Substitution names[] = {{'p', deliverable.programName}, {'u', deliverable.rateUnit}, {'v', QSTAT_VERSION}};
    if (request == InfoRequest::version) {
        writeConsoleLine(line, substitute(line, sizeof line, "%p %v", names));
        return;
    }
    for (const char* pattern : helpText) writeConsoleLine(line, substitute(line, sizeof line, pattern, names));
}

// The report goes into the directory of `finput`: everything up to its last
// backslash (forward slashes do not count), then the report name as it stands.
void applyReportDirectory(RunSettings& settings) {
    std::size_t prefix = 0;
    for (std::size_t i = sizeof settings.finput; i > 0; --i) {
        if (settings.finput[i - 1] == '\\') {
            prefix = i;
            break;
        }
    }
    if (prefix == 0) return;
    char joined[sizeof settings.finput + sizeof settings.foutput];
    std::memcpy(joined, settings.finput, prefix);
    std::memcpy(joined + prefix, settings.foutput, sizeof settings.foutput);
    setField(settings.foutput, sizeof settings.foutput, joined, prefix + sizeof settings.foutput);
}

// An argument path into its field, whole: one longer than the field holds
// (trailing blanks aside) is run-time error 43 on `unit`, since a cut path
// would name a file that the user never named.
void takePath(char* field, const char* argument, int unit) {
    std::size_t length = std::strlen(argument);
    if (trimmedLength(argument, length) > pathLength) {
        char name[messageNameSize];
        fullPathForMessage(argument, name, sizeof name);
        raiseRunTimeError(errFileName, unit, name);
    }
    setField(field, pathLength, argument, length);
}

// Argument mode: input, report and threshold from arguments 1 to 3.
void takeArguments(RunSettings& settings, const ProgramArguments& args) {
    takePath(settings.finput, args.text[0], seriesUnit);
    if (args.count >= 2) takePath(settings.foutput, args.text[1], reportUnit);
    if (args.count >= 3) {
        char threshold[thresholdLength];
        setField(threshold, sizeof threshold, args.text[2], std::strlen(args.text[2]));
        RecordSource source = fixedTextSource(threshold, sizeof threshold);
        const ReadItem item[] = {realItem(settings.fluxmax)};
        readFreeForm(source, item, false, false);
    }
}

// True when a file exists under `finput` without its trailing blanks. A name
// holding a NUL byte names no file.
bool inputExists(const RunSettings& settings) {
    std::size_t length = trimmedLength(settings.finput, sizeof settings.finput);
    if (std::memchr(settings.finput, '\0', length) != nullptr) return false;
    char name[sizeof settings.finput + 1];
    trimmedCopy(settings.finput, sizeof settings.finput, name);
    return fileExists(name);
}

// "Input file: ", the first 30 characters of the path, " not found".
void writeNotFoundLine(const RunSettings& settings) {
    static constexpr char prefix[] = "Input file: ";
    static constexpr char suffix[] = " not found";
    constexpr std::size_t shown = 30;  // characters of the path, blank-padded
    char line[sizeof prefix - 1 + shown + sizeof suffix - 1];  // 52
    std::memcpy(line, prefix, sizeof prefix - 1);
    std::memcpy(line + sizeof prefix - 1, settings.finput, shown);
    std::memcpy(line + sizeof prefix - 1 + shown, suffix, sizeof suffix - 1);
    writeConsoleLine(line, sizeof line);
}

}  // namespace

void runDriver(const Deliverable& deliverable, int argc, char** argv) {
    ProgramArguments args = startProcess(argc, argv);
    RunSettings settings;
    setField(settings.finput, sizeof settings.finput, "", 0);
    setField(settings.foutput, sizeof settings.foutput, defaultReportName, std::strlen(defaultReportName));
    settings.interactive = args.count == 0;

    // A first argument that asks for help or the version is answered unless
    // a file has that name, which is then read as a series: for these texts
    // (no blanks, no NUL) fileExists is the existence test of the input.
    if (!settings.interactive) {
        InfoRequest request = infoRequest(args.text[0]);
        if (request != InfoRequest::none && !fileExists(args.text[0])) {
            writeInfo(deliverable, request);
            stopRun();
        }
    }

    RecordSource input = standardInputSource();
    if (settings.interactive) {
        showBanner(deliverable.programName);
        const ReadItem answer[] = {textItem(settings.finput, sizeof settings.finput)};
        readFreeForm(input, answer, false, false);
    }
    applyReportDirectory(settings);
    if (!settings.interactive) takeArguments(settings, args);

    if (!inputExists(settings)) {
        writeNotFoundLine(settings);
        // At the prompt this is the way out that the banner offers; given as
        // an argument, a missing input is a failure that scripts must see.
        stopRun(settings.interactive ? 0 : errFileNotFound);
    }
    // The rows are screened and integrated as they are read; the series is
    // never held whole.
    SeriesReader series = openSeries(settings.finput);
    FluxSums sums;
    sums.fluxmax = settings.fluxmax;
    for (RowSpan rows = readSeriesRows(series); rows.count > 0; rows = readSeriesRows(series))
        addSamples(sums, rows.time, rows.rate, rows.count);
    // Times may go back, and the sums take such an interval with its sign;
    // but in a file it is nearly always a fault (two exports joined, local
    // clock times across a change of daylight saving time).
    if (sums.firstBackward > 0) warnTimeGoesBack(series, sums.firstBackward);
    FluxTotals totals = finishFluxTotals(sums, series.count);
    ReportRows rows = reportRows(totals, deliverable.units);
    writeReport(settings.foutput, series.name, totals, rows, deliverable.units, deliverable.headers);
    if (settings.interactive) {
        writeSummary(totals, rows, deliverable.units, deliverable.headers);
        readFreeForm(input, {}, false, false);  // wait for Enter
    }
    stopRun();
}
