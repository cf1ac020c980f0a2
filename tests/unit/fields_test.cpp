// Tests of the numeric field kinds I6, F10.3 and E12.4: tables at the
// boundaries, and a randomised comparison with an exact reference built on
// big-integer decimal expansions.

#include "report/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double maxDouble = 0x1.fffffffffffffp+1023;

// The field a renderer wrote, checking that it wrote nothing past the width.
std::string renderedI6(std::int32_t value, bool& fits)
{
    char buffer[i6Width + 1];
    buffer[i6Width] = '#';
    fits = renderI6(buffer, value);
    EXPECT_EQ(buffer[i6Width], '#');
    return std::string(buffer, i6Width);
}

std::string renderedF103(double value, bool& fits)
{
    char buffer[f103Width + 1];
    buffer[f103Width] = '#';
    fits = renderF103(buffer, value);
    EXPECT_EQ(buffer[f103Width], '#');
    return std::string(buffer, f103Width);
}

std::string renderedE124(double value)
{
    char buffer[e124Width + 1];
    buffer[e124Width] = '#';
    renderE124(buffer, value);
    EXPECT_EQ(buffer[e124Width], '#');
    return std::string(buffer, e124Width);
}

struct I6Case {
    std::int32_t value;
    const char* text;
};

TEST(RenderI6, DigitsRightAlignedAsterisksBeyondSixCharacters)
{
    const I6Case cases[] = {
        {0, "     0"},        {3, "     3"},        {-1, "    -1"},
        {999999, "999999"},   {1000000, "******"},  {-99999, "-99999"},
        {-100000, "******"},  {INT32_MAX, "******"}, {INT32_MIN, "******"},
    };
    for (const I6Case& c : cases) {
        bool fits = false;
        EXPECT_EQ(renderedI6(c.value, fits), c.text) << c.value;
        EXPECT_EQ(fits, c.text[0] != '*') << c.value;
    }
}

struct DoubleCase {
    double value;
    const char* text;
};

TEST(RenderF103, RoundsExactlyTiesToEven)
{
    const DoubleCase cases[] = {
        {0x1.5555555555555p-4, "     0.083"},  // 2 hours in days
        {0.0, "     0.000"},
        {-0.0, "     0.000"},
        {-0.0001, "    -0.000"},
        {-0x1p-1074, "    -0.000"},
        {0x1p-1074, "     0.000"},
        {0.0625, "     0.062"},   // exact ties
        {0.1875, "     0.188"},
        {-2.0625, "    -2.062"},
        {-0.5, "    -0.500"},
        {-99999.9375, "-99999.938"},
        {999999.9375, "999999.938"},
        // 0.0005 lies 0.904 ulp above the first, so the double nearest it rounds up
        {0x1.0624dd2f1a9fbp-11, "     0.000"},
        {0x1.0624dd2f1a9fcp-11, "     0.001"},
        {nan, "       NaN"},
        {-nan, "       NaN"},
        {inf, "  Infinity"},
        {-inf, " -Infinity"},
    };
    for (const DoubleCase& c : cases) {
        bool fits = false;
        EXPECT_EQ(renderedF103(c.value, fits), c.text) << c.value;
        EXPECT_TRUE(fits) << c.value;
    }
}

TEST(RenderF103, OverflowAtTheRoundedTextLength)
{
    // 999999.9995 lies 0.704 ulp above 0x1.e847fffbe76c8p+19 and -99999.9995
    // 0.632 ulp beyond -0x1.869fffdf3b645p+16, so the doubles nearest to them
    // round away from zero and overflow.
    const DoubleCase cases[] = {
        {0x1.e847fffbe76c8p+19, "999999.999"},
        {0x1.e847fffbe76c9p+19, "**********"},
        {1000000.0, "**********"},
        {-0x1.869fffdf3b645p+16, "-99999.999"},
        {-0x1.869fffdf3b646p+16, "**********"},
        {-100000.0, "**********"},
        {0x1.312cfffffffffp+23, "**********"},  // just below 1e7
        {1e7, "**********"},
        {maxDouble, "**********"},
        {-maxDouble, "**********"},
    };
    for (const DoubleCase& c : cases) {
        bool fits = false;
        EXPECT_EQ(renderedF103(c.value, fits), c.text) << c.value;
        EXPECT_EQ(fits, c.text[0] != '*') << c.value;
    }
}

