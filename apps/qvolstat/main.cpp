// qvolstat: water discharge in cubic metres per second, reported in cubic
// metres, cubic yards and cubic feet.
#include "driver/driver.h"
#include "stats/stats.h"

int main(int argc, char** argv) {
    static const Deliverable qvolstat = {
        "qvolstat",
        VolumeUnitSet,
        {"Flux       [cu m]       [cu yd]     [cu ft]     [cu m/day]   [cu yd/day]  [cu ft/day]   "
         "[cu m/yr]    [cu yd/yr]   [cu ft/yr]",
         "Flux       [cu m]    [cu m/day]"},
        "m^3/s",
    };
    runDriver(qvolstat, argc, argv);
}
