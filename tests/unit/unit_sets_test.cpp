// Tests of the report-row values of both unit sets. Expected doubles were
// derived with exact integer arithmetic: each factor is a single-precision
// value m * 2^-23 (cu yd) or m * 2^-18 (cu ft), so X * factor is exact for the
// totals used here, and only the division by D rounds.

#include "double_checks.h"
#include "stats/stats.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// D of the worked example, t = (0, 1, 2) hours: 2 / 24 rounded, which is
// (1/12)(1 - 2^-54).
constexpr double exampleDays = 0x1.5555555555555p-4;

std::vector<double> row(const UnitSet& units, double total, double days)
{
    double values[maxColumns + 1];
    values[units.columns.size()] = 12345.0;  // must stay untouched
    std::size_t n = rowValues(units, total, days, values);
    EXPECT_EQ(n, units.columns.size());
    EXPECT_EQ(values[units.columns.size()], 12345.0);
    return std::vector<double>(values, values + n);
}

void expectRow(const std::vector<double>& expected, const std::vector<double>& actual)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_PRED_FORMAT2(sameDouble, expected[k], actual[k]) << "column " << k + 1;
}

// The Qin row (X = 3600) of the worked example in the volume set. In the
// comments: the shortest decimal text of each value.
const std::vector<double> volumeQinRow = {
    0x1.c2p+11,          // 3600.0
    0x1.2649f9ep+12,     // 4708.623504638672 = 225 * 0xa76af0 / 2^19, exact
    0x1.f09cd064p+16,    // 127132.8140258789, exact
    0x1.518p+15,         // 43200.0: 43200 (1 + 2^-54) is a third of an ulp above 43200
    0x1.b96ef6dp+15,     // 56503.48205566406
    0x1.74759c4bp+20,    // 1525593.7683105469
    0x1.e1338p+23,       // 15768000.0
    0x1.3ab19af348p+24,  // 20623770.950317383
    0x1.0985d7eb778p+29, // 556841725.4333496
};

TEST(RowValues, VolumeSetRowsOfTheWorkedExample)
{
    expectRow(volumeQinRow, row(VolumeUnitSet, 3600.0, exampleDays));
    // Qout = -7200: the same pattern, opposite sign, twice the size (exactly)
    std::vector<double> out = row(VolumeUnitSet, -7200.0, exampleDays);
    ASSERT_EQ(out.size(), volumeQinRow.size());
    for (std::size_t k = 0; k < out.size(); ++k)
        EXPECT_PRED_FORMAT2(sameDouble, -2.0 * volumeQinRow[k], out[k]) << "column " << k + 1;
}

TEST(RowValues, MassSetRowOfTheWorkedExample)
{
    expectRow({0x1.c2p+11, 0x1.518p+15, 0x1.e1338p+23}, row(MassUnitSet, 3600.0, exampleDays));
}

struct SpecialCase {
    const char* what;
    double total, days;
    std::vector<double> volume;  // the nine volume columns
};

const SpecialCase specialCases[] = {
    {"D = 0, positive total", 3600.0, 0.0,
     {0x1.c2p+11, 0x1.2649f9ep+12, 0x1.f09cd064p+16, inf, inf, inf, inf, inf, inf}},
    {"D = 0, negative total", -7200.0, 0.0,
     {-0x1.c2p+12, -0x1.2649f9ep+13, -0x1.f09cd064p+17, -inf, -inf, -inf, -inf, -inf, -inf}},
    {"D = 0, zero total", 0.0, 0.0, {0.0, 0.0, 0.0, nan, nan, nan, nan, nan, nan}},
    {"negative D: rates of the opposite sign", 3600.0, -exampleDays,
     {0x1.c2p+11, 0x1.2649f9ep+12, 0x1.f09cd064p+16, -0x1.518p+15, -0x1.b96ef6dp+15,
      -0x1.74759c4bp+20, -0x1.e1338p+23, -0x1.3ab19af348p+24, -0x1.0985d7eb778p+29}},
    {"NaN total", nan, exampleDays, {nan, nan, nan, nan, nan, nan, nan, nan, nan}},
};

TEST(RowValues, ZeroNegativeAndNaNOperands)
{
    for (const SpecialCase& c : specialCases) {
        SCOPED_TRACE(c.what);
        expectRow(c.volume, row(VolumeUnitSet, c.total, c.days));
        // the mass set's columns are the volume set's columns 1, 4 and 7
        expectRow({c.volume[0], c.volume[3], c.volume[6]}, row(MassUnitSet, c.total, c.days));
    }
}

// Each column multiplies once by its own factor, then divides. For X = 12.34
// ((X * 1.3079509735107422) * 365) / D would give 0x1.1425b42973333p+16 and
// (X / D) * 1.3079509735107422 would give 0x1.835cdddc28f5dp+7; for X = 0.3,
// X * (1.3079509735107422 / D) would give 0x1.2d5a166666666p+2.
TEST(RowValues, MultiplyOnceByTheColumnFactorThenDivide)
{
    std::vector<double> values = row(VolumeUnitSet, 12.34, exampleDays);
    // (X * 477.4021053314209) / D, exact quotient rounded
    EXPECT_PRED_FORMAT2(sameDouble, 0x1.1425b42973334p+16, values[7]);
    EXPECT_PRED_FORMAT2(sameDouble, 0x1.835cdddc28f5cp+7, values[4]);
    values = row(VolumeUnitSet, 0.3, exampleDays);
    EXPECT_PRED_FORMAT2(sameDouble, 0x1.2d5a166666667p+2, values[4]);
}

TEST(RowValues, SummaryColumnsAreTheTotalAndItsDailyRate)
{
    struct {
        const UnitSet* units;
        const char* total;
        const char* daily;
    } sets[] = {{&VolumeUnitSet, "[cu m]", "[cu m/day]"}, {&MassUnitSet, "[kg]", "[kg/day]"}};
    for (const auto& s : sets) {
        SCOPED_TRACE(s.total);
        const UnitSet& units = *s.units;
        ASSERT_LT(units.summaryColumns[0], units.columns.size());
        ASSERT_LT(units.summaryColumns[1], units.columns.size());
        EXPECT_STREQ(units.columns[units.summaryColumns[0]].label, s.total);
        EXPECT_STREQ(units.columns[units.summaryColumns[1]].label, s.daily);
        std::vector<double> values = row(units, 3600.0, exampleDays);
        EXPECT_PRED_FORMAT2(sameDouble, 0x1.c2p+11, values[units.summaryColumns[0]]);
        EXPECT_PRED_FORMAT2(sameDouble, 0x1.518p+15, values[units.summaryColumns[1]]);
    }
}

}  // namespace
