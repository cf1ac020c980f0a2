// The common row of a series file, two plain decimal numbers on one line,
// read without the general free-form machinery. Any other row is left to
// readFreeForm, so both ways give the same values.
#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "textio/source_buffer.h"
#include "textio/textio.h"

namespace {

// Powers of ten that doubles hold exactly.
constexpr double exactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t exactMantissaLimit = std::uint64_t{1} << 53;

// A correctly rounded result needs IEEE double operations without extended
// precision in between.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not use extended precision");

inline unsigned digitValue(char c) { return static_cast<unsigned char>(c) - unsigned{'0'}; }

// Scans a plain decimal number from `p` on, stopping at the first character
// that cannot continue it; the caller guarantees that such a character comes
// (a line feed at the latest), so no bound is checked. Returns where it
// stopped, or nullptr when the text there is no plain number of at most 19
// significant digits whose value two exact doubles give. Stores the
// correctly rounded value.
const char* scanPlainNumber(const char* p, double& value) {
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    std::uint64_t mantissa = 0;
    const char* digits = p;
    for (unsigned d; (d = digitValue(*p)) <= 9; ++p) mantissa = mantissa * 10 + d;
    std::ptrdiff_t count = p - digits;
    int exponent = 0;
    if (*p == '.') {
        const char* fraction = ++p;
        for (unsigned d; (d = digitValue(*p)) <= 9; ++p) mantissa = mantissa * 10 + d;
        exponent = static_cast<int>(fraction - p);
        count += p - fraction;
    }
    // Leading zeros count here too: such rare numbers take the general read.
    if (count == 0 || count > 19) return nullptr;
    if ((*p | 0x20) == 'e') {
        ++p;
        bool negativeExponent = false;
        if (*p == '-' || *p == '+') negativeExponent = *p++ == '-';
        const char* start = p;
        int written = 0;
        for (unsigned d; (d = digitValue(*p)) <= 9 && p - start < 6; ++p) written = written * 10 + static_cast<int>(d);
        if (p == start || digitValue(*p) <= 9) return nullptr;
        exponent += negativeExponent ? -written : written;
    }
    if (mantissa > exactMantissaLimit || exponent < -22 || exponent > 22) return nullptr;
    // Both operands are exact, so one IEEE operation rounds correctly; a zero
    // mantissa keeps the sign.
    double exact = static_cast<double>(static_cast<std::int64_t>(mantissa));  // exact: below 2^53
    exact = exponent < 0 ? exact / exactPowers[-exponent] : exact * exactPowers[exponent];
    value = negative ? -exact : exact;
    return p;
}

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
    // The scanner needs a character after the number that cannot continue it.
    char text[56];
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length == 0 || length >= sizeof text) return false;  // at most 55 characters
    std::memcpy(text, begin, length);
    text[length] = '\n';
    double scanned;
    const char* stop = scanPlainNumber(text, scanned);
    if (stop == text + length) {
        value = scanned;
        return true;
    }
    if (stop != nullptr) return false;
    // Too many digits or too large an exponent for two exact doubles:
    // std::from_chars, which is correctly rounded, takes no plus sign.
    std::size_t start = text[0] == '+' ? 1 : 0;
    if (start == 1 && (text[1] == '+' || text[1] == '-')) return false;  // a second sign
    for (std::size_t i = start; i < length; ++i) {
        char c = text[i];
        bool allowed = digitValue(c) <= 9 || c == '.' || c == 'e' || c == 'E' ||
                       ((c == '+' || c == '-') && i > start && (text[i - 1] | 0x20) == 'e') || (c == '-' && i == start);
        if (!allowed) return false;
    }
    double converted = 0.0;
    auto result = std::from_chars(text + start, text + length, converted);
    if (result.ec != std::errc{} || result.ptr != text + length)
        return false;  // beyond the range: the general read decides
    value = converted;
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
