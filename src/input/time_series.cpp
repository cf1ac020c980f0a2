// The series reader: `.xys` files (a header, then as many rows as it says)
// and `.txt` files (rows to the end, at most txtRowLimit).
#include "input/time_series.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstring>
#include <string_view>

#include "textio/source_buffer.h"
#include "textio/textio.h"

namespace {

// Appends `text` at `p`, cut at `end`; returns the new end.
char* appendText(char* p, char* end, std::string_view text) {
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(end - p));
    return std::copy_n(text.data(), n, p);  // an empty text may have no data at all
}

// Writes "tarnlib: warning: ", `what` and the number `n` when it is positive,
// `rest`, then ", unit <unit>, file <fileName>" and CR LF to standard error;
// the run goes on. `what` and `rest` are this file's own texts, at most 100
// characters together.
void warnAboutFile(int unit, const char* fileName, std::string_view what, std::int64_t n = 0,
                   std::string_view rest = {}, std::int64_t m = 0) {
    // 18 for "tarnlib: warning: ", 100 for the texts, 2 x 19 digits, 7 + 11
    // for the unit, 7 for ", file ", a name of at most 256, CR LF: 439.
    char line[448];
    assert(what.size() + rest.size() <= 100 && std::strlen(fileName) < messageNameSize);
    char* p = appendText(line, line + sizeof line, "tarnlib: warning: ");
    p = appendText(p, line + sizeof line, what);
    if (n > 0) p = std::to_chars(p, p + 19, n).ptr;
    p = appendText(p, line + sizeof line, rest);
    if (m > 0) p = std::to_chars(p, p + 19, m).ptr;
    p = appendText(p, line + sizeof line, ", unit ");
    p = std::to_chars(p, p + 11, unit).ptr;
    p = appendText(p, line + sizeof line, ", file ");
    p = appendText(p, line + sizeof line, fileName);
    *p++ = '\r';
    *p++ = '\n';
    writeStandardError(line, static_cast<std::size_t>(p - line));
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
    int status = readFreeForm(source, items, catchEnd, true);
    if (status > 0) readErrorStop(status, source.unit, source.name, source.failedLine);
    if (status == readComplete && !warned && source.valueLine > source.firstItemLine) {
        warned = true;
        warnAboutFile(source.unit, source.name, "row ", row, " continues on line ", source.valueLine);
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
void readXysHeader(TimeSeries& series) {
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
    for (;;) {
        for (; source.pos < source.end; ++source.pos) {
            char c = *source.pos;
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return true;
        }
        if (!refillSource(source, 0)) {
            if (source.failed) readErrorStop(errRead, source.unit, source.name, source.line);
            return false;
        }
    }
}

// The end of the rows: a `.txt` series longer than its limit is reported,
// and the file is closed. A read refused anywhere in the series, even of a
// block parsed ahead whose rows were not needed, ends the run in the
// read-error stop.
void endSeries(TimeSeries& series) {
    if (!stopRowReader(series.rows)) readErrorStop(errRead, series.source.unit, series.source.name, series.source.line);
    if (!series.xys) {
        series.count = static_cast<std::int32_t>(series.rowsRead);
        if (series.rowsRead == txtRowLimit && anythingLeft(series.source))
            warnAboutFile(series.source.unit, series.source.name, "series truncated after 100000 rows");
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

TimeSeries openTimeSeries(const char* finput) {
    TimeSeries series;
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
        warnAboutFile(seriesUnit, fullPath,
                      "read as a .txt series, not .xys (the text after the first dot of the path is not exactly xys)");
    OpenResult opened = openFileByName(path, FileUse::reading);
    if (opened.error != 0) raiseRunTimeError(opened.error, seriesUnit, fullPath);
    series.source = fileSource(opened.file, seriesUnit, fullPath);
    if (series.xys) {
        readXysHeader(series);
    } else {
        series.rowLimit = txtRowLimit;
    }
    series.rows = startRowReader(series.source);
    return series;
}

RowSpan readTimeSeries(TimeSeries& series) {
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

void warnTimeGoesBack(const TimeSeries& series, std::int64_t row) {
    warnAboutFile(series.source.unit, series.source.name, "time goes back at row ", row);
}
