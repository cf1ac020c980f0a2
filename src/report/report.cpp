// The statistics report file: nine fixed-layout lines, created or replaced.
#include <cassert>
#include <cstring>

#include "report/report.h"
#include "report/report_lines.h"
#include "stats/stats.h"
#include "platform/platform.h"
#include "stops/stops.h"
#include "textio/text_fields.h"

std::size_t formatCountLine(char* out, const char* label, std::int32_t count, bool& overflow) {
    std::memcpy(out, label, 20);
    overflow = !renderI6(out + 20, count);
    return 20 + i6Width;
}

std::size_t formatDaysLine(char* out, double days, bool& overflow) {
    std::memcpy(out, "Time series length: ", 20);
    overflow = !renderF103(out + 20, days);
    std::memcpy(out + 20 + f103Width, " days", 5);
    return 20 + f103Width + 5;
}

std::size_t formatValueRow(char* out, const char* label, const double* values, std::size_t count) {
    // 7 + 9 * 13 - 1 = 123 characters at most
    assert(count >= 1 && 7 + count * (e124Width + 1) - 1 <= lineCapacity);
    std::memcpy(out, label, 7);
    std::size_t length = 7;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) out[length++] = ' ';
        renderE124(out + length, values[k]);
        length += e124Width;
    }
    return length;
}

namespace {

// The report file while it is written.
struct ReportFile {
    FileHandle file;
    bool readOnly = false;
    bool firstLine = true;
    char fullPath[messageNameSize];
};

// Writes one line and its CR LF. The first line cuts off whatever the file
// held beyond it. A refused write ends the run.
void writeReportLine(ReportFile& report, const char* text, std::size_t length) {
    char line[lineCapacity + 2];
    std::memcpy(line, text, length);
    line[length] = '\r';
    line[length + 1] = '\n';
    if (report.readOnly) raiseRunTimeError(errReadOnly, reportUnit, report.fullPath);
    int error = writeFileBytes(report.file, line, length + 2);
    if (error == 0 && report.firstLine) error = truncateFileHere(report.file);
    if (error != 0) raiseRunTimeError(error, reportUnit, report.fullPath);
    report.firstLine = false;
}

// A line whose field overflowed is written whole, then reported; the report
// goes on in the same file.
void writeCheckedLine(ReportFile& report, const char* text, std::size_t length, bool overflow) {
    writeReportLine(report, text, length);
    if (overflow) reportRunTimeError(errOutputConversion, reportUnit, report.fullPath);
}

}  // namespace

ReportRows writeReport(const char* foutput, const char* name, const FluxTotals& totals, const UnitSet& units,
                       const ReportHeaders& headers) {
    ReportFile report;
    char path[pathLength + 1];
    trimmedCopy(foutput, pathLength, path);
    fullPathForMessage(path, report.fullPath, sizeof report.fullPath);
    OpenResult opened = openFileByName(path, FileUse::writing);
    if (opened.error != 0) raiseRunTimeError(opened.error, reportUnit, report.fullPath);
    report.file = opened.file;
    report.readOnly = opened.readOnly;

    char line[lineCapacity];
    bool overflow = false;
    std::memcpy(line, "Time series name:    ", 21);
    std::memcpy(line + 21, name, 32);
    writeReportLine(report, line, 53);
    std::size_t length = formatCountLine(line, "Time Series length: ", totals.sampleCount, overflow);
    writeCheckedLine(report, line, length, overflow);
    length = formatCountLine(line, "Number of outliers: ", totals.outlierCount, overflow);
    writeCheckedLine(report, line, length, overflow);
    length = formatDaysLine(line, totals.days, overflow);
    writeCheckedLine(report, line, length, overflow);
    writeReportLine(report, headers.report, std::strlen(headers.report));

    ReportRows rows;
    const double rowTotals[4] = {totals.Qin, totals.Qout, totals.Qgross, totals.Qnet};
    for (int row = 0; row < 4; ++row) {
        rows.columnCount = rowValues(units, rowTotals[row], totals.days, rows.values[row]);
        length = formatValueRow(line, rowLabels[row], rows.values[row], rows.columnCount);
        writeReportLine(report, line, length);
    }
    // A close that fails may have lost what was written: a refused write.
    if (int error = closeFileHandle(report.file)) raiseRunTimeError(error, reportUnit, report.fullPath);
    return rows;
}
