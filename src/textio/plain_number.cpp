// Plain decimal numbers, the form nearly every value of a series file takes,
// converted without the general number grammar: the digits are found sixteen
// bytes at a time and turned into an integer eight at a time, and the value
// is formed by one exact IEEE operation where that is correctly rounded.
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "textio/textio.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QSTAT_HAVE_SSE2 1
#endif

// A correctly rounded result needs IEEE double operations without extended
// precision in between.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not use extended precision");

namespace {

constexpr std::uint64_t byteOnes = 0x0101010101010101u;

// Powers of ten that doubles and 64-bit integers hold exactly.
constexpr double exactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t integerPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

constexpr std::uint64_t exactMantissaLimit = std::uint64_t{1} << 53;

// Significant digits that a 64-bit mantissa holds, leading zeros included.
constexpr int mantissaDigitLimit = 19;
// Exponent digits read at most; more go to the general read, which saturates.
constexpr int exponentDigitLimit = 5;
// Characters of a number that the slow path copies for std::from_chars.
constexpr int slowTextLimit = 64;

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

std::uint64_t load8(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

// The value of eight digit values (0..9), the first in the lowest byte:
// pairs, then groups of four, then the eight, each step a multiply-add of
// the neighbours (no step can carry into the next byte or word).
std::uint64_t eightDigitValue(std::uint64_t v) {
    v = v * 10 + (v >> 8);  // 10 d0 + d1 in bytes 0, 2, 4, 6
    constexpr std::uint64_t pairs = 0x000000FF000000FFu;
    v = ((v & pairs) * (100 + (1000000ull << 32)) + ((v >> 16) & pairs) * (1 + (10000ull << 32))) >> 32;
    return v & 0xFFFFFFFFu;
}

// The number formed by the first `n` (0..8) characters of `word`, all digits.
std::uint64_t leadingDigitValue(std::uint64_t word, unsigned n) {
    if (n == 0) return 0;
    // the n digits move to the top bytes, zeros (leading zero digits) below them;
    // a borrow from the bytes after the digits only reaches bytes shifted out
    return eightDigitValue((word - byteOnes * '0') << (8 * (8 - n)));
}

#ifdef QSTAT_HAVE_SSE2
std::uint32_t digitBitsSse2(const char* p) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    // a digit's value is at most 9 as an unsigned byte; every other byte's is more
    __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
    return static_cast<std::uint32_t>(_mm_movemask_epi8(digit));
}
#endif

// Bits of the bytes of `word` that are digits, one bit a byte.
std::uint32_t digitBitsOfWord(std::uint64_t word) {
    std::uint64_t x = word ^ (byteOnes * '0');  // a digit becomes 0..9
    // the high bit of each byte: set when the byte is 10 or more (no carry between bytes)
    std::uint64_t other = (((x & (byteOnes * 0x7F)) + byteOnes * 0x76) | x) & (byteOnes * 0x80);
    std::uint64_t digits = ~other & (byteOnes * 0x80);
    // gather the eight high bits into one byte
    return static_cast<std::uint32_t>(((digits >> 7) * 0x0102040810204080u) >> 56);
}

// The exponent after the mantissa at `p`: a letter E, D or Q in either case
// and an optionally signed integer, or a sign directly followed by digits.
// Adds it to `exponent` and returns the end, or returns `p` when there is no
// exponent and nullptr when the text there is no valid one.
const char* scanExponent(const char* p, int& exponent) {
    char c = *p;
    unsigned letter = static_cast<unsigned char>(c) | 0x20;
    bool named = letter == 'e' || letter == 'd' || letter == 'q';
    if (!named && c != '+' && c != '-') return p;
    if (named) c = *++p;
    bool negative = c == '-';
    p += c == '+' || c == '-';
    const char* digits = p;
    int value = 0;
    for (; isDigit(*p) && p - digits < exponentDigitLimit; ++p) value = value * 10 + (*p - '0');
    if (p == digits || isDigit(*p)) return nullptr;  // no digit, or too many for this path
    exponent += negative ? -value : value;
    return p;
}

// Forms the double of `mantissa` x 10^exponent when one exact operation
// rounds it correctly. False otherwise.
bool exactValue(std::uint64_t mantissa, int exponent, bool negative, double& value) {
    if (mantissa > exactMantissaLimit || exponent < -22 || exponent > 22) return false;
    double exact = static_cast<double>(static_cast<std::int64_t>(mantissa));  // exact: below 2^53
    exact = exponent < 0 ? exact / exactPowers[-exponent] : exact * exactPowers[exponent];
    value = negative ? -exact : exact;  // a zero mantissa keeps the sign
    return true;
}

// The whole grammar of a plain number, one character at a time, for the
// numbers the fast scan leaves: more than eight digits before or after the
// point, or a value beyond the exact operations.
[[gnu::noinline]] const char* scanLongPlainNumber(const char* p, double& value) {
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    // The significant digits, then "e" and the exponent, for std::from_chars.
    char text[slowTextLimit + 16];
    int length = 0;
    int digits = 0;
    int exponent = 0;
    bool point = false;
    std::uint64_t mantissa = 0;
    for (;; ++p) {
        if (isDigit(*p)) {
            if (++digits > slowTextLimit) return nullptr;  // the general read takes numbers of any length
            if (length > 0 || *p != '0') text[length++] = *p;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');  // used only up to 19 digits
            exponent -= point;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return nullptr;
    p = scanExponent(p, exponent);
    if (p == nullptr) return nullptr;
    if (digits <= mantissaDigitLimit && exactValue(mantissa, exponent, negative, value)) return p;
    if (length == 0) {
        value = negative ? -0.0 : 0.0;
        return p;
    }
    text[length++] = 'e';
    char* end = std::to_chars(text + length, text + sizeof text, exponent).ptr;
    double converted = 0.0;
    std::from_chars_result result = std::from_chars(text, end, converted);
    if (result.ec != std::errc{}) return nullptr;  // beyond the double range: the general read decides
    value = negative ? -converted : converted;
    return p;
}

}  // namespace

std::uint32_t plainDigitBitsPortable(const char* p) {
    return digitBitsOfWord(load8(p)) | digitBitsOfWord(load8(p + 8)) << 8;
}

std::uint32_t plainDigitBits(const char* p) {
#ifdef QSTAT_HAVE_SSE2
    return digitBitsSse2(p);
#else
    return plainDigitBitsPortable(p);
#endif
}

const char* scanPlainNumber(const char* p, double& value) {
    const char* start = p;
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    // The integer digits end at the first byte that is no digit, the fraction
    // at the next one after a point; bits 16 and up stand for "no end seen".
    std::uint32_t other = ~plainDigitBits(p);
    unsigned integerDigits = static_cast<unsigned>(std::countr_zero(other));
    unsigned end = integerDigits;
    unsigned fractionDigits = 0;
    if (p[integerDigits] == '.') {
        end = static_cast<unsigned>(std::countr_zero(other & (~1u << integerDigits)));
        fractionDigits = end - integerDigits - 1;
    }
    // A number that may go on past the sixteen bytes seen takes the long way.
    if (integerDigits > 8 || fractionDigits > 8 || end >= 16) return scanLongPlainNumber(start, value);
    if (integerDigits + fractionDigits == 0) return nullptr;  // a lone sign or point
    std::uint64_t mantissa = leadingDigitValue(load8(p), integerDigits) * integerPowers[fractionDigits] +
                             leadingDigitValue(load8(p + integerDigits + 1), fractionDigits);
    int exponent = -static_cast<int>(fractionDigits);
    p = scanExponent(p + end, exponent);
    if (p == nullptr) return nullptr;
    if (!exactValue(mantissa, exponent, negative, value)) return scanLongPlainNumber(start, value);
    return p;
}
