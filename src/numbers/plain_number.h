// Plain decimal numbers, the form nearly every value of a series file takes,
// converted without the general number grammar. The scan is inline, for the
// loops that read rows; the numbers it leaves go to scanLongPlainNumber.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "numbers/simd.h"

// Bytes that every text buffer holds beyond its last byte of text, so that a
// scan may read whole words past the end of a number. Their content is
// never taken for text.
constexpr std::size_t textPadding = 64;

// Scans the plain decimal number at `p`: an optional sign, digits with at
// most one decimal point among them (at least one digit), and optionally an
// exponent, a letter E, D or Q in either case with an optionally signed
// integer, or a sign directly followed by digits (1.5+3). Stores the
// correctly rounded double and returns where the number ends, that is the
// first character that cannot continue it, which the caller must judge.
// Returns nullptr, leaving `value`, for any other text and for the numbers
// left to the general read: more than 64 digits, more than five exponent
// digits, or a value beyond the double range. Reads up to 32 bytes past `p`,
// or further over digits.
inline const char* scanPlainNumber(const char* p, double& value);

// The same scan by 64-bit words alone, which every processor runs: the
// scan itself where SSE2 is missing, and a twin to test it against.
inline const char* scanPlainNumberPortable(const char* p, double& value);

// The scan of the numbers that the quick one leaves: more than eight digits
// before or after the point, or a value beyond one exact operation. `p` is
// where the number starts, its sign included.
const char* scanLongPlainNumber(const char* p, double& value);

// ------------------------------------------------------------ the parts

namespace plain {

constexpr std::uint64_t byteOnes = 0x0101010101010101u;

// Powers of ten that doubles hold exactly: up to 10^exactPowerLimit.
constexpr int exactPowerLimit = 22;
constexpr double exactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
static_assert(sizeof exactPowers / sizeof exactPowers[0] == exactPowerLimit + 1);
constexpr std::uint64_t integerPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

constexpr std::uint64_t exactMantissaLimit = std::uint64_t{1} << 53;

// Exponent digits read at most; more go to the general read, which saturates.
constexpr int exponentDigitLimit = 5;

inline bool isDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

inline std::uint64_t load8(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

// What a character after a mantissa starts: 1 an exponent with a letter (E,
// D or Q in either case), 2 one written as a sign alone, 0 no exponent.
struct ExponentStarts {
    unsigned char kind[256];
};
constexpr ExponentStarts exponentStarts() {
    ExponentStarts starts{};
    for (char letter : {'E', 'e', 'D', 'd', 'Q', 'q'}) starts.kind[static_cast<unsigned char>(letter)] = 1;
    starts.kind[static_cast<unsigned char>('+')] = 2;
    starts.kind[static_cast<unsigned char>('-')] = 2;
    return starts;
}
inline constexpr ExponentStarts exponentStart = exponentStarts();

// The exponent after the mantissa at `p`: a letter E, D or Q in either case
// and an optionally signed integer, or a sign directly followed by digits.
// Adds it to `exponent` and returns the end; returns `p` when there is no
// exponent, and nullptr when the text there is no valid one.
inline const char* scanExponent(const char* p, int& exponent) {
    unsigned kind = exponentStart.kind[static_cast<unsigned char>(*p)];
    if (kind == 0) return p;
    p += kind == 1;  // the letter
    char c = *p;
    bool negative = c == '-';
    p += c == '+' || c == '-';
    const char* digits = p;
    int value = 0;
    for (; isDigit(*p) && p - digits < exponentDigitLimit; ++p) value = value * 10 + (*p - '0');
    if (p == digits || isDigit(*p)) return nullptr;  // no digit, or too many for this scan
    exponent += negative ? -value : value;
    return p;
}

// The double of `mantissa` x 10^exponent when one exact operation rounds it
// correctly, with the sign; false otherwise.
inline bool exactValue(std::uint64_t mantissa, int exponent, bool negative, double& value) {
    // an exponent within -exactPowerLimit..exactPowerLimit, in one comparison
    if (mantissa > exactMantissaLimit ||
        static_cast<unsigned>(exponent + exactPowerLimit) > static_cast<unsigned>(2 * exactPowerLimit))
        return false;
    double exact = static_cast<double>(static_cast<std::int64_t>(mantissa));  // exact: at most 2^53
    exact = exponent < 0 ? exact / exactPowers[-exponent] : exact * exactPowers[exponent];
    value = negative ? -exact : exact;  // a zero mantissa keeps the sign
    return true;
}

// The value of eight digit values (0..9), the first in the lowest byte:
// pairs, then groups of four, then the eight, each step a multiply-add of
// the neighbours (no step can carry into the next byte or word).
inline std::uint64_t eightDigitValue(std::uint64_t v) {
    v = v * 10 + (v >> 8);  // 10 d0 + d1 in bytes 0, 2, 4, 6
    constexpr std::uint64_t pairs = 0x000000FF000000FFu;
    v = ((v & pairs) * (100 + (1000000ull << 32)) + ((v >> 16) & pairs) * (1 + (10000ull << 32))) >> 32;
    return v & 0xFFFFFFFFu;
}

// The number formed by the first `n` (0..8) characters of `word`, all digits.
inline std::uint64_t leadingDigitValue(std::uint64_t word, unsigned n) {
    if (n == 0) return 0;
    // the n digits move to the top bytes, zeros (leading zero digits) below them;
    // a borrow from the bytes after the digits only reaches bytes shifted out
    return eightDigitValue((word - byteOnes * '0') << (8 * (8 - n)));
}

// How many of the bytes of `word` are digits before the first that is not.
inline unsigned leadingDigitCount(std::uint64_t word) {
    std::uint64_t x = word ^ (byteOnes * '0');  // a digit becomes 0..9
    // the high bit of each byte: set when the byte is 10 or more (no carry between bytes)
    std::uint64_t other = (((x & (byteOnes * 0x7F)) + byteOnes * 0x76) | x) & (byteOnes * 0x80);
    return other == 0 ? 8 : static_cast<unsigned>(std::countr_zero(other)) / 8;
}

#ifdef QSTAT_HAVE_SSE2
// Masks of the first and of the last k (0..16) bytes: 16 bytes of a ramp.
alignas(32) inline constexpr unsigned char byteRamp[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
};
inline __m128i firstBytes(unsigned k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(byteRamp + 16 - k)); }

// 5^-k modulo 2^64, k = 0..16: a multiple of 5^k is divided by 5^k exactly
// by one multiplication with it.
inline constexpr std::uint64_t inverseFives[17] = {
    0x0000000000000001u, 0xcccccccccccccccdu, 0x8f5c28f5c28f5c29u, 0x1cac083126e978d5u, 0xd288ce703afb7e91u,
    0x5d4e8fb00bcbe61du, 0x790fb65668c26139u, 0xe5032477ae8d46a5u, 0xc767074b22e90e21u, 0x8e47ce423a2e9c6du,
    0x4fa7f60d3ed61f49u, 0x0fee64690c913975u, 0x3662e0e1cf503eb1u, 0xa47a2cf9f6433fbdu, 0x54186f653140a659u,
    0x7738164770402145u, 0xe4a4d1417cd9a041u};

// The value of sixteen digit values (0..9), the first the most significant:
// pairs, groups of four and of eight by multiply-adds of 16-bit lanes.
inline std::uint64_t sixteenDigitValue(__m128i digits) {
    const __m128i zero = _mm_setzero_si128();
    __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), _mm_set1_epi32(0x0001000A)),
                                    _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), _mm_set1_epi32(0x0001000A)));
    __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));
    __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(0x00012710));
    auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
    return (both & 0xFFFFFFFFu) * 100000000u + (both >> 32);
}
#endif

}  // namespace plain

