// Outlier screening and trapezoid integration of a series.
#include <cmath>

#include "input/time_series.h"
#include "stats/stats.h"

std::int32_t screenOutliers(TimeSeries& series, double fluxmax) {
    std::int32_t outliers = 0;
    double* rate = series.rate.get();
    for (std::int32_t i = 0; i < series.count; ++i) {
        // an ordered comparison: false for a NaN rate or a NaN threshold
        if (std::fabs(rate[i]) > fluxmax) {
            rate[i] = +0.0;
            ++outliers;
        }
    }
    return outliers;
}

FluxTotals integrateFlux(const TimeSeries& series) {
    FluxTotals totals;
    const double* t = series.time.get();
    const double* q = series.rate.get();
    double in = +0.0, out = +0.0, gross = +0.0, net = +0.0;
    for (std::int32_t i = 0; i + 1 < series.count; ++i) {
        // the time step times 1800 s (3600 s an hour, halved), then times the
        // sum of the two rates: this grouping, nothing fused or reordered
        double w = ((t[i + 1] - t[i]) * 1800.0) * (q[i] + q[i + 1]);
        net = net + w;
        gross = gross + std::fabs(w);
        if (w > 0.0) {
            in = in + w;
        } else {
            out = out + w;  // zero, negative or NaN
        }
    }
    totals.Qin = in;
    totals.Qout = out;
    totals.Qgross = gross;
    totals.Qnet = net;
    return totals;
}

double seriesDays(const TimeSeries& series) {
    if (series.count <= 0) return 0.0;  // no first or last time to measure
    return (series.time[static_cast<std::size_t>(series.count) - 1] - series.time[0]) / 24.0;
}

FluxTotals computeFluxTotals(TimeSeries& series, double fluxmax) {
    std::int32_t outliers = screenOutliers(series, fluxmax);
    FluxTotals totals = integrateFlux(series);
    totals.days = seriesDays(series);
    totals.sampleCount = series.count;
    totals.outlierCount = outliers;
    return totals;
}
