// The fixed-layout lines that the report file and the console summary share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "stats/stats.h"

// The longest fixed-layout line: the 124-character report header.
constexpr std::size_t lineCapacity = 128;

// The texts before the fields; each count and the days line's label have 20
// characters, a row label 7.
constexpr char nameLabel[] = "Time series name:    ";
constexpr char sampleCountLabel[] = "Time Series length: ";
constexpr char outlierCountLabel[] = "Number of outliers: ";
constexpr char daysLabel[] = "Time series length: ";
constexpr char daysUnit[] = " days";
constexpr std::size_t countLabelLength = sizeof sampleCountLabel - 1;
constexpr std::size_t rowLabelLength = 7;
static_assert(sizeof outlierCountLabel - 1 == countLabelLength && sizeof daysLabel - 1 == countLabelLength);

// The row labels, in the order of the totals.
constexpr const char* rowLabels[4] = {"Qin    ", "Qout   ", "Qgross ", "Qnet   "};

// A line as formatted: its text, its length, and whether a field of it
// overflowed (error 63 follows the line).
struct FixedLine {
    char text[lineCapacity];
    std::size_t length = 0;
    bool overflow = false;
};

// A count label of 20 characters and the count in I6 into `out`. Returns
// the line length (26); `overflow` tells whether the field overflowed.
std::size_t formatCountLine(char* out, const char* label, std::int32_t count, bool& overflow);

// "Time series length: ", the days in F10.3 and " days" (35 characters).
std::size_t formatDaysLine(char* out, double days, bool& overflow);

// A row label of 7 characters followed by each value in E12.4, one blank
// between fields. Returns the line length.
std::size_t formatValueRow(char* out, const char* label, const double* values, std::size_t count);

// Lines 2 to 4 of the report, and of the console summary: the sample count,
// the outlier count and the length in days.
void formatSeriesLines(const FluxTotals& totals, FixedLine (&lines)[3]);

// True when `header` shows the labels of the columns `columns` of `units`
// in their order. A header is fixed text, not laid out from the labels, but
// it must name what the rows below it hold.
bool showsLabels(const char* header, const UnitSet& units, std::span<const std::size_t> columns);
