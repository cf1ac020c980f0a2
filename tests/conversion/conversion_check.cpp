// conversion_check: proves scanPlainNumber, the number conversion of the
// common-row read and of the general read's plain tokens, against
// std::from_chars on random and adversarial tokens.
//
//   conversion_check [COUNT [SEED]]      (COUNT defaults to 1000000)
//
// A token counts as accepted when scanPlainNumber, given a copy of it with
// padding, ends exactly at its end; its twin by 64-bit words
// (scanPlainNumberPortable) must end in the same place with the same bits. Every accepted token must be a plain
// number and give exactly the bits that std::from_chars gives for it, once
// it is written the way from_chars takes it (no leading '+', and the
// exponent written with an e). It may refuse a plain number only when it
// has more than 64 digits, an exponent written with more than 5 digits, or
// lies beyond the double range (from_chars reports it out of range); any
// other refusal is a failure too, as it would send common rows down the
// slow road. Tokens next to the midpoint between two adjacent doubles are
// also checked against the rounding worked out here in exact integer
// arithmetic, so that the proof does not rest on from_chars alone.
//
// Families of tokens: a table of forms and of non-numbers; random plain
// numbers of 1 to 19 digits with exponents from -30 to +30, written with
// every exponent form (E, D or Q in either case, or a bare sign); the
// Clinger boundaries (mantissas near 2^53, exponents near 10^22); exponents
// at the subnormal and overflow ends; and midpoint neighbourhoods with 17 to
// 40 significant digits, from random doubles of every binade.
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "numbers/plain_number.h"

