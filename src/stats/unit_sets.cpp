// The report columns of each program, and the values of one report row.
#include "stats/stats.h"

// Cubic yards and cubic feet per cubic metre, as the single-precision values
// nearest to 1.307951 and 35.31467 widened to double; a year is 365 days, and
// each yearly factor is the double product of its daily factor and 365.
static constexpr double cubicYards = 1.3079509735107422;
static constexpr double cubicFeet = 35.31467056274414;
static_assert(cubicYards == static_cast<double>(1.307951f));
static_assert(cubicFeet == static_cast<double>(35.31467f));
static_assert(477.4021053314209 == cubicYards * 365.0);
static_assert(12889.854755401611 == cubicFeet * 365.0);

static constexpr UnitColumn volumeColumns[] = {
    {"[cu m]", 1.0, false},     {"[cu yd]", cubicYards, false},          {"[cu ft]", cubicFeet, false},
    {"[cu m/day]", 1.0, true},  {"[cu yd/day]", cubicYards, true},       {"[cu ft/day]", cubicFeet, true},
    {"[cu m/yr]", 365.0, true}, {"[cu yd/yr]", 477.4021053314209, true}, {"[cu ft/yr]", 12889.854755401611, true},
};

static constexpr UnitColumn massColumns[] = {
    {"[kg]", 1.0, false},
    {"[kg/day]", 1.0, true},
    {"[kg/yr]", 365.0, true},
};

const UnitSet VolumeUnitSet = {volumeColumns, {0, 3}};
const UnitSet MassUnitSet = {massColumns, {0, 1}};

std::size_t rowValues(const UnitSet& units, double total, double days, double* values) {
    std::size_t n = 0;
    for (const UnitColumn& column : units.columns) {
        double product = total * column.factor;
        values[n++] = column.divideByDays ? product / days : product;
    }
    return n;
}
