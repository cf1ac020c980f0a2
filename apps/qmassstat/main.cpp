// qmassstat: mass flux in kilograms per second, reported in kilograms.
#include "driver/driver.h"
#include "stats/stats.h"

int main(int argc, char** argv) {
    static const Deliverable qmassstat = {
        "qmassstat",
        MassUnitSet,
        {"Flux        [kg]       [kg/day]      [kg/yr]    ", "Flux       [kg]    [kg/day]"},
        "kg/s",
    };
    runDriver(qmassstat, argc, argv);
}
