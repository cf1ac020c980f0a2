// Fuzz target: a whole run on an arbitrary series file. The first byte
// chooses the file kind (bit 0: `.xys`, else `.txt`), the unit set (bit 1:
// mass, else volume) and the threshold (bits 2-3); the next two set the
// reading (fuzz_support.h: the source's buffer and the blocks parsed ahead,
// 16 bytes to 4 KiB, on one thread: the hand-over is row_hand_over's); the
// other bytes are the file, served from memory (platform.h).
// The series is read, screened and integrated, the report written to a file
// served from memory too and the console summary to standard output
// (/dev/null). A report, once written, must hold exactly the nine lines of
// its layout.
// Left out: refused reads and writes (the fault-injection suite fails
// them), the system's own file reads and writes (the end-to-end tests make
// them), and what only a long file shows (a `.txt` of more than 100000 rows).
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "input/series_reader.h"
#include "report/report.h"
#include "stats/stats.h"
#include "textio/text_fields.h"

namespace {

const ReportHeaders volumeHeaders = {
    "Flux       [cu m]       [cu yd]     [cu ft]     [cu m/day]   [cu yd/day]  [cu ft/day]   "
    "[cu m/yr]    [cu yd/yr]   [cu ft/yr]",
    "Flux       [cu m]    [cu m/day]"};
const ReportHeaders massHeaders = {"Flux        [kg]       [kg/day]      [kg/yr]    ", "Flux       [kg]    [kg/day]"};

// Requires that the report's `size` bytes hold nine CR LF lines of the layout's lengths.
void checkReportLayout(const char* text, std::size_t size, bool mass) {
    const std::size_t lengths[9] = {53, 26, 26, 35, mass ? 48u : 124u, mass ? 45u : 123u,
                                    mass ? 45u : 123u, mass ? 45u : 123u, mass ? 45u : 123u};
    std::size_t at = 0;
    for (std::size_t length : lengths) {
        require(at + length + 2 <= size, "the report is too short");
        require(std::memchr(text + at, '\n', length) == nullptr, "a report line is too short");
        require(text[at + length] == '\r' && text[at + length + 1] == '\n', "a report line has a wrong length");
        at += length + 2;
    }
    require(at == size, "the report holds more than nine lines");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + readSettingsBytes) return 0;
    const bool xys = (data[0] & 1) != 0;
    const ReadSettings settings = readSettings(data + 1, 1);
    const ReadTuning tuning{settings.bufferBytes, settings.blockBytes, settings.threads};
    const bool mass = (data[0] & 2) != 0;
    const double thresholds[4] = {100000.0, 0.0, -1.0, std::nan("")};
    const double fluxmax = thresholds[(data[0] >> 2) & 3];
    // Names in a directory of the process's own, which stay while served.
    static const std::string xysName = std::string(fuzzDirectory()) + "/series.xys";
    static const std::string txtName = std::string(fuzzDirectory()) + "/series.txt";
    static const std::string report = std::string(fuzzDirectory()) + "/report.txt";
    const std::string& series = xys ? xysName : txtName;
    const std::uint8_t* bytes = data + 1 + readSettingsBytes;
    serveFileFromMemory(series.c_str(), reinterpret_cast<const char*>(bytes), size - 1 - readSettingsBytes);
    serveReportToMemory(report.c_str());
    char finput[pathLength];
    char foutput[pathLength];
    setField(finput, sizeof finput, series.c_str(), series.size());
    setField(foutput, sizeof foutput, report.c_str(), report.size());
    const UnitSet& units = mass ? MassUnitSet : VolumeUnitSet;
    const ReportHeaders& headers = mass ? massHeaders : volumeHeaders;
    bool written = false;
    int stop = runCatchingStop([&] {
        SeriesReader reader = openSeries(finput, tuning);
        FluxSums sums;
        sums.fluxmax = fluxmax;
        for (RowSpan rows = readSeriesRows(reader); rows.count > 0; rows = readSeriesRows(reader)) {
            addSamples(sums, rows.time, rows.rate, rows.count);
        }
        FluxTotals totals = finishFluxTotals(sums, reader.count);
        require(totals.sampleCount == reader.count, "the sample count is not the series count");
        require(totals.outlierCount >= 0 && totals.outlierCount <= (reader.count > 0 ? reader.count : 0),
                "the outlier count is out of range");
        ReportRows rows = reportRows(totals, units);
        writeReport(foutput, reader.name, totals, rows, units, headers);
        written = true;
        writeSummary(totals, rows, units, headers);
    });
    // A run that reads its series writes its report; a failing one writes none.
    std::size_t reportSize = 0;
    const char* reportText = servedReportBytes(reportSize);
    if (written) {
        checkReportLayout(reportText, reportSize, mass);
    } else {
        require(stop != -1, "the run ended without a report");
        require(reportSize == 0, "a failed read left a report");
    }
    return 0;
}
