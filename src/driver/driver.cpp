// The run driver: the whole control flow of a program, one straight pass.
#include "driver/driver.h"

#include <cstring>

#include "input/time_series.h"
#include "stats/stats.h"
#include "textio/textio.h"

namespace {

constexpr const char* defaultReportName = "Flux_statistics.txt";

// The usage banner and the prompt, 28 free-form lines; lines 2 and 4 name
// the program.
void showBanner(const char* programName) {
    static const char rule[] = "---------------------------------------------";
    char program[64];
    char usage[96];
    std::strcpy(program, " PROGRAM: ");
    std::strcat(program, programName);
    std::strcat(program, ".exe");
    std::strcpy(usage, " USAGE: ");
    std::strcat(usage, programName);
    std::strcat(usage, ".exe [finput] [foutput] [fluxmax] ");
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

// Argument mode: input, report and threshold from arguments 1 to 3.
void takeArguments(RunSettings& settings, const ProgramArguments& args) {
    setField(settings.finput, sizeof settings.finput, args.text[0], std::strlen(args.text[0]));
    if (args.count >= 2) {
        setField(settings.foutput, sizeof settings.foutput, args.text[1], std::strlen(args.text[1]));
    }
    if (args.count >= 3) {
        char threshold[32];
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
    char line[12 + 30 + 10];
    std::memcpy(line, "Input file: ", 12);
    std::memcpy(line + 12, settings.finput, 30);
    std::memcpy(line + 42, " not found", 10);
    writeConsoleLine(line, sizeof line);
}

}  // namespace

void runDriver(const Deliverable& deliverable, int argc, char** argv) {
    ProgramArguments args = startProcess(argc, argv);
    RunSettings settings;
    setField(settings.finput, sizeof settings.finput, "", 0);
    setField(settings.foutput, sizeof settings.foutput, defaultReportName, std::strlen(defaultReportName));
    settings.interactive = args.count == 0;

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
    TimeSeries series = readTimeSeries(settings.finput);
    FluxTotals totals = computeFluxTotals(series, settings.fluxmax);
    ReportRows rows = writeReport(settings.foutput, series.name, totals, deliverable.units, deliverable.headers);
    if (settings.interactive) {
        writeSummary(totals, rows, deliverable.units, deliverable.headers);
        readFreeForm(input, {}, false, false);  // wait for Enter
    }
    stopRun();
}
