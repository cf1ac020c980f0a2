// Transport statistics: outlier screening, trapezoid integration, series
// length, and the unit sets that turn totals into report columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

// The outlier threshold when none is given.
constexpr double defaultFluxmax = 100000.0;

// Screening and integration of a series whose samples arrive in runs, in
// file order: the four sums, the outliers so far, and the first and the last
// sample, which the next run's first interval starts from.
struct FluxSums {
    double fluxmax = defaultFluxmax;
    double Qin = +0.0;
    double Qout = +0.0;
    double Qgross = +0.0;
    double Qnet = +0.0;
    std::int32_t outliers = 0;
    std::int64_t samples = 0;
    double firstTime = 0.0;
    double lastTime = 0.0;
    double lastRate = 0.0;
    // The first sample (counted from 1) whose time is below the time of the
    // sample before it; 0 while there is none. Such an interval is summed
    // like any other, with its sign; the number is only for a warning.
    std::int64_t firstBackward = 0;
};

// Zeroes (+0.0) every rate whose magnitude exceeds `fluxmax` (an ordered
// comparison: a NaN on either side is no outlier). Returns how many it zeroed.
std::int32_t screenOutliers(double* rate, std::int64_t count, double fluxmax);

// Adds the intervals that the next `count` samples close, from the last
// sample so far on, to the four sums, each a plain left-to-right sum in file
// order, and notes the first time that goes back; the rates must be screened.
void integrateFlux(FluxSums& sums, const double* time, const double* rate, std::int64_t count);

// (t_n - t_1) / 24.0.
double seriesDays(double firstTime, double lastTime);

// The next `count` samples of the series: screening, then their intervals.
void addSamples(FluxSums& sums, const double* time, double* rate, std::int64_t count);

// The totals of all the samples added, with the series' count (which an
// `.xys` header may give as zero or negative); the length is 0.0 when no
// sample was added.
FluxTotals finishFluxTotals(const FluxSums& sums, std::int32_t sampleCount);

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