TEST(RenderE124, MantissaAndExponentForms)
{
    const DoubleCase cases[] = {
        {3600.0, "  0.3600E+04"},
        {-7200.0, " -0.7200E+04"},
        {0.0, "  0.0000E+00"},
        {-0.0, "  0.0000E+00"},
        {0.5, "  0.5000E+00"},
        {2.0625, "  0.2062E+01"},  // exact ties
        {2.1875, "  0.2188E+01"},
        {12345.0, "  0.1234E+05"},
        {-12355.0, " -0.1236E+05"},
        {99985.0, "  0.9998E+05"},
        {99995.0, "  0.1000E+06"},  // tie carried to the next power of ten
        {0.99996, "  0.1000E+01"},
        {9.9994e98, "  0.9999E+99"},
        {9.99996e98, "  0.1000+100"},
        {1e100, "  0.1000+101"},
        {1e101, "  0.1000+102"},
        {1e-100, "  0.1000E-99"},
        {9.99996e-101, "  0.1000E-99"},
        {-9.9994e-101, " -0.9999-100"},
        {-2.5e-101, " -0.2500-100"},
        {maxDouble, "  0.1798+309"},
        {-maxDouble, " -0.1798+309"},
        {0x1p-1074, "  0.4941-323"},
        {0x0.fffffffffffffp-1022, "  0.2225-307"},
        {nan, "         NaN"},
        {-nan, "         NaN"},
        {inf, "    Infinity"},
        {-inf, "   -Infinity"},
    };
    for (const DoubleCase& c : cases)
        EXPECT_EQ(renderedE124(c.value), c.text) << c.value;
}

// The report rows of the series t = (0, 1, 2) hours, q = (2, 0, -4), with
// the volume columns: total, yd3, ft3, each total and per day and per year.
TEST(RenderE124, VolumeReportRowsOfThreeSampleSeries)
{
    const double yd3 = 1.3079509735107422, ft3 = 35.31467056274414;
    const double yd3Year = 477.4021053314209, ft3Year = 12889.854755401611;
    const double days = 2.0 / 24.0;
    struct Row {
        double total;
        const char* texts[9];
    };
    const Row rows[] = {
        {3600.0, {"0.3600E+04", "0.4709E+04", "0.1271E+06", "0.4320E+05", "0.5650E+05",
                  "0.1526E+07", "0.1577E+08", "0.2062E+08", "0.5568E+09"}},
        {-7200.0, {"-0.7200E+04", "-0.9417E+04", "-0.2543E+06", "-0.8640E+05", "-0.1130E+06",
                   "-0.3051E+07", "-0.3154E+08", "-0.4125E+08", "-0.1114E+10"}},
        {10800.0, {"0.1080E+05", "0.1413E+05", "0.3814E+06", "0.1296E+06", "0.1695E+06",
                   "0.4577E+07", "0.4730E+08", "0.6187E+08", "0.1671E+10"}},
    };
    for (const Row& row : rows) {
        const double x = row.total;
        const double values[9] = {x,        x * yd3,         x * ft3,          x / days,
                                  x * yd3 / days, x * ft3 / days, x * 365.0 / days,
                                  x * yd3Year / days, x * ft3Year / days};
        for (int k = 0; k < 9; ++k) {
            std::string expected = std::string(row.texts[k][0] == '-' ? " " : "  ") + row.texts[k];
            EXPECT_EQ(renderedE124(values[k]), expected) << x << " column " << k + 1;
        }
    }
}

// ---- Exact reference -------------------------------------------------------

// A nonnegative big integer in base 10^9, least significant limb first.
using Limbs = std::vector<std::uint32_t>;
constexpr std::uint64_t limbBase = 1000000000;

void multiplySmall(Limbs& a, std::uint32_t factor)
{
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : a) {
        std::uint64_t product = std::uint64_t{limb} * factor + carry;
        limb = static_cast<std::uint32_t>(product % limbBase);
        carry = product / limbBase;
    }
    if (carry != 0)
        a.push_back(static_cast<std::uint32_t>(carry));
}

// result = a * m for m < 2^53, split as m1 * 10^9 + m0 with m1 < 9.1e6.
void multiplyWide(const Limbs& a, std::uint64_t m, Limbs& result)
{
    const std::uint64_t m0 = m % limbBase, m1 = m / limbBase;
    result.assign(a.size() + 2, 0);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < result.size(); ++i) {
        std::uint64_t low = i < a.size() ? a[i] : 0;
        std::uint64_t high = i >= 1 && i - 1 < a.size() ? a[i - 1] : 0;
        std::uint64_t sum = carry + low * m0 + high * m1;  // < 1.01e18
        result[i] = static_cast<std::uint32_t>(sum % limbBase);
        carry = sum / limbBase;
    }
    while (result.size() > 1 && result.back() == 0)
        result.pop_back();
}

