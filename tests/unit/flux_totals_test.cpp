// Tests of outlier screening, trapezoid integration and the series length:
// each case is checked bit for bit (sign of zeros included; any NaN matches
// a NaN), through the operations one by one, and with the samples added in
// runs split in every possible way, as a series read a block at a time
// arrives.

#include "double_checks.h"
#include "stats/stats.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct TotalsCase {
    const char* what;
    std::vector<double> t, q;
    std::int32_t count;
    double fluxmax;
    double Qin, Qout, Qgross, Qnet;
    std::int32_t outliers;
    double days;
    std::vector<double> screened;  // the rates after screening
};

// 1/12, 1/24 and 5/24 rounded to double: 0x1.5555...p-4 is below 1/12 by a
// third of an ulp; 5/24 = (5/3) 2^-3 rounds up, while 5 * (1/24 rounded)
// would give 0x1.aaaaaaaaaaaaap-3.
constexpr double twelfth = 0x1.5555555555555p-4;
constexpr double twentyFourth = 0x1.5555555555555p-5;
constexpr double fiveTwentyFourths = 0x1.aaaaaaaaaaaabp-3;
// 1800 * (1 + 2^-52) = 1800 + 1.7578 ulp of 1800 rounds to 1800 + 2 ulp.
constexpr double w1800 = 0x1.c200000000002p+10;

const TotalsCase totalsCases[] = {
    {"worked example w = (3600, -7200)", {0, 1, 2}, {2, 0, -4}, 3, 100000.0,
     3600.0, -7200.0, 10800.0, -3600.0, 0, twelfth, {2, 0, -4}},
    {"one outlier zeroed, still bounding its intervals", {0, 1, 2}, {1, 200000, 1}, 3, 100000.0,
     3600.0, +0.0, 3600.0, 3600.0, 1, twelfth, {1, +0.0, 1}},
    {"time running backwards", {1, 0}, {1, 1}, 2, 100000.0,
     +0.0, -3600.0, 3600.0, -3600.0, 0, -twentyFourth, {1, 1}},
    {"opposite rates give w = +0 into Qout", {0, 1}, {5, -5}, 2, 100000.0,
     +0.0, +0.0, +0.0, +0.0, 0, twentyFourth, {5, -5}},
    {"last time equals the first", {0, 5, 0}, {1, 1, 1}, 3, 100000.0,
     18000.0, -18000.0, 36000.0, +0.0, 0, +0.0, {1, 1, 1}},
    {"one sample", {7.5}, {3}, 1, 100000.0, +0.0, +0.0, +0.0, +0.0, 0, +0.0, {3}},
    // days for a series without samples is this implementation's choice: 0.0
    {"no samples", {}, {}, 0, 100000.0, +0.0, +0.0, +0.0, +0.0, 0, +0.0, {}},
    {"negative count from a header", {}, {}, -3, -1.0, +0.0, +0.0, +0.0, +0.0, 0, +0.0, {}},
    {"NaN rate: Qin untouched, the others NaN", {0, 1, 2, 3}, {2, nan, 1, 1}, 4, 100000.0,
     3600.0, nan, nan, nan, 0, 0x1p-3, {2, nan, 1, 1}},
    {"NaN threshold: nothing is an outlier", {0, 1}, {200000, -1000000}, 2, nan,
     +0.0, -0x1.5752ap+30, 0x1.5752ap+30, -0x1.5752ap+30, 0, twentyFourth, {200000, -1000000}},
    {"magnitude equal to the threshold stays; -150000 and Infinity become +0", {0, 1, 2, 3},
     {100000, -100000, -150000, inf}, 4, 100000.0,
     +0.0, -0x1.5752ap+27, 0x1.5752ap+27, -0x1.5752ap+27, 2, 0x1p-3, {100000, -100000, +0.0, +0.0}},
    {"zero threshold: zeros of both signs stay and are not counted", {0, 1, 2, 3},
     {+0.0, -0.0, 3, -2}, 4, 0.0, +0.0, +0.0, +0.0, +0.0, 2, 0x1p-3, {+0.0, -0.0, +0.0, +0.0}},
    {"negative threshold: zeros are outliers too", {0, 1, 2}, {+0.0, -0.0, 5}, 3, -1.0,
     +0.0, +0.0, +0.0, +0.0, 3, twelfth, {+0.0, +0.0, +0.0}},
    {"negative threshold: a NaN rate is still no outlier", {0, 1}, {nan, 5}, 2, -1.0,
     +0.0, nan, nan, nan, 1, twentyFourth, {nan, +0.0}},
    // w = ((dt * 1800) * (q_1 + q_2)): dt * (1800 * 0.7) would give 126 exactly,
    // and (0.7 * 0.1) * 1800 or 0.7 * (1800 * 0.1) below would give 0x1.f7fffffffffffp+6
    {"w grouped as the time step times 1800, then the rates", {0, 0.1}, {0.7, 0}, 2, 100000.0,
     0x1.f7fffffffffffp+6, +0.0, 0x1.f7fffffffffffp+6, 0x1.f7fffffffffffp+6, 0, 0x1.1111111111111p-8, {0.7, 0}},
    {"w grouped as the time step times 1800, then the rates (2)", {0, 0.7}, {0.1, 0}, 2, 100000.0,
     0x1.f8p+6, +0.0, 0x1.f8p+6, 0x1.f8p+6, 0, 0x1.dddddddddddddp-6, {0.1, 0}},
    // a fused multiply-add into Qnet would keep the rounding error of w_2
    {"w rounded before it is summed", {0, 1, 0}, {1, 0x1p-52, 1}, 3, 100000.0,
     w1800, -w1800, 2 * w1800, +0.0, 0, +0.0, {1, 0x1p-52, 1}},
    // w_2 = -165600 * (+0) is -0.0, which leaves every sum at +0.0
    {"days from the first and last time only, divided by 24", {2, 99, 7}, {0, 0, 0}, 3, 100000.0,
     +0.0, +0.0, +0.0, +0.0, 0, fiveTwentyFourths, {0, 0, 0}},
};