namespace {

// ------------------------------------------------------------ random numbers

// splitmix64: the same sequence from the same seed everywhere.
struct Random {
    std::uint64_t state;
};

std::uint64_t nextRandom(Random& random) {
    std::uint64_t z = (random.state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// A uniform integer in [low, high].
std::int64_t pick(Random& random, std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(nextRandom(random) % static_cast<std::uint64_t>(high - low + 1));
}

char randomDigit(Random& random, char low = '0') { return static_cast<char>(pick(random, low, '9')); }

// ------------------------------------------------------------ the reference grammar

// What a token is, by the plain-number grammar that scanPlainNumber states.
struct Shape {
    bool plain = false;         // sign, digits with at most one point, optional exponent
    int digits = 0;             // every digit of the mantissa, leading zeros included
    int exponentDigits = 0;     // digits of the exponent as written
    std::string forFromChars;   // the token as std::from_chars takes it
};

bool isExponentLetter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q'; }

Shape shapeOf(std::string_view token) {
    Shape shape;
    std::size_t i = 0;
    auto digitAt = [&](std::size_t k) { return k < token.size() && token[k] >= '0' && token[k] <= '9'; };
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        if (token[i] == '-') shape.forFromChars += '-';
        ++i;
    }
    bool point = false;
    for (; i < token.size(); ++i) {
        char c = token[i];
        if (c == '.' && !point) {
            point = true;
        } else if (digitAt(i)) {
            ++shape.digits;
        } else {
            break;
        }
        shape.forFromChars += c;
    }
    if (shape.digits == 0) return shape;
    bool letter = i < token.size() && isExponentLetter(token[i]);
    bool bareSign = i < token.size() && (token[i] == '+' || token[i] == '-');
    if (letter || bareSign) {
        shape.forFromChars += 'e';
        i += letter;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) shape.forFromChars += token[i++];
        if (!digitAt(i)) return shape;
        for (; digitAt(i); ++i) {
            ++shape.exponentDigits;
            shape.forFromChars += token[i];
        }
    }
    shape.plain = i == token.size();
    return shape;
}

// ------------------------------------------------------------ checking one token

enum class Family { forms, notNumbers, randomPlain, clinger, rangeEnds, midpoints };
constexpr int familyCount = 6;
constexpr const char* familyNames[familyCount] = {"forms",
                                                  "not numbers",
                                                  "random plain (1-19 digits, exp -30..30)",
                                                  "Clinger boundaries (2^53, 10^22)",
                                                  "subnormal and overflow ends",
                                                  "midpoint neighbourhoods (17-40 digits)"};

// The double a token must give when it is worked out exactly: none known, a
// value, or beyond the range (from_chars then reports out of range).
struct Exact {
    enum class Kind { unknown, value, outOfRange } kind = Kind::unknown;
    double value = 0.0;
};

struct Tally {
    std::uint64_t tokens[familyCount] = {};
    std::uint64_t accepted[familyCount] = {};
    std::uint64_t failures = 0;
    std::uint64_t refusals = 0;  // of the failures: plain numbers refused (slow, not wrong)
};

std::uint64_t bitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

void reportFailure(Tally& tally, std::string_view token, const char* what, double got, double expected) {
    ++tally.failures;
    if (tally.failures > 20) return;
    std::string line = "FAIL ";
    line += what;
    line += ": \"";
    line += token.substr(0, 200);
    line += token.size() > 200 ? "...\"" : "\"";
    char hex[40];
    line += " got 0x";
    line.append(hex, static_cast<std::size_t>(std::to_chars(hex, hex + sizeof hex, bitsOf(got), 16).ptr - hex));
    line += " expected 0x";
    line.append(hex, static_cast<std::size_t>(std::to_chars(hex, hex + sizeof hex, bitsOf(expected), 16).ptr - hex));
    line += "\n";
    std::fputs(line.c_str(), stdout);
}

void checkToken(Tally& tally, Family family, std::string_view token, Exact exact = {}) {
    int f = static_cast<int>(family);
    ++tally.tokens[f];
    const double untouched = -0x1.2345p-7;  // a refusal must leave the value
    double value = untouched;
    std::string padded(token);
    padded.append(textPadding, '\0');
    const char* end = scanPlainNumber(padded.data(), value);
    bool accepted = end == padded.data() + token.size();
    // The scan by 64-bit words, which processors without SSE2 run, must agree to the bit.
    double twin = untouched;
    if (scanPlainNumberPortable(padded.data(), twin) != end || (end != nullptr && bitsOf(twin) != bitsOf(value)))
        reportFailure(tally, token, "the two scans differ", twin, value);
    if (!accepted) value = untouched;  // a number that ends early is the caller's to judge
    Shape shape = shapeOf(token);

    std::string_view bare = shape.forFromChars;
    double reference = 0.0;
    auto result = std::from_chars(bare.data(), bare.data() + bare.size(), reference);
    bool referenceValid = shape.plain && result.ec == std::errc{} && result.ptr == bare.data() + bare.size();
    bool outOfRange = result.ec == std::errc::result_out_of_range;

    if (shape.plain && exact.kind == Exact::Kind::value && referenceValid && bitsOf(reference) != bitsOf(exact.value))
        reportFailure(tally, token, "std::from_chars against exact rounding", reference, exact.value);
    if (shape.plain && exact.kind == Exact::Kind::outOfRange && !outOfRange)
        reportFailure(tally, token, "std::from_chars in range, exactly beyond it", reference, 0.0);

    if (accepted) {
        ++tally.accepted[f];
        if (!shape.plain) {
            reportFailure(tally, token, "accepted outside the plain form", value, 0.0);
        } else if (!referenceValid) {
            reportFailure(tally, token, "accepted, std::from_chars refuses", value, reference);
        } else if (bitsOf(value) != bitsOf(reference)) {
            reportFailure(tally, token, "different bits", value, reference);
        }
        return;
    }
    if (bitsOf(value) != bitsOf(untouched)) reportFailure(tally, token, "refused but value changed", value, untouched);
    bool mayRefuse = !shape.plain || shape.digits > 64 || shape.exponentDigits > 5 || outOfRange;
    if (!mayRefuse) {
        ++tally.refusals;
        reportFailure(tally, token, "refused a plain number", value, reference);
    }
}

// ------------------------------------------------------------ the table

void checkTable(Tally& tally) {
    static const char* const forms[] = {
        "0",
        "+0",
        "-0",
        "0.0",
        "-0.0",
        "+0.0",
        ".0",
        "-.0",
        "0.",
        "-0.",
        "00000",
        "000.000",
        "-0e5",
        "0e-5",
        "0E+0",
        "0e999",
        "5.",
        ".5",
        "+.5",
        "-5.",
        "+5",
        "-5",
        "1e0",
        "1E+0",
        "1e-0",
        "1e+05",
        "1E05",
        "007",
        "0.007",
        "1234.5678",
        "-1234.5678",
        "1.2345E+03",
        "-1.2345e-03",
        "12.345678",
        "166666.666667",
        "1e22",
        "1e23",
        "1E-22",
        "1e-23",
        "9007199254740992",
        "9007199254740993",
        "9007199254740993e0",
        "9007199254740994",
        "9007199254740995",
        "900719925474099.3",
        "0.9007199254740993e16",
        "9999999999999999999",
        "9999999999999999999e-19",
        "1000000000000000000",
        "4.9406564584124654e-324",
        "5e-324",
        "2.4703282292062328e-324",
        "2.4703282292062327e-324",
        "2.2250738585072014e-308",
        "2.2250738585072011e-308",
        "1.7976931348623157e308",
        "1.7976931348623158e308",
        "1.7976931348623159e308",
        "1e308",
        "1e309",
        "1e-400",
        "1e400",
        "-1e400",
        "0.0000000000000000000000000000001",
        "0000000000000000000000000001.5",
        "1.0000000000000000000",
        "10000000000000000000",
        "1e100000",
        "1e100001",
        "0e100001",
        "1e-100001",
        "123456789012345678e-5",
        "7.2057594037927933e16",
        "1.5",
        "2.5",
        "0.1",
        "0.3",
        "3.0517578125e-5",
        "8.98846567431158e307",
        "1-2",
        "1+5",
        "1.0+5",
        "-2.5-1",
        "1d5",
        "1D-5",
        "1q5",
        "1Q+05",
        "2.0D0",
        "1.2345D+03",
        "-.5d-1",
        "1e00005",
        "1e000005",
        "12345678.1234567",
        "123456789.12345678",
        "1.12345678901234567890123456789012345678901234567890123456789012",
        "1.123456789012345678901234567890123456789012345678901234567890123",
    };
    for (const char* token : forms) checkToken(tally, Family::forms, token);
    static const char* const notNumbers[] = {
        "",    "+",      "-",     ".",     "+.",    "-.",  "e5",   "E5",     ".e1",      "-.E1",  "1e",   "1E",
        "1e+", "1E-",    "1.2.3", "1e5.5", "++1",   "+-1", "--1",  "1D",     "1q+",      "1.0+",  "5-",   "1d-",
        "1-+5", "1E+-5", "1e5e5", "inf",   "-inf",  "nan", "INF",  "NaN(1)", "infinity", "0x1p3", "0x10", "1,5",
        " 1",  "1 ",     "\t1",   "1\r",   "1d5q5", "1..", "1.0.", "1/2",    "3*1.5",    "1-2-3", "1e5+", "(1,2)",
        "T",   ".TRUE.", "1INF",  "#1",    "1#",    "1:",  "1!",   "'1'",    "1e 5",     "1_000",
    };
    for (const char* token : notNumbers) checkToken(tally, Family::notNumbers, token);
}

// ------------------------------------------------------------ random families

// Appends digits of `text` with a decimal point after `point` of them (none
// when point > length), then, when `exponent` is wanted, E or e and it.
void appendNumber(Random& random, std::string& token, std::string_view digits, std::size_t point, bool withExponent,
                  std::int64_t exponent) {
    for (std::size_t i = 0; i <= digits.size(); ++i) {
        if (i == point) token += '.';
        if (i < digits.size()) token += digits[i];
    }
    if (!withExponent) return;
    // E, D or Q in either case, or a bare sign (which then must be written)
    static const char* const markers[] = {"E", "e", "D", "d", "Q", "q", ""};
    const char* marker = markers[pick(random, 0, 6)];
    token += marker;
    if (exponent < 0) {
        token += '-';
    } else if (*marker == '\0' || (nextRandom(random) & 1)) {
        token += '+';
    }
    if (pick(random, 0, 7) == 0) token += '0';  // a leading zero in the exponent
    char text[24];
    std::uint64_t magnitude = static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent);
    token.append(text, static_cast<std::size_t>(std::to_chars(text, text + sizeof text, magnitude).ptr - text));
}

