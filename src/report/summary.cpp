// The console summary of an interactive run.
#include <cassert>
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
    assert(showsLabels(headers.summary, units, units.summaryColumns));
    writeFreeFormLine();
    FixedLine series[3];
    formatSeriesLines(totals, series);
    for (const FixedLine& counted : series) writeCheckedConsoleLine(counted.text, counted.length, counted.overflow);
    writeConsoleLine(headers.summary, std::strlen(headers.summary));
    char line[lineCapacity];
    for (int row = 0; row < 4; ++row) {
        const double* values = rows.values[row];
        const double shown[2] = {values[units.summaryColumns[0]], values[units.summaryColumns[1]]};
        writeConsoleLine(line, formatValueRow(line, rowLabels[row], shown, 2));
    }
    writeFreeFormLine();
    writeFreeFormLine("--- Finished ----");
    writeFreeFormLine("Press Enter to exit");
    writeFreeFormLine();
}
