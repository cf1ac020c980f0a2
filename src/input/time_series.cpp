// The series reader: `.xys` files (a header, then as many rows as it says)
// and `.txt` files (rows to the end, at most txtRowLimit).
#include "input/time_series.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <string_view>

#include "textio/source_buffer.h"
#include "textio/textio.h"

namespace {

// The largest count whose array of doubles has a size in bytes that fits in 32 bits.
constexpr std::int64_t maxArrayElements = 536870911;

// An open series file and its name for messages.
struct SeriesFile {
    RecordSource source;
    char path[200 + 1];  // the name as used
};

SeriesFile openSeries(const char* finput) {
    SeriesFile series;
    trimmedCopy(finput, 200, series.path);
    char fullPath[messageNameSize];
    fullPathForMessage(series.path, fullPath, sizeof fullPath);
    OpenResult opened = openFileByName(series.path, FileUse::reading);
    if (opened.error != 0) raiseRunTimeError(opened.error, seriesUnit, fullPath);
    series.source = fileSource(opened.file, seriesUnit, fullPath);
    return series;
}

// An array of `count` doubles, left uninitialised so that pages are touched
// only as rows arrive. The system is asked for large pages, which it provides
// at a fraction of the cost of small ones when a long series fills them. A
// failure is run-time error 179 or 41.
std::unique_ptr<double[]> allocateSamples(std::int64_t count) {
    if (count > maxArrayElements) raiseRunTimeError(errArraySize, 0, "");
    double* data = new (std::nothrow) double[static_cast<std::size_t>(count)];
    if (data == nullptr) raiseRunTimeError(errMemory, 0, "");
    adviseLargePages(data, static_cast<std::size_t>(count) * sizeof(double));
    return std::unique_ptr<double[]>(data);
}

// Appends `text` at `p`, cut at `end`; returns the new end.
char* appendText(char* p, char* end, std::string_view text) {
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(end - p));
    std::memcpy(p, text.data(), n);
    return p + n;
}

// Writes "tarnlib: warning: ", `what` and the number `n` when it is positive,
// `rest`, then ", unit 22, file <path>" and CR LF to standard error; the run
// goes on.
void warnAboutSeries(const RecordSource& source, std::string_view what, std::int64_t n = 0,
                     std::string_view rest = {}, std::int64_t m = 0) {
    char line[messageLineSize];
    char* end = line + sizeof line - 24;  // room for two numbers and CR LF
    char* p = appendText(line, end, "tarnlib: warning: ");
    p = appendText(p, end, what);
    if (n > 0) p = std::to_chars(p, p + 20, n).ptr;
    p = appendText(p, end, rest);
    if (m > 0) p = std::to_chars(p, p + 20, m).ptr;
    p = appendText(p, end, ", unit ");
    p = std::to_chars(p, p + 12, source.unit).ptr;
    p = appendText(p, end, ", file ");
    p = appendText(p, end, source.name);
    *p++ = '\r';
    *p++ = '\n';
    writeStandardError(line, static_cast<std::size_t>(p - line));
}

// Reads row `row` (counted from 1) of two doubles by the general read. A value
// that the row leaves unset (a slash, a null) is 0.0. A failure other than
// the end of the file ends the run in the read-error stop. The first row of a
// run that takes its second value from a later line than its first (an empty
// last cell, say, which shifts every later row) is reported once.
int readRow(RecordSource& source, std::int64_t row, double& time, double& rate, bool catchEnd, bool& warned) {
    time = 0.0;
    rate = 0.0;
    const ReadItem items[] = {realItem(time), realItem(rate)};
    int status = readFreeForm(source, items, catchEnd, true);
    if (status > 0) readErrorStop(status, source);
    if (status == readComplete && !warned && source.valueLine > source.firstItemLine) {
        warned = true;
        warnAboutSeries(source, "row ", row, " continues on line ", source.valueLine);
    }
    return status;
}

void readXys(RecordSource& source, TimeSeries& series) {
    char kind[3];
    std::int32_t version = 0;
    std::int32_t count = 0;
    std::memset(kind, ' ', sizeof kind);
    std::memset(series.name, ' ', sizeof series.name);
    const ReadItem header[] = {textItem(kind, sizeof kind), integerItem(version), integerItem(count),
                               textItem(series.name, sizeof series.name)};
    readFreeForm(source, header, false, false);
    std::int64_t n = count > 0 ? count : 0;
    series.time = allocateSamples(n);
    series.rate = allocateSamples(n);
    series.count = count;
    double* time = series.time.get();
    double* rate = series.rate.get();
    RowPartner partner;
    bool warned = false;
    for (std::int64_t i = 0; i < n;) {
        i += readPlainRowsInPairs(source, partner, time + i, rate + i, n - i);
        if (i == n) break;
        readRow(source, i + 1, time[i], rate[i], false, warned);
        ++i;
    }
}

// True when anything but blanks, tabs and line ends is left in the source.
bool anythingLeft(RecordSource& source) {
    for (;;) {
        for (; source.pos < source.end; ++source.pos) {
            char c = *source.pos;
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return true;
        }
        if (!refillSource(source, 0)) return false;
    }
}

void readTxt(SeriesFile& file, TimeSeries& series) {
    // Rows go into fixed temporaries first, as the count is known only at the end.
    std::unique_ptr<double[]> time = allocateSamples(txtRowLimit);
    std::unique_ptr<double[]> rate = allocateSamples(txtRowLimit);
    RowPartner partner;
    bool warned = false;
    std::int32_t n = 0;
    while (n < txtRowLimit) {
        n += static_cast<std::int32_t>(
            readPlainRowsInPairs(file.source, partner, time.get() + n, rate.get() + n, txtRowLimit - n));
        if (n == txtRowLimit) break;
        if (readRow(file.source, n + 1, time.get()[n], rate.get()[n], true, warned) == readEnd) break;
        ++n;
    }
    if (n == txtRowLimit && anythingLeft(file.source)) warnAboutSeries(file.source, "series truncated after 100000 rows");
    std::memset(series.name, ' ', sizeof series.name);
    series.count = n;
    series.time = allocateSamples(n);
    series.rate = allocateSamples(n);
    std::memcpy(series.time.get(), time.get(), static_cast<std::size_t>(n) * sizeof(double));
    std::memcpy(series.rate.get(), rate.get(), static_cast<std::size_t>(n) * sizeof(double));
}

}  // namespace

bool isXysName(const char* finput, std::size_t length) {
    std::size_t end = trimmedLength(finput, length);
    const void* dot = std::memchr(finput, '.', end);
    std::size_t start = dot ? static_cast<std::size_t>(static_cast<const char*>(dot) - finput) + 1 : 0;
    return end - start == 3 && std::memcmp(finput + start, "xys", 3) == 0;
}

TimeSeries readTimeSeries(const char* finput) {
    TimeSeries series;
    SeriesFile file = openSeries(finput);
    if (isXysName(finput, 200)) {
        readXys(file.source, series);
    } else {
        readTxt(file, series);
    }
    closeFileHandle(file.source.file);
    return series;
}