void appendSign(Random& random, std::string& token) {
    switch (pick(random, 0, 3)) {
    case 0:
        token += '-';
        break;
    case 1:
        token += '+';
        break;
    default:
        break;
    }
}

// 1 to 19 digits, leading and trailing zeros, a point anywhere or none, an
// exponent from -30 to +30 or none; now and then all zeros.
void randomPlain(Random& random, Tally& tally, std::string& token) {
    token.clear();
    appendSign(random, token);
    std::string digits(static_cast<std::size_t>(pick(random, 0, 2) == 0 ? pick(random, 1, 3) : 0), '0');
    std::size_t count = static_cast<std::size_t>(pick(random, 1, 19));
    bool zero = pick(random, 0, 49) == 0;
    std::size_t zerosFrom = pick(random, 0, 3) == 0 ? static_cast<std::size_t>(pick(random, 1, 19)) : count;
    for (std::size_t i = 0; i < count; ++i)
        digits += zero || i >= zerosFrom ? '0' : randomDigit(random, i == 0 ? '1' : '0');
    std::size_t point = static_cast<std::size_t>(pick(random, 0, static_cast<std::int64_t>(digits.size()) + 1));
    appendNumber(random, token, digits, point, nextRandom(random) & 1, pick(random, -30, 30));
    checkToken(tally, Family::randomPlain, token);
}