// 5^k for k up to 1074 and 2^k for k up to 971: a double m * 2^e is
// m * 2^e for e >= 0 and m * 5^-e / 10^-e otherwise.
struct PowerTables {
    std::vector<Limbs> five;
    std::vector<Limbs> two;
};

PowerTables buildPowerTables()
{
    PowerTables tables;
    Limbs power{1};
    for (int k = 0; k <= 1074; ++k, multiplySmall(power, 5))
        tables.five.push_back(power);
    power = Limbs{1};
    for (int k = 0; k <= 971; ++k, multiplySmall(power, 2))
        tables.two.push_back(power);
    return tables;
}

// A finite nonzero double as 0.d1d2...dn... * 10^point: its leading
// significant digits (at most 20, the last not 0) and whether any nonzero
// digit follows them.
struct Expansion {
    bool negative = false;
    char digits[32];  // the top limb and up to three more: 28
    int count = 0;
    bool tail = false;
    int point = 0;
};

constexpr int leadingDigits = 20;

void expand(double value, const PowerTables& tables, Limbs& scratch, Expansion& x)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const int biased = static_cast<int>(bits >> 52 & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int e = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0)
        m |= std::uint64_t{1} << 52;
    while (e < 0 && m % 2 == 0) {
        m /= 2;
        ++e;
    }
    multiplyWide(e >= 0 ? tables.two[static_cast<std::size_t>(e)]
                        : tables.five[static_cast<std::size_t>(-e)],
                 m, scratch);
    x.negative = bits >> 63 != 0;
    // The top limb without its leading zeros, then up to two full limbs.
    x.count = 0;
    char group[9];
    int groupLength = 0;
    for (std::uint32_t top = scratch.back(); top != 0; top /= 10)
        group[groupLength++] = static_cast<char>('0' + top % 10);
    while (groupLength > 0)
        x.digits[x.count++] = group[--groupLength];
    x.point = x.count + 9 * static_cast<int>(scratch.size() - 1) - (e < 0 ? -e : 0);
    std::size_t next = scratch.size() - 1;
    for (; next > 0 && x.count < leadingDigits; x.count += 9) {
        std::uint32_t limb = scratch[--next];
        for (int j = 8; j >= 0; --j, limb /= 10)
            x.digits[x.count + j] = static_cast<char>('0' + limb % 10);
    }
    x.tail = false;
    for (; x.count > leadingDigits; --x.count)
        x.tail = x.tail || x.digits[x.count - 1] != '0';
    while (next > 0 && !x.tail)
        x.tail = scratch[--next] != 0;
    while (x.digits[x.count - 1] == '0')
        --x.count;
}

// The first `keep` digits of the expansion as an integer, rounded to nearest
// with ties to even (keep < 20; keep < 0 keeps nothing of a value < 0.1).
std::uint64_t roundedLeading(const Expansion& x, int keep)
{
    if (keep < 0)
        return 0;
    std::uint64_t kept = 0;
    for (int i = 0; i < keep; ++i)
        kept = kept * 10 + static_cast<std::uint64_t>(i < x.count ? x.digits[i] - '0' : 0);
    if (keep >= x.count)
        return kept;  // what follows starts with a 0 even when a tail is there
    const int next = x.digits[keep] - '0';
    const bool tie = next == 5 && x.count == keep + 1 && !x.tail;
    if (next > 5 || (next == 5 && !tie) || (tie && kept % 2 == 1))
        ++kept;
    return kept;
}

// A short text under construction, kept off the heap for speed.
struct Text {
    char chars[24];
    std::size_t length = 0;
};

void append(Text& text, std::string_view piece)
{
    for (char c : piece)
        text.chars[text.length++] = c;
}

void appendDigits(Text& text, std::uint64_t n, int minimumLength)
{
    char reversed[20];
    int count = 0;
    for (; n != 0 || count < minimumLength; n /= 10)
        reversed[count++] = static_cast<char>('0' + n % 10);
    while (count > 0)
        text.chars[text.length++] = reversed[--count];
}

