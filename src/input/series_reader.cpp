// The series reader: `.xys` files (a header, then as many rows as it says)
// and `.txt` files (rows to the end, at most txtRowLimit).
#include "input/series_reader.h"

#include <cstring>

#include "pause/pause.h"
#include "stops/stops.h"
#include "textio/free_form.h"
#include "textio/text_fields.h"

namespace {

// Warns on standard error about the series file `fileName`: `pattern` with
// %r standing for `row` and %l for `line`. The run goes on.
void warnAboutSeries(int unit, const char* fileName, const char* pattern, std::int64_t row = 0, std::int64_t line = 0) {
    char rowText[decimalTextSize];
    char lineText[decimalTextSize];
    const Substitution numbers[] = {{'r', decimalText(rowText, row)}, {'l', decimalText(lineText, line)}};
    // The longest pattern, the kind warning, has 93 characters; "row %r
    // continues on line %l" with two numbers of 19 digits has 61.
    char text[100 + 1];
    std::size_t n = substitute(text, sizeof text - 1, pattern, numbers);
    text[n] = '\0';
    writeWarning(text, unit, fileName);
}

// Reads row `row` (counted from 1) of two doubles by the general read. A value
// that the row leaves unset (a slash, a null) is 0.0. A failure other than
// the end of the file ends the run in the read-error stop. The first row of a
// run that takes its second value from a later line than its first (an empty
// last cell, say, which takes the next line's time for its rate) is
// reported once.
int readRow(RecordSource& source, std::int64_t row, double& time, double& rate, bool catchEnd, bool& warned) {
    time = 0.0;
    rate = 0.0;
    const ReadItem items[] = {realItem(time), realItem(rate)};
    ReadLines lines;
    int status = readFreeForm(source, items, catchEnd, true, &lines);
    if (status > 0) readErrorStop(status, source.unit, source.name, lines.failure);
    if (status == readComplete && !warned && lines.lastValue > lines.firstItem) {
        warned = true;
        warnAboutSeries(source.unit, source.name, "row %r continues on line %l", row, lines.lastValue);
    }
    return status;
}

// True when the file's own name in `path`, the text after its last slash or
// backslash, ends in ".xys" in any mix of case.
bool ownNameEndsInXys(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    std::size_t n = std::strlen(name);
    if (n < 4 || name[n - 4] != '.') return false;
    for (std::size_t i = 0; i < 3; ++i)
        if ((name[n - 3 + i] | 0x20) != "xys"[i]) return false;
    return true;
}

// Reads the header of an `.xys` series: a word, an integer, the row count
// and the name. A count too large is run-time error 179, before any row.
void readXysHeader(SeriesReader& series) {
    char kind[3];
    std::int32_t version = 0;
    std::int32_t count = 0;
    std::memset(kind, ' ', sizeof kind);
    const ReadItem header[] = {textItem(kind, sizeof kind), integerItem(version), integerItem(count),
                               textItem(series.name, sizeof series.name)};
    readFreeForm(series.source, header, false, false);
    if (count > xysRowLimit) raiseRunTimeError(errArraySize, 0, "");
    series.count = count;
    series.rowLimit = count > 0 ? count : 0;
}

// True when anything but blanks, tabs and line ends is left in the source.
// A refused read ends the run in the read-error stop.
bool anythingLeft(RecordSource& source) {
    if (skipToText(source) >= 0) return true;
    if (source.failed) readErrorStop(errRead, source.unit, source.name, source.line);
    return false;
}

// The end of the rows: a `.txt` series longer than its limit is reported,
// and the file is closed. A read refused anywhere in the series, even of a
// block parsed ahead whose rows were not needed, ends the run in the
// read-error stop.
void endSeries(SeriesReader& series) {
    if (!stopRowReader(series.rows)) readErrorStop(errRead, series.source.unit, series.source.name, series.source.line);
    if (!series.xys) {
        series.count = static_cast<std::int32_t>(series.rowsRead);
        if (series.rowsRead == txtRowLimit && anythingLeft(series.source))
            warnAboutSeries(series.source.unit, series.source.name, "series truncated after 100000 rows");
    }
    series.rows.reset();
    closeFileHandle(series.source.file);
    series.ended = true;
}

}  // namespace

bool isXysName(const char* finput, std::size_t length) {
    std::size_t end = trimmedLength(finput, length);
    const void* dot = std::memchr(finput, '.', end);
    std::size_t start = dot ? static_cast<std::size_t>(static_cast<const char*>(dot) - finput) + 1 : 0;
    return end - start == 3 && std::memcmp(finput + start, "xys", 3) == 0;
}

SeriesReader openSeries(const char* finput, const ReadTuning& tuning) {
    SeriesReader series;
    std::memset(series.name, ' ', sizeof series.name);
    char path[pathLength + 1];  // the name as used
    trimmedCopy(finput, pathLength, path);
    char fullPath[messageNameSize];
    fullPathForMessage(path, fullPath, sizeof fullPath);
    series.xys = isXysName(finput, pathLength);
    // The kind goes by the first dot of the whole path, which a dot in a
    // directory's name or a leading ./ or a capital XYS defeats: say so
    // before the header line fails as a row.
    if (!series.xys && ownNameEndsInXys(path))
        warnAboutSeries(seriesUnit, fullPath,
                        "read as a .txt series, not .xys (the text after the first dot of the path is not exactly xys)");
    OpenResult opened = openFileByName(path, FileUse::reading);
    if (opened.error != 0) raiseRunTimeError(opened.error, seriesUnit, fullPath);
    series.source = fileSource(opened.file, seriesUnit, fullPath, tuning.bufferBytes);
    if (series.xys) {
        readXysHeader(series);
    } else {
        series.rowLimit = txtRowLimit;
    }
    series.rows = startRowReader(series.source, tuning.blockBytes, tuning.threads);
    return series;
}

RowSpan readSeriesRows(SeriesReader& series) {
    if (series.ended) return {};
    std::int64_t left = series.rowLimit - series.rowsRead;
    if (left > 0) {
        RowSpan rows = readPlainRows(series.rows, series.source, left);
        if (rows.count == 0) {
            // A row in another form: an `.xys` series must hold it (error 24 if not).
            if (readRow(series.source, series.rowsRead + 1, series.time, series.rate, !series.xys,
                        series.spillReported) == readComplete)
                rows = {&series.time, &series.rate, 1};
        }
        series.rowsRead += rows.count;
        if (rows.count > 0) return rows;
    }
    endSeries(series);
    return {};
}

void warnTimeGoesBack(const SeriesReader& series, std::int64_t row) {
    warnAboutSeries(series.source.unit, series.source.name, "time goes back at row %r", row);
}
