// Tests of the fixed-layout count, length and value-row lines, byte for byte,
// with a sentinel after each line to catch writes past its end.

#include "report/report.h"
#include "report/report_lines.h"
#include "stats/stats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double exampleDays = 0x1.5555555555555p-4;  // 2 / 24

constexpr char sentinel = '#';

std::string countLine(const char* label, std::int32_t count, bool& overflow)
{
    char line[lineCapacity + 1];
    std::memset(line, sentinel, sizeof line);
    std::size_t n = formatCountLine(line, label, count, overflow);
    EXPECT_EQ(line[n], sentinel);
    return std::string(line, n);
}

std::string daysLine(double days, bool& overflow)
{
    char line[lineCapacity + 1];
    std::memset(line, sentinel, sizeof line);
    std::size_t n = formatDaysLine(line, days, overflow);
    EXPECT_EQ(line[n], sentinel);
    return std::string(line, n);
}

std::string valueRow(const char* label, const std::vector<double>& values)
{
    char line[lineCapacity + 1];
    std::memset(line, sentinel, sizeof line);
    std::size_t n = formatValueRow(line, label, values.data(), values.size());
    EXPECT_EQ(line[n], sentinel);
    return std::string(line, n);
}

// The expected row: the label, then each field text right-aligned in 12
// columns, one blank between fields.
std::string expectedRow(const char* label, const std::vector<std::string>& fields)
{
    std::string row = label;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) row += ' ';
        row += std::string(12 - fields[k].size(), ' ') + fields[k];
    }
    return row;
}

struct CountCase {
    const char* label;
    std::int32_t count;
    const char* line;
    bool overflow;
};

TEST(CountLine, LabelThenCountInSixColumns)
{
    const CountCase cases[] = {
        {"Time Series length: ", 3, "Time Series length:      3", false},
        {"Number of outliers: ", 0, "Number of outliers:      0", false},
        {"Number of outliers: ", -5, "Number of outliers:     -5", false},
        {"Time Series length: ", 999999, "Time Series length: 999999", false},
        {"Time Series length: ", 1000000, "Time Series length: ******", true},
        {"Time Series length: ", -99999, "Time Series length: -99999", false},
        {"Time Series length: ", -100000, "Time Series length: ******", true},
        {"Time Series length: ", 2147483647, "Time Series length: ******", true},
        {"Time Series length: ", -2147483647 - 1, "Time Series length: ******", true},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.count);
        bool overflow = !c.overflow;
        EXPECT_EQ(countLine(c.label, c.count, overflow), c.line);
        EXPECT_EQ(overflow, c.overflow);
    }
}

struct DaysCase {
    double days;
    const char* field;  // the 10 columns between label and " days"
    bool overflow;
};

TEST(DaysLine, LengthInTenColumnsThenDays)
{
    const DaysCase cases[] = {
        {exampleDays, "     0.083", false},
        {0.0, "     0.000", false},
        {-0.0, "     0.000", false},
        {-0.0001, "    -0.000", false},
        {0.0625, "     0.062", false},  // a tie goes to the even digit
        {0.1875, "     0.188", false},
        {-1.0 / 24.0, "    -0.042", false},
        {999999.999, "999999.999", false},
        {-99999.999, "-99999.999", false},
        {1000000.0, "**********", true},
        {-100000.0, "**********", true},
        {1e300, "**********", true},
        {nan, "       NaN", false},
        {inf, "  Infinity", false},
        {-inf, " -Infinity", false},
    };
    for (const DaysCase& c : cases) {
        SCOPED_TRACE(c.field);
        bool overflow = !c.overflow;
        EXPECT_EQ(daysLine(c.days, overflow), std::string("Time series length: ") + c.field + " days");
        EXPECT_EQ(overflow, c.overflow);
    }
}

TEST(ValueRow, VolumeRowsOfTheWorkedExample)
{
    const double totals[4] = {3600.0, -7200.0, 10800.0, -3600.0};
    const std::vector<std::string> fields[4] = {
        {"0.3600E+04", "0.4709E+04", "0.1271E+06", "0.4320E+05", "0.5650E+05", "0.1526E+07",
         "0.1577E+08", "0.2062E+08", "0.5568E+09"},
        {"-0.7200E+04", "-0.9417E+04", "-0.2543E+06", "-0.8640E+05", "-0.1130E+06", "-0.3051E+07",
         "-0.3154E+08", "-0.4125E+08", "-0.1114E+10"},
        {"0.1080E+05", "0.1413E+05", "0.3814E+06", "0.1296E+06", "0.1695E+06", "0.4577E+07",
         "0.4730E+08", "0.6187E+08", "0.1671E+10"},
        {"-0.3600E+04", "-0.4709E+04", "-0.1271E+06", "-0.4320E+05", "-0.5650E+05", "-0.1526E+07",
         "-0.1577E+08", "-0.2062E+08", "-0.5568E+09"},
    };
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(rowLabels[r]);
        double values[maxColumns];
        std::size_t n = rowValues(VolumeUnitSet, totals[r], exampleDays, values);
        std::string line = valueRow(rowLabels[r], std::vector<double>(values, values + n));
        EXPECT_EQ(line, expectedRow(rowLabels[r], fields[r]));
        EXPECT_EQ(line.size(), 123u);
    }
    EXPECT_EQ(valueRow("Qin    ", {3600.0}), "Qin      0.3600E+04");
}

TEST(ValueRow, MassRowsOfTheWorkedExample)
{
    const double totals[4] = {3600.0, -7200.0, 10800.0, -3600.0};
    const std::vector<std::string> fields[4] = {
        {"0.3600E+04", "0.4320E+05", "0.1577E+08"},
        {"-0.7200E+04", "-0.8640E+05", "-0.3154E+08"},
        {"0.1080E+05", "0.1296E+06", "0.4730E+08"},
        {"-0.3600E+04", "-0.4320E+05", "-0.1577E+08"},
    };
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(rowLabels[r]);
        double values[maxColumns];
        std::size_t n = rowValues(MassUnitSet, totals[r], exampleDays, values);
        std::string line = valueRow(rowLabels[r], std::vector<double>(values, values + n));
        EXPECT_EQ(line, expectedRow(rowLabels[r], fields[r]));
        EXPECT_EQ(line.size(), 45u);
    }
}

TEST(ValueRow, SpecialValuesRightAlignedZerosUnsigned)
{
    // one sample (totals 0, D 0); then t = (0, 5, 0), q = (1, 1, 1)
    EXPECT_EQ(valueRow("Qin    ", {0.0, -0.0, 0.0, nan, nan, nan, nan, nan, nan}),
              expectedRow("Qin    ", {"0.0000E+00", "0.0000E+00", "0.0000E+00", "NaN", "NaN", "NaN", "NaN",
                                      "NaN", "NaN"}));
    EXPECT_EQ(valueRow("Qgross ", {36000.0, inf, -inf}), "Qgross   0.3600E+05     Infinity    -Infinity");
    EXPECT_EQ(valueRow("Qnet   ", {nan, -0.0, -nan}), "Qnet            NaN   0.0000E+00          NaN");
}

}  // namespace