// `text` right-aligned in the `width` characters at `field`, or asterisks
// when it is longer.
void putField(char* field, std::size_t width, const Text& text)
{
    if (text.length > width) {
        std::fill(field, field + width, '*');
        return;
    }
    std::fill(field, field + (width - text.length), ' ');
    std::copy(text.chars, text.chars + text.length, field + (width - text.length));
}

// The NaN or infinity text from the bit pattern; empty for a finite value.
std::string_view nonFiniteText(std::uint64_t bits)
{
    if ((bits >> 52 & 0x7ff) != 0x7ff)
        return "";
    if ((bits & ((std::uint64_t{1} << 52) - 1)) != 0)
        return "NaN";
    return bits >> 63 != 0 ? "-Infinity" : "Infinity";
}

bool isZero(std::uint64_t bits) { return (bits << 1) == 0; }

// The E12.4 field of `value`, whose expansion (if finite and nonzero) is `x`.
void referenceE124(char* field, double value, const Expansion& x)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    Text text;
    if (!nonFiniteText(bits).empty() || isZero(bits)) {
        append(text, isZero(bits) ? "0.0000E+00" : nonFiniteText(bits));
        putField(field, e124Width, text);
        return;
    }
    std::uint64_t mantissa = roundedLeading(x, 4);
    int exponent = x.point;
    if (mantissa == 10000) {
        mantissa = 1000;
        ++exponent;
    }
    const int magnitude = exponent < 0 ? -exponent : exponent;
    append(text, x.negative ? "-0." : "0.");
    appendDigits(text, mantissa, 4);
    append(text, magnitude <= 99 ? "E" : "");
    append(text, exponent < 0 ? "-" : "+");
    appendDigits(text, static_cast<std::uint64_t>(magnitude), magnitude <= 99 ? 2 : 3);
    putField(field, e124Width, text);
}

// The F10.3 field of `value`, as above.
void referenceF103(char* field, double value, const Expansion& x)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    Text text;
    if (!nonFiniteText(bits).empty() || isZero(bits)) {
        append(text, isZero(bits) ? "0.000" : nonFiniteText(bits));
    } else if (x.point > 8) {
        std::fill(field, field + f103Width, '*');  // 10^8 or more
        return;
    } else {
        const std::uint64_t thousandths = roundedLeading(x, x.point + 3);
        append(text, x.negative ? "-" : "");
        appendDigits(text, thousandths / 1000, 1);
        append(text, ".");
        appendDigits(text, thousandths % 1000, 3);
    }
    putField(field, f103Width, text);
}

struct Tally {
    long checked = 0;
    long mismatches = 0;
    long overflows = 0;
    long tiesE = 0;  // exact ties at the 5th significant digit
    long tiesF = 0;  // exact ties at the 4th decimal
};

bool isExactTie(const Expansion& x, int keep)
{
    return keep >= 0 && x.count == keep + 1 && x.digits[keep] == '5' && !x.tail;
}

void checkAgainstReference(double value, const PowerTables& tables, Limbs& scratch, Tally& tally)
{
    Expansion x;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if (nonFiniteText(bits).empty() && !isZero(bits)) {
        expand(value, tables, scratch, x);
        tally.tiesE += isExactTie(x, 4);
        tally.tiesF += isExactTie(x, x.point + 3);
    }
    char expectedE[e124Width], actualE[e124Width], expectedF[f103Width], actualF[f103Width];
    referenceE124(expectedE, value, x);
    referenceF103(expectedF, value, x);
    renderE124(actualE, value);
    const bool fits = renderF103(actualF, value);
    tally.overflows += !fits;
    ++tally.checked;
    if (std::equal(actualE, actualE + e124Width, expectedE) &&
        std::equal(actualF, actualF + f103Width, expectedF) && fits == (expectedF[0] != '*'))
        return;
    if (++tally.mismatches <= 20)
        ADD_FAILURE() << std::hexfloat << value << ": E12.4 \"" << std::string_view(actualE, e124Width)
                      << "\" expected \"" << std::string_view(expectedE, e124Width) << "\", F10.3 \""
                      << std::string_view(actualF, f103Width) << "\" expected \""
                      << std::string_view(expectedF, f103Width) << "\", fits " << fits;
}

// `value` and its `reach` neighbours on either side.
void checkNeighbourhood(double value, int reach, const PowerTables& tables, Limbs& scratch,
                        Tally& tally)
{
    double up = value, down = value;
    checkAgainstReference(value, tables, scratch, tally);
    for (int i = 0; i < reach; ++i) {
        up = std::nextafter(up, inf);
        down = std::nextafter(down, -inf);
        checkAgainstReference(up, tables, scratch, tally);
        checkAgainstReference(down, tables, scratch, tally);
    }
}

