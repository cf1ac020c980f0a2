// Outlier screening and trapezoid integration of a series read in runs of
// samples: each run is screened, then its intervals are summed after those
// of the runs before, so that every sum is the one left-to-right sum in file
// order that a whole series would give.
#include <cmath>

#include "stats/stats.h"

std::int32_t screenOutliers(double* rate, std::int64_t count, double fluxmax) {
    std::int32_t outliers = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        // an ordered comparison: false for a NaN rate or a NaN threshold
        if (std::fabs(rate[i]) > fluxmax) {
            rate[i] = +0.0;
            ++outliers;
        }
    }
    return outliers;
}

void integrateFlux(FluxSums& sums, const double* time, const double* rate, std::int64_t count) {
    if (count <= 0) return;
    std::int64_t i = 0;
    if (sums.samples == 0) {
        sums.firstTime = time[0];
        sums.lastTime = time[0];
        sums.lastRate = rate[0];
        i = 1;
    }
    double lastTime = sums.lastTime, lastRate = sums.lastRate;
    double in = sums.Qin, out = sums.Qout, gross = sums.Qgross, net = sums.Qnet;
    std::int64_t backward = sums.firstBackward;
    for (; i < count; ++i) {
        // an ordered comparison: equal times, and a NaN on either side, do not count
        if (time[i] < lastTime && backward == 0) [[unlikely]]
            backward = sums.samples + i + 1;
        // the time step times 1800 s (3600 s an hour, halved), then times the
        // sum of the two rates: this grouping, nothing fused or reordered
        double w = ((time[i] - lastTime) * 1800.0) * (lastRate + rate[i]);
        net = net + w;
        gross = gross + std::fabs(w);
        if (w > 0.0) {
            in = in + w;
        } else {
            out = out + w;  // zero, negative or NaN
        }
        lastTime = time[i];
        lastRate = rate[i];
    }
    sums.lastTime = lastTime;
    sums.lastRate = lastRate;
    sums.Qin = in;
    sums.Qout = out;
    sums.Qgross = gross;
    sums.Qnet = net;
    sums.firstBackward = backward;
    sums.samples += count;
}

double seriesDays(double firstTime, double lastTime) { return (lastTime - firstTime) / 24.0; }

void addSamples(FluxSums& sums, const double* time, double* rate, std::int64_t count) {
    sums.outliers += screenOutliers(rate, count, sums.fluxmax);
    integrateFlux(sums, time, rate, count);
}

FluxTotals finishFluxTotals(const FluxSums& sums, std::int32_t sampleCount) {
    FluxTotals totals;
    totals.Qin = sums.Qin;
    totals.Qout = sums.Qout;
    totals.Qgross = sums.Qgross;
    totals.Qnet = sums.Qnet;
    totals.sampleCount = sampleCount;
    totals.outlierCount = sums.outliers;
    totals.days = sums.samples > 0 ? seriesDays(sums.firstTime, sums.lastTime) : 0.0;  // no first or last time
    return totals;
}