std::string decimalText(std::uint64_t value) {
    char text[24];
    return std::string(text, static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text));
}

// A mantissa next to 2^53, a power of ten or random up to 19 digits, placed
// so that the decimal exponent lies next to +-22 (or anywhere in -30..30).
void clingerBoundary(Random& random, Tally& tally, std::string& token) {
    constexpr std::uint64_t two53 = std::uint64_t{1} << 53;
    std::uint64_t mantissa = 0;
    switch (pick(random, 0, 3)) {
    case 0:
        mantissa = two53 + static_cast<std::uint64_t>(pick(random, -4, 4));
        break;
    case 1: {
        std::uint64_t power = 1;
        for (std::int64_t k = pick(random, 0, 18); k > 0; --k) power *= 10;
        mantissa = power + static_cast<std::uint64_t>(pick(random, -1, 1));
        if (mantissa == 0) mantissa = 1;
        break;
    }
    case 2:
        mantissa = two53 - static_cast<std::uint64_t>(pick(random, 0, 1 << 20));
        break;
    default:
        mantissa = 1 + nextRandom(random) % 9999999999999999999u;
        break;
    }
    std::string digits = decimalText(mantissa);
    std::int64_t total =
        pick(random, 0, 1) ? pick(random, -30, 30) : (pick(random, 0, 1) ? 1 : -1) * pick(random, 20, 24);
    std::size_t point = static_cast<std::size_t>(pick(random, 0, static_cast<std::int64_t>(digits.size()) + 1));
    std::int64_t fraction = point > digits.size() ? 0 : static_cast<std::int64_t>(digits.size() - point);
    token.clear();
    appendSign(random, token);
    appendNumber(random, token, digits, point, true, total + fraction);
    checkToken(tally, Family::clinger, token);
}

