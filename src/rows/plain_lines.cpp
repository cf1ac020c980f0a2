// The common row, two plain numbers on one line, read without the general
// free-form machinery; blank lines between rows are passed over as the
// general read passes over them.
#include <bit>
#include <cstring>

#include "rows/rows.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QSTAT_HAVE_SSE2 1
#endif

namespace {

// The first byte from `p` on that is neither a blank nor a tab. Reads
// sixteen bytes at a time; a line feed or the padding stops it.
const char* skipBlanks(const char* p) {
#ifdef QSTAT_HAVE_SSE2
    for (;; p += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
        auto blanks = static_cast<unsigned>(_mm_movemask_epi8(blank));
        if (blanks != 0xFFFF) return p + std::countr_zero(~blanks);
    }
#else
    while (*p == ' ' || *p == '\t') ++p;
    return p;
#endif
}

bool separatesValues(char c) { return c == ' ' || c == '\t' || c == ','; }

// After the second value: the line end, or a character that ends the value
// and leaves the rest of the line unread.
bool endsRow(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

}  // namespace

PlainLines scanPlainLines(const char* p, const char* limit, const char* last, double* time, double* rate,
                          std::int64_t count) {
    PlainLines read;
    for (; p < limit && p <= last && read.rows < count; ++read.lines) {
        const char* q = skipBlanks(p);
        if (*q == '\n' || (*q == '\r' && q[1] == '\n')) {  // a blank line
            p = q + (*q == '\r') + 1;
            continue;
        }
        double first, second;
        q = scanPlainNumber(q, first);
        if (q == nullptr || !separatesValues(*q)) break;  // a line end here: the rate is on a later line
        q = skipBlanks(q);
        if (*q == ',') q = skipBlanks(q + 1);
        q = scanPlainNumber(q, second);
        if (q == nullptr) break;
        if (*q == '\r' && q[1] == '\n') {
            ++q;
        } else if (*q != '\n') {
            if (!endsRow(*q)) break;
            q = static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(last - q) + 1));
        }
        time[read.rows] = first;
        rate[read.rows] = second;
        ++read.rows;
        p = q + 1;
    }
    read.stop = p;
    return read;
}