// ------------------------------------------------------------ the scans

#ifdef QSTAT_HAVE_SSE2
inline const char* scanPlainNumber(const char* p, double& value) {
    const char* start = p;
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    // Which of the next sixteen bytes are digits and points. The integer
    // digits end at the first byte that is no digit, the fraction at the
    // next one after a point; bits 16 and up stand for "no end seen".
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
    std::uint32_t other = ~static_cast<std::uint32_t>(_mm_movemask_epi8(digit));
    auto points = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
    auto point = static_cast<unsigned>(std::countr_zero(other));
    unsigned dot = points >> point & 1;
    auto end = static_cast<unsigned>(std::countr_zero(other & ~(dot << point)));
    if (end >= 16) return scanLongPlainNumber(start, value);  // it may go on past the bytes seen
    unsigned count = end - dot;
    if (count == 0) return nullptr;  // a lone sign or point
    // The digits from the first byte on, the point closed up and zeros after
    // them: count digits times 10^(16 - count), which shifts and one exact
    // multiplication by 5^-(16 - count) turn into the mantissa.
    __m128i kept = _mm_and_si128(values, _mm_and_si128(digit, plain::firstBytes(end)));
    __m128i closed = _mm_or_si128(_mm_and_si128(kept, plain::firstBytes(point)),
                                  _mm_srli_si128(_mm_andnot_si128(plain::firstBytes(point), kept), 1));
    unsigned zeros = 16 - count;
    std::uint64_t mantissa = (plain::sixteenDigitValue(closed) >> zeros) * plain::inverseFives[zeros];
    int exponent = static_cast<int>(point + dot) - static_cast<int>(end);  // minus the fraction digits
    p = plain::scanExponent(p + end, exponent);
    if (p == nullptr) return nullptr;
    if (!plain::exactValue(mantissa, exponent, negative, value)) return scanLongPlainNumber(start, value);
    return p;
}
#else
inline const char* scanPlainNumber(const char* p, double& value) { return scanPlainNumberPortable(p, value); }
#endif

inline const char* scanPlainNumberPortable(const char* p, double& value) {
    const char* start = p;
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    std::uint64_t word = plain::load8(p);
    unsigned integerDigits = plain::leadingDigitCount(word);
    unsigned dot = p[integerDigits] == '.';
    std::uint64_t fraction = plain::load8(p + integerDigits + dot);
    unsigned fractionDigits = dot ? plain::leadingDigitCount(fraction) : 0;
    // eight digits may be followed by more: the long way
    if (integerDigits == 8 || fractionDigits == 8) return scanLongPlainNumber(start, value);
    if (integerDigits + fractionDigits == 0) return nullptr;  // a lone sign or point
    std::uint64_t mantissa = plain::leadingDigitValue(word, integerDigits) * plain::integerPowers[fractionDigits] +
                             plain::leadingDigitValue(fraction, fractionDigits);
    int exponent = -static_cast<int>(fractionDigits);
    p = plain::scanExponent(p + integerDigits + dot + fractionDigits, exponent);
    if (p == nullptr) return nullptr;
    if (!plain::exactValue(mantissa, exponent, negative, value)) return scanLongPlainNumber(start, value);
    return p;
}