// 1 to 19 digits with a decimal exponent where doubles turn subnormal,
// underflow to zero, or overflow.
void rangeEnd(Random& random, Tally& tally, std::string& token) {
    std::string digits;
    std::size_t count = static_cast<std::size_t>(pick(random, 1, 19));
    for (std::size_t i = 0; i < count; ++i) digits += randomDigit(random, i == 0 ? '1' : '0');
    std::int64_t total = pick(random, 0, 1) ? pick(random, -345, -300) : pick(random, 290, 330);
    std::size_t point = static_cast<std::size_t>(pick(random, 0, static_cast<std::int64_t>(digits.size()) + 1));
    std::int64_t fraction = point > digits.size() ? 0 : static_cast<std::int64_t>(digits.size() - point);
    token.clear();
    appendSign(random, token);
    appendNumber(random, token, digits, point, true, total + fraction);
    checkToken(tally, Family::rangeEnds, token);
}

// ------------------------------------------------------------ midpoints

// A nonnegative integer in base 10^9, least significant limb first.
using Big = std::vector<std::uint32_t>;
constexpr std::uint32_t limbBase = 1000000000;

void multiplySmall(Big& big, std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : big) {
        std::uint64_t product = std::uint64_t{limb} * factor + carry;
        limb = static_cast<std::uint32_t>(product % limbBase);
        carry = product / limbBase;
    }
    while (carry > 0) {
        big.push_back(static_cast<std::uint32_t>(carry % limbBase));
        carry /= limbBase;
    }
}

// big times base^count, in steps that keep every product within 64 bits.
void multiplyPower(Big& big, std::uint32_t base, int count) {
    std::uint32_t step = base == 2 ? 1u << 31 : 1220703125u;  // 2^31 or 5^13
    int stepCount = base == 2 ? 31 : 13;
    for (; count >= stepCount; count -= stepCount) multiplySmall(big, step);
    std::uint32_t rest = 1;
    for (; count > 0; --count) rest *= base;
    multiplySmall(big, rest);
}

std::string bigDigits(const Big& big) {
    std::string text = decimalText(big.back());
    for (std::size_t i = big.size() - 1; i-- > 0;) {
        std::string limb = decimalText(big[i]);
        text.append(9 - limb.size(), '0');
        text += limb;
    }
    return text;
}

// The exact decimal of the midpoint above the nonnegative finite double `d`:
// digits without leading zeros, and the power of ten of their last digit.
void midpointDecimal(double d, std::string& digits, std::int64_t& lastPower) {
    std::uint64_t bits = bitsOf(d);
    std::uint64_t fractionBits = bits & ((std::uint64_t{1} << 52) - 1);
    int biased = static_cast<int>(bits >> 52);
    std::uint64_t mantissa = biased == 0 ? fractionBits : fractionBits | (std::uint64_t{1} << 52);
    int binary = (biased == 0 ? 1 : biased) - 1075;  // d = mantissa * 2^binary
    // midpoint = (2 mantissa + 1) * 2^(binary - 1)
    std::uint64_t odd = 2 * mantissa + 1;
    Big big{static_cast<std::uint32_t>(odd % limbBase), static_cast<std::uint32_t>(odd / limbBase % limbBase),
            static_cast<std::uint32_t>(odd / limbBase / limbBase)};
    while (big.size() > 1 && big.back() == 0) big.pop_back();
    int power = binary - 1;
    if (power >= 0) {
        multiplyPower(big, 2, power);
        lastPower = 0;
    } else {
        multiplyPower(big, 5, -power);  // 2^-k = 5^k / 10^k
        lastPower = power;
    }
    digits = bigDigits(big);
    std::size_t end = digits.find_last_not_of('0') + 1;  // an odd numerator: only 2^k times it ends in zeros
    lastPower += static_cast<std::int64_t>(digits.size() - end);
    digits.resize(end);
}

