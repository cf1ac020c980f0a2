// The common row of a series file, two plain decimal numbers on one line,
// read without the general free-form machinery. Any other row is left to
// readFreeForm, so both ways give the same values.
#include <cstdint>
#include <cstring>

#include "textio/source_buffer.h"
#include "textio/textio.h"

namespace {

bool separatesValues(char c) { return c == ' ' || c == '\t' || c == ','; }

const char* skipSpaces(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace

bool holdLine(RecordSource& source) {
    if (source.lastLineEnd != nullptr && source.pos <= source.lastLineEnd) return true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (char* p = source.end; p > source.pos; --p) {
            if (p[-1] == '\n') {
                source.lastLineEnd = p - 1;
                return true;
            }
        }
        if (attempt == 0 && !refillSource(source, 0)) return false;
    }
    return false;
}

bool convertPlainReal(const char* begin, const char* end, double& value) {
    // The scan reads past the number, so it gets a padded copy.
    char text[56 + textPadding] = {};
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length == 0 || length > 55) return false;
    std::memcpy(text, begin, length);
    double scanned;
    if (scanPlainNumber(text, scanned) != text + length) return false;
    value = scanned;
    return true;
}

std::int64_t readPlainLines(const char* p, const char* last, double* time, double* rate, std::int64_t count,
                            const char*& stop) {
    // Every line up to `last` ends in a line feed, which stops every scan.
    std::int64_t rows = 0;
    for (; rows < count && p <= last; ++rows) {
        p = skipSpaces(p);
        double a, b;
        const char* q = scanPlainNumber(p, a);
        if (q == nullptr || !separatesValues(*q)) break;  // a line end: the rate is on a later line
        q = skipSpaces(q);
        if (*q == ',') q = skipSpaces(q + 1);
        q = scanPlainNumber(q, b);
        if (q == nullptr) break;
        // The rest of the line is never examined.
        if (*q == '\r' && q[1] == '\n') {
            ++q;
        } else if (*q != '\n') {
            if (*q != ' ' && *q != '\t' && *q != ',' && *q != '/') break;
            q = static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(last - q) + 1));
        }
        time[rows] = a;
        rate[rows] = b;
        p = q + 1;
    }
    stop = p;
    return rows;
}

std::int64_t readPlainRows(RecordSource& source, double* time, double* rate, std::int64_t count) {
    std::int64_t rows = 0;
    while (rows < count && source.atRecordStart && holdLine(source)) {
        const char* stop = nullptr;
        rows += readPlainLines(source.pos, source.lastLineEnd, time + rows, rate + rows, count - rows, stop);
        source.pos = const_cast<char*>(stop);
        if (stop <= source.lastLineEnd) break;  // a row in another form, or `count` rows
    }
    source.line += rows;  // a common row is one whole line
    return rows;
}

int readPlainRow(RecordSource& source, double& first, double& second) {
    return readPlainRows(source, &first, &second, 1) == 1 ? readComplete : rowNotPlain;
}
