// The fixed-layout lines that the report file and the console summary share.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest fixed-layout line: the 124-character report header.
constexpr std::size_t lineCapacity = 128;

// "Time Series length: " or "Number of outliers: " and the count in I6 into
// `out`. Returns the line length (26); `overflow` tells whether the field
// overflowed.
std::size_t formatCountLine(char* out, const char* label, std::int32_t count, bool& overflow);

// "Time series length: ", the days in F10.3 and " days" (35 characters).
std::size_t formatDaysLine(char* out, double days, bool& overflow);

// A row label of 7 characters followed by each value in E12.4, one blank
// between fields. Returns the line length.
std::size_t formatValueRow(char* out, const char* label, const double* values, std::size_t count);

// The row labels, in the order of the totals.
constexpr const char* rowLabels[4] = {"Qin    ", "Qout   ", "Qgross ", "Qnet   "};