void expectTotals(const TotalsCase& c, const FluxTotals& totals)
{
    EXPECT_PRED_FORMAT2(sameDouble, c.Qin, totals.Qin);
    EXPECT_PRED_FORMAT2(sameDouble, c.Qout, totals.Qout);
    EXPECT_PRED_FORMAT2(sameDouble, c.Qgross, totals.Qgross);
    EXPECT_PRED_FORMAT2(sameDouble, c.Qnet, totals.Qnet);
}

TEST(FluxTotals, EachCaseThroughTheSeparateOperations)
{
    for (const TotalsCase& c : totalsCases) {
        SCOPED_TRACE(c.what);
        std::vector<double> rates = c.q;
        auto n = static_cast<std::int64_t>(c.t.size());
        EXPECT_EQ(screenOutliers(rates.data(), n, c.fluxmax), c.outliers);
        for (std::size_t i = 0; i < c.screened.size(); ++i)
            EXPECT_PRED_FORMAT2(sameDouble, c.screened[i], rates[i]) << "rate " << i + 1;
        FluxSums sums;
        integrateFlux(sums, c.t.data(), rates.data(), n);
        expectTotals(c, FluxTotals{sums.Qin, sums.Qout, sums.Qgross, sums.Qnet});
        if (n > 0) {
            EXPECT_PRED_FORMAT2(sameDouble, c.days, seriesDays(c.t.front(), c.t.back()));
        }
    }
}

// Every split of the samples into runs, the empty run included, must give
// the totals of the whole: the last sample of a run starts the next run's
// first interval.
TEST(FluxTotals, EverySplitIntoRunsGivesTheSameTotals)
{
    for (const TotalsCase& c : totalsCases) {
        std::size_t n = c.t.size();
        // bit k of `cuts` ends a run after sample k + 1; a run of none comes first
        for (unsigned cuts = 0; cuts < (1u << (n > 0 ? n - 1 : 0)); ++cuts) {
            SCOPED_TRACE(std::string(c.what) + ", cuts " + std::to_string(cuts));
            std::vector<double> rates = c.q;
            FluxSums sums;
            sums.fluxmax = c.fluxmax;
            addSamples(sums, c.t.data(), rates.data(), 0);
            std::size_t from = 0;
            for (std::size_t k = 0; k < n; ++k) {
                if (k + 1 == n || (cuts >> k & 1)) {
                    addSamples(sums, c.t.data() + from, rates.data() + from, static_cast<std::int64_t>(k + 1 - from));
                    from = k + 1;
                }
            }
            FluxTotals totals = finishFluxTotals(sums, c.count);
            expectTotals(c, totals);
            EXPECT_EQ(totals.sampleCount, c.count);
            EXPECT_EQ(totals.outlierCount, c.outliers);
            EXPECT_PRED_FORMAT2(sameDouble, c.days, totals.days);
            for (std::size_t i = 0; i < c.screened.size(); ++i)
                EXPECT_PRED_FORMAT2(sameDouble, c.screened[i], rates[i]) << "rate " << i + 1;
        }
    }
}

// The first sample whose time is below the one before it, counted from 1,
// whichever runs the samples arrive in: equal times and comparisons with a
// NaN do not count, infinities compare as numbers.
TEST(FluxTotals, FirstTimeThatGoesBackInEverySplit)
{
    const struct {
        const char* what;
        std::vector<double> t;
        std::int64_t row;
    } cases[] = {
        {"increasing", {0, 1, 2, 3}, 0},
        {"equal times", {0, 1, 1, 2}, 0},
        {"back at the second sample", {1, 0}, 2},
        {"the clock turned back: only the first counts", {0, 1, 1.75, 1, 1.75, 1}, 4},
        {"back at the last sample", {0, 1, 2, 3, 2.5}, 5},
        {"a NaN compares with nothing", {0, nan, -1, 5}, 0},
        {"after a NaN the order goes on", {0, nan, 5, 4}, 4},
        {"infinities are numbers", {-inf, 0, inf, inf, 7}, 5},
        {"one sample", {3}, 0},
    };
    for (const auto& c : cases) {
        std::size_t n = c.t.size();
        for (unsigned cuts = 0; cuts < (1u << (n - 1)); ++cuts) {
            SCOPED_TRACE(std::string(c.what) + ", cuts " + std::to_string(cuts));
            std::vector<double> rates(n, 1.0);
            FluxSums sums;
            std::size_t from = 0;
            for (std::size_t k = 0; k < n; ++k) {
                if (k + 1 == n || (cuts >> k & 1)) {
                    addSamples(sums, c.t.data() + from, rates.data() + from, static_cast<std::int64_t>(k + 1 - from));
                    from = k + 1;
                }
            }
            EXPECT_EQ(sums.firstBackward, c.row);
        }
    }
}

}  // namespace