// digits (a decimal integer text) plus one unit in its last place; 99..9
// becomes 100..0, one digit longer, at the same power of its last digit.
std::string incremented(std::string digits) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) return '1' + digits;
    ++digits[i - 1];
    return digits;
}

// digits (nonzero, no leading zero) minus one unit in its last place, without
// the leading zero that 10..0 leaves.
std::string decremented(std::string digits) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '0') digits[--i] = '9';
    --digits[i - 1];
    std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

// Writes digits x 10^lastPower in one of several layouts: positional when the
// point falls near the digits, otherwise d.ddd with an exponent.
void writeDecimal(Random& random, std::string& token, bool negative, std::string_view digits, std::int64_t lastPower) {
    token.clear();
    if (negative) {
        token += '-';
    } else if (pick(random, 0, 5) == 0) {
        token += '+';
    }
    std::int64_t length = static_cast<std::int64_t>(digits.size());
    std::int64_t pointAfter = length + lastPower;  // digits before the point in positional form
    int layout = static_cast<int>(pick(random, 0, 2));
    if (layout == 0 && pointAfter >= -30 && pointAfter <= length + 3) {
        if (pointAfter <= 0) {
            token += pick(random, 0, 1) ? "0." : ".";
            token.append(static_cast<std::size_t>(-pointAfter), '0');
            token += digits;
        } else if (pointAfter >= length) {
            token += digits;
            token.append(static_cast<std::size_t>(pointAfter - length), '0');
            if (pick(random, 0, 1)) token += '.';
        } else {
            appendNumber(random, token, digits, static_cast<std::size_t>(pointAfter), false, 0);
        }
        return;
    }
    std::size_t point = layout == 1 ? 1 : static_cast<std::size_t>(pick(random, 0, length));
    appendNumber(random, token, digits, point, true, pointAfter - static_cast<std::int64_t>(point));
}

Exact exactValue(double value) { return {Exact::Kind::value, value}; }

Exact roundedTo(double value) {
    if (std::isinf(value)) return {Exact::Kind::outOfRange, 0.0};
    return exactValue(value);
}

// The neighbourhood of the midpoint above a random double of a random binade
// (subnormals and the largest included): the midpoint itself when it has at
// most 40 digits, and for 17, 18, 19 and some of 20 to 40 digits the
// truncation (just below) and the truncation plus one unit in its last place
// (just above); a midpoint of fewer digits, padded with zeros, also minus one
// unit.
void midpoints(Random& random, Tally& tally, std::string& token) {
    int binade = static_cast<int>(pick(random, 0, 5) == 0 ? pick(random, -1022, 1023) : pick(random, -80, 140));
    if (pick(random, 0, 40) == 0) binade = pick(random, 0, 1) ? -1022 : 1023;
    double d = 0.0;
    std::uint64_t fraction = nextRandom(random) & ((std::uint64_t{1} << 52) - 1);
    if (binade == -1022 && pick(random, 0, 1)) {
        d = std::bit_cast<double>(fraction >> pick(random, 0, 52));  // a subnormal, or zero
    } else {
        d = std::bit_cast<double>((static_cast<std::uint64_t>(binade + 1023) << 52) | fraction);
    }
    if (pick(random, 0, 60) == 0) d = std::numeric_limits<double>::max();
    double next = std::nextafter(d, std::numeric_limits<double>::infinity());
    bool negative = nextRandom(random) & 1;
    auto sign = [&](double v) { return negative ? -v : v; };
    auto signedExact = [&](Exact e) { return e.kind == Exact::Kind::value ? exactValue(sign(e.value)) : e; };

    std::string digits;
    std::int64_t lastPower = 0;
    midpointDecimal(d, digits, lastPower);
    std::int64_t length = static_cast<std::int64_t>(digits.size());
    // A tie rounds to the even mantissa; a zero result from a nonzero text is out of range.
    Exact tie = (bitsOf(d) & 1) == 0 ? roundedTo(d) : roundedTo(next);
    if (tie.kind == Exact::Kind::value && tie.value == 0.0) tie = {Exact::Kind::outOfRange, 0.0};
    Exact below = d == 0.0 ? Exact{Exact::Kind::outOfRange, 0.0} : roundedTo(d);
    Exact above = roundedTo(next);
    if (length <= 40) {
        writeDecimal(random, token, negative, digits, lastPower);
        checkToken(tally, Family::midpoints, token, signedExact(tie));
    }
    for (std::int64_t n = 17; n <= 40 && n < length + 3; ++n) {
        if (n > 19 && pick(random, 0, 5) != 0) continue;  // 17 to 19 always: they reach std::from_chars
        // Below 18 digits the truncation may fall below d itself: then only from_chars decides.
        bool known = n >= 18;
        std::string cut = digits.substr(0, static_cast<std::size_t>(std::min(n, length)));
        std::int64_t cutPower = lastPower + (length - static_cast<std::int64_t>(cut.size()));
        if (static_cast<std::int64_t>(cut.size()) < n) {
            // The midpoint has fewer digits: pad with zeros so that one unit is small.
            std::int64_t pad = n - static_cast<std::int64_t>(cut.size());
            cut.append(static_cast<std::size_t>(pad), '0');
            cutPower -= pad;
        }
        bool exactCut = n >= length;
        writeDecimal(random, token, negative, cut, cutPower);
        checkToken(tally, Family::midpoints, token, known ? signedExact(exactCut ? tie : below) : Exact{});
        writeDecimal(random, token, negative, incremented(cut), cutPower);
        checkToken(tally, Family::midpoints, token, known ? signedExact(above) : Exact{});
        if (exactCut) {
            writeDecimal(random, token, negative, decremented(cut), cutPower);
            checkToken(tally, Family::midpoints, token, known ? signedExact(below) : Exact{});
        }
    }
}

