// The statistics report file: nine fixed-layout lines, created or replaced.
#include <cassert>
#include <cstring>
#include <span>

#include "report/report.h"
#include "report/report_lines.h"
#include "stats/stats.h"
#include "platform/platform.h"
#include "stops/stops.h"
#include "textio/text_fields.h"

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
    assert(length <= lineCapacity);
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

void writeReport(const char* foutput, const char* name, const FluxTotals& totals, const ReportRows& rows,
                 const UnitSet& units, const ReportHeaders& headers) {
    [[maybe_unused]] const std::size_t allColumns[maxColumns] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    assert(showsLabels(headers.report, units, std::span(allColumns, units.columns.size())) &&
           rows.columnCount == units.columns.size());
    ReportFile report;
    char path[pathLength + 1];
    trimmedCopy(foutput, pathLength, path);
    fullPathForMessage(path, report.fullPath, sizeof report.fullPath);
    OpenResult opened = openFileByName(path, FileUse::writing);
    if (opened.error != 0) raiseRunTimeError(opened.error, reportUnit, report.fullPath);
    report.file = opened.file;
    report.readOnly = opened.readOnly;

    // line 1: the label, then the name as it stands (53 characters)
    char line[lineCapacity];
    static_assert(sizeof nameLabel - 1 + seriesNameLength <= lineCapacity);
    std::memcpy(line, nameLabel, sizeof nameLabel - 1);
    std::memcpy(line + sizeof nameLabel - 1, name, seriesNameLength);
    writeReportLine(report, line, sizeof nameLabel - 1 + seriesNameLength);
    FixedLine series[3];
    formatSeriesLines(totals, series);
    for (const FixedLine& counted : series) writeCheckedLine(report, counted.text, counted.length, counted.overflow);
    writeReportLine(report, headers.report, std::strlen(headers.report));
    for (int row = 0; row < 4; ++row)
        writeReportLine(report, line, formatValueRow(line, rowLabels[row], rows.values[row], units.columns.size()));
    // A close that fails may have lost what was written: a refused write.
    if (int error = closeFileHandle(report.file)) raiseRunTimeError(error, reportUnit, report.fullPath);
}
