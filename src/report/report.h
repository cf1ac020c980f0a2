// Reporting: the numeric field kinds of every fixed-layout line, the report
// file and the console summary.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stats/stats.h"

// Field widths.
constexpr std::size_t i6Width = 6;
constexpr std::size_t f103Width = 10;
constexpr std::size_t e124Width = 12;

// Integer field of width 6 into `out` (6 characters, no NUL): right-aligned
// digits, a minus sign when negative; six asterisks when it needs more.
// Returns false when the value overflowed the field.
bool renderI6(char* out, std::int32_t value);

// Fixed-point field of width 10 with 3 decimals into `out` (10 characters):
// exact rounding, ties to even; NaN, Infinity, -Infinity right-aligned; no
// sign on a zero; ten asterisks when the text needs more. Returns false on
// overflow.
bool renderF103(char* out, double value);

// Exponent field of width 12 with 4 digits into `out` (12 characters):
// 0.dddd, then E and a signed two-digit exponent, or a signed three-digit
// exponent without the E. Never overflows.
void renderE124(char* out, double value);

// A deliverable's header texts.
struct ReportHeaders {
    const char* report;   // line 5 of the report file
    const char* summary;  // line 5 of the console summary
};

// The values of the four report rows (Qin, Qout, Qgross, Qnet), computed
// once, so that the console summary shows the very doubles of the report.
struct ReportRows {
    double values[4][maxColumns];
    std::size_t columnCount;
};

// The values of the four rows, each by rowValues from its total and the days.
ReportRows reportRows(const FluxTotals& totals, const UnitSet& units);

// Writes the nine-line report to the path field `foutput` (trailing blanks
// ignored), replacing any file of that name. A failed open, write or close
// ends the run; a field too wide is reported (error 63) and the report
// completed.
void writeReport(const char* foutput, const char* name, const FluxTotals& totals, const ReportRows& rows,
                 const UnitSet& units, const ReportHeaders& headers);

// Writes the thirteen-line console summary to standard output, taking each
// row's two values at the unit set's summary columns of `rows`.
void writeSummary(const FluxTotals& totals, const ReportRows& rows, const UnitSet& units, const ReportHeaders& headers);