TEST(FieldReference, ExpansionIsExact)
{
    const PowerTables tables = buildPowerTables();
    Limbs scratch;
    Expansion x;
    expand(-0x1p-1074, tables, scratch, x);  // 4.940656458412465441765687928682213723651e-324
    EXPECT_TRUE(x.negative);
    EXPECT_EQ(x.point, -323);
    EXPECT_EQ(std::string(x.digits, static_cast<std::size_t>(x.count)), "49406564584124654417");
    EXPECT_TRUE(x.tail);
    expand(0x1.0000000000001p+0, tables, scratch, x);  // 1.0000000000000002220446...
    EXPECT_EQ(std::string(x.digits, static_cast<std::size_t>(x.count)), "1000000000000000222");
    EXPECT_TRUE(x.tail);
    EXPECT_EQ(x.point, 1);
    expand(0x1.8p+60, tables, scratch, x);  // 3 * 2^59
    EXPECT_EQ(std::string(x.digits, static_cast<std::size_t>(x.count)), "1729382256910270464");
    EXPECT_FALSE(x.tail);
    EXPECT_EQ(x.point, 19);
}

TEST(FieldReference, RandomDoublesMatchExactRounding)
{
    const PowerTables tables = buildPowerTables();
    Limbs scratch;
    Tally tally;
    std::mt19937_64 random(0x5eed2024);
    // Bit patterns over the whole range, NaN payloads of either sign included.
    checkAgainstReference(0.0, tables, scratch, tally);
    checkAgainstReference(-0.0, tables, scratch, tally);
    for (int i = 0; i < 400000; ++i)
        checkAgainstReference(std::bit_cast<double>(random()), tables, scratch, tally);
    // Magnitudes from 2^-24 to 2^25, where F10.3 shows digits.
    for (int i = 0; i < 300000; ++i) {
        const std::uint64_t r = random();
        const std::uint64_t biased = 1023 - 24 + (r >> 52 & 0x7ff) % 50;
        checkAgainstReference(std::bit_cast<double>((r & 0x800fffffffffffff) | biased << 52),
                              tables, scratch, tally);
    }
    // F10.3 ties are the odd sixteenths; check them and their neighbours.
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t r = random();
        const double whole = static_cast<double>(static_cast<std::int64_t>(r % 2000001) - 1000000);
        checkNeighbourhood(whole + static_cast<double>(2 * (r >> 32 & 7) + 1) / 16.0, 1, tables,
                           scratch, tally);
    }
    // E12.4 ties: five digits ending in 5, times 10^j where that is exact;
    // near ties: the same digits at any exponent, within two ulps.
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t r = random();
        std::uint64_t tie = 10005 + 10 * (r % 9000);
        int j = static_cast<int>(r >> 20 & 15);
        if (r >> 40 & 1) {
            for (j = 0; tie % 5 == 0 && j > -static_cast<int>(r >> 41 & 3); --j)
                tie /= 5;  // tie * 10^j with j <= 0
        } else {
            for (int k = 0; k < j; ++k)
                tie *= 5;  // below 99995 * 5^15 < 2^53
        }
        checkNeighbourhood(std::ldexp(static_cast<double>(tie), j), 1, tables, scratch, tally);
        const int scale = static_cast<int>((r >> 44) % 611) - 307;
        checkNeighbourhood(static_cast<double>(tie) * std::pow(10.0, scale), 2, tables, scratch,
                           tally);
    }
    // The overflow limits of F10.3, 1e7 and the rounding limit of 0.0005.
    checkNeighbourhood(0x1.e847fffbe76c9p+19, 1000, tables, scratch, tally);
    checkNeighbourhood(-0x1.869fffdf3b646p+16, 1000, tables, scratch, tally);
    checkNeighbourhood(1e7, 1000, tables, scratch, tally);
    checkNeighbourhood(0x1.0624dd2f1a9fcp-11, 1000, tables, scratch, tally);
    checkNeighbourhood(-0x1.0624dd2f1a9fcp-11, 1000, tables, scratch, tally);

    EXPECT_EQ(tally.mismatches, 0) << "of " << tally.checked;
    EXPECT_GE(tally.checked, 1000000);
    EXPECT_GT(tally.overflows, 100000);
    EXPECT_GT(tally.tiesE, 10000);
    EXPECT_GT(tally.tiesF, 10000);
}

}  // namespace
