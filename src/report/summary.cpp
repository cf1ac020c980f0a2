// The console summary of an interactive run.
#include <cstring>

#include "report/report.h"
#include "report/report_lines.h"
#include "stats/stats.h"
#include "stops/stops.h"
#include "textio/console.h"

// A console line whose field overflowed is still written, then reported; the
// rest of the summary follows as usual.
static void writeCheckedConsoleLine(const char* text, std::size_t length, bool overflow) {
    writeConsoleLine(text, length);
    if (overflow) reportRunTimeError(errOutputConversion, outputUnit, outputName);
}

void writeSummary(const FluxTotals& totals, const ReportRows& rows, const UnitSet& units,
                  const ReportHeaders& headers) {
    char line[lineCapacity];
    bool overflow = false;
    writeFreeFormLine();
    std::size_t length = formatCountLine(line, "Time Series length: ", totals.sampleCount, overflow);
    writeCheckedConsoleLine(line, length, overflow);
    length = formatCountLine(line, "Number of outliers: ", totals.outlierCount, overflow);
    writeCheckedConsoleLine(line, length, overflow);
    length = formatDaysLine(line, totals.days, overflow);
    writeCheckedConsoleLine(line, length, overflow);
    writeConsoleLine(headers.summary, std::strlen(headers.summary));

    for (int row = 0; row < 4; ++row) {
        const double* values = rows.values[row];
        const double shown[2] = {values[units.summaryColumns[0]], values[units.summaryColumns[1]]};
        length = formatValueRow(line, rowLabels[row], shown, 2);
        writeConsoleLine(line, length);
    }
    writeFreeFormLine();
    writeFreeFormLine("--- Finished ----");
    writeFreeFormLine("Press Enter to exit");
    writeFreeFormLine();
}