std::uint64_t totalTokens(const Tally& tally) {
    std::uint64_t total = 0;
    for (std::uint64_t n : tally.tokens) total += n;
    return total;
}

void printSummary(const Tally& tally, double seconds) {
    std::string text;
    for (int f = 0; f < familyCount; ++f) {
        text += "  ";
        text += familyNames[f];
        text += ": ";
        text += decimalText(tally.tokens[f]);
        text += " tokens, ";
        text += decimalText(tally.accepted[f]);
        text += " accepted\n";
    }
    char number[32];
    auto result = std::to_chars(number, number + sizeof number, seconds, std::chars_format::fixed, 1);
    text += decimalText(totalTokens(tally));
    text += " tokens in ";
    text.append(number, static_cast<std::size_t>(result.ptr - number));
    text += " s, ";
    text += decimalText(tally.failures);
    text += " failures (";
    text += decimalText(tally.refusals);
    text += " of them plain numbers refused)\n";
    std::fputs(text.c_str(), stdout);
}

bool parseCount(const char* text, std::uint64_t& value) {
    const char* end = text + std::strlen(text);
    auto result = std::from_chars(text, end, value);
    return result.ec == std::errc{} && result.ptr == end;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t count = 1000000;
    Random random{0xc0ffee};
    if (argc > 3 || (argc > 1 && !parseCount(argv[1], count)) || (argc > 2 && !parseCount(argv[2], random.state))) {
        std::fputs("usage: conversion_check [COUNT [SEED]]\n", stderr);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    Tally tally;
    checkTable(tally);
    std::string token;
    token.reserve(2048);
    while (totalTokens(tally) < count) {
        // A midpoint gives about 14 tokens, the others one each.
        std::int64_t draw = pick(random, 0, 9);
        if (draw < 4) {
            randomPlain(random, tally, token);
        } else if (draw < 7) {
            clingerBoundary(random, tally, token);
        } else if (draw < 9) {
            rangeEnd(random, tally, token);
        } else {
            midpoints(random, tally, token);
        }
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    printSummary(tally, elapsed.count());
    return tally.failures == 0 ? 0 : 1;
}
