// The run driver: settings, argument or interactive mode, the report path,
// the input existence test and the fixed order of a run.
#pragma once

#include <cstddef>

#include "report/report.h"
#include "stats/stats.h"
#include "textio/text_fields.h"

struct UnitSet;

// The characters of the threshold's text: a longer third argument is cut.
constexpr std::size_t thresholdLength = 32;

// The settings of one run.
struct RunSettings {
    char finput[pathLength];    // input series path, blank-padded
    char foutput[pathLength];   // report path, blank-padded
    double fluxmax = defaultFluxmax;  // outlier threshold
    bool interactive = false;   // started with no command-line argument
};

// What makes one program of the pair: its name, unit set and header texts.
struct Deliverable {
    const char* programName;  // "qvolstat" or "qmassstat"
    const UnitSet& units;
    ReportHeaders headers;
    const char* rateUnit;  // the unit of the series' rates, for --help: "m^3/s" or "kg/s"
};

// The whole run of a program. Never returns.
[[noreturn]] void runDriver(const Deliverable& deliverable, int argc, char** argv);
