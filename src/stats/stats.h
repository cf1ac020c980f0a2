// Transport statistics: outlier screening, trapezoid integration, series
// length, and the unit sets that turn totals into report columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct TimeSeries;

// Totals of one run, in the base unit (cubic metres or kilograms).
struct FluxTotals {
    double Qin = 0.0;     // sum of the interval fluxes greater than zero
    double Qout = 0.0;    // sum of the others (zero, negative or NaN)
    double Qgross = 0.0;  // sum of their magnitudes
    double Qnet = 0.0;    // signed sum
    std::int32_t sampleCount = 0;
    std::int32_t outlierCount = 0;
    double days = 0.0;  // (t_n - t_1) / 24; 0 for a series without samples
};

// Zeroes (+0.0) every rate whose magnitude exceeds `fluxmax` (an ordered
// comparison: a NaN on either side is no outlier). Returns how many it zeroed.
std::int32_t screenOutliers(TimeSeries& series, double fluxmax);

// The four totals over the n - 1 intervals of the series, accumulated
// separately, each a plain left-to-right sum. Only Qin..Qnet are set.
FluxTotals integrateFlux(const TimeSeries& series);

// (t_n - t_1) / 24.0, or 0.0 when the series has no samples.
double seriesDays(const TimeSeries& series);

// Screening, then integration, then length; fills every field.
FluxTotals computeFluxTotals(TimeSeries& series, double fluxmax);

// One report column: the total times `factor`, then divided by the length in
// days when `divideByDays`.
struct UnitColumn {
    const char* label;
    double factor;
    bool divideByDays;
};

// A deliverable's report columns and the two that the console summary shows
// (zero-based positions: the base-unit total and its rate per day).
struct UnitSet {
    std::span<const UnitColumn> columns;
    std::size_t summaryColumns[2];
};

extern const UnitSet VolumeUnitSet;  // 9 columns: cu m, cu yd, cu ft, each total, per day, per year
extern const UnitSet MassUnitSet;    // 3 columns: kg, kg/day, kg/yr

// The most columns a unit set has.
constexpr std::size_t maxColumns = 9;

// The values of one report row, in column order, into `values` (room for
// maxColumns): multiply first, then divide. Returns the column count.
std::size_t rowValues(const UnitSet& units, double total, double days, double* values);
