// The common row, two plain numbers on one line, read without the general
// free-form machinery; blank lines between rows are passed over as the
// general read passes over them.
#include <bit>
#include <cstdint>
#include <cstring>

#include "numbers/plain_number.h"
#include "numbers/simd.h"
#include "rows/rows.h"

namespace {

// The first byte from `p` on that is neither a blank nor a tab. Byte by byte:
// the branch that ends the loop is well predicted in columns of numbers, and
// the scan of the number after it can start before the count is known.
const char* skipBlanksAndTabs(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// The line feed that ends the line at `p`; one must come. Thirty-two bytes
// at a time (a row of a series is seldom longer), so that the start of the
// next line is known apart from the reading of this one.
const char* findLineEnd(const char* p) {
#ifdef QSTAT_HAVE_SSE2
    for (;; p += 32) {
        __m128i lineFeed = _mm_set1_epi8('\n');
        auto low = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lineFeed)));
        auto high = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), lineFeed)));
        std::uint32_t ends = low | high << 16;
        if (ends != 0) return p + std::countr_zero(ends);
    }
#else
    while (*p != '\n') ++p;
    return p;
#endif
}

bool separatesValues(char c) { return c == ' ' || c == '\t' || c == ','; }

// After the second value: a character that ends the value and leaves the
// rest of the line unread.
bool endsRow(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

}  // namespace

PlainLines scanPlainLines(const char* p, const char* limit, const char* last, double* time, double* rate,
                          std::int64_t count) {
    PlainLines read;
    for (; p < limit && p <= last && read.rows < count; ++read.lines) {
        const char* lineEnd = findLineEnd(p);
        const char* q = skipBlanksAndTabs(p);
        bool crlf = *q == '\r' && q + 1 == lineEnd;  // a CR before the LF belongs to the line end
        if (q != lineEnd && !crlf) {
            double first, second;
            q = scanPlainNumber(q, first);
            if (q == nullptr || !separatesValues(*q)) break;  // a line end here: the rate is on a later line
            q = skipBlanksAndTabs(q);
            if (*q == ',') q = skipBlanksAndTabs(q + 1);
            q = scanPlainNumber(q, second);
            if (q == nullptr) break;
            if (q != lineEnd && !(*q == '\r' && q + 1 == lineEnd) && !endsRow(*q)) break;
            time[read.rows] = first;
            rate[read.rows] = second;
            ++read.rows;
        }
        p = lineEnd + 1;  // a row, or a blank line
    }
    read.stop = p;
    return read;
}
