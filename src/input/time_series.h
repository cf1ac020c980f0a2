// Time-series input: loads a `.txt` or `.xys` series file into a TimeSeries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Rows read from a `.txt` series at most; later rows are ignored.
constexpr std::int32_t txtRowLimit = 100000;

// A series as read. Sample i (1..count) is (time[i - 1], rate[i - 1]).
struct TimeSeries {
    char name[32];                   // from an `.xys` header; blanks for `.txt`
    std::int32_t count = 0;          // may be zero or negative from a header
    std::unique_ptr<double[]> time;  // hours; max(count, 0) elements
    std::unique_ptr<double[]> rate;  // base unit per second
};

// True when `finput` names an `.xys` series: the text after its first "."
// (the whole name when there is none), trailing blanks ignored, is "xys".
bool isXysName(const char* finput, std::size_t length);

// Reads the series file named by the 200-character `finput`. Returns only on
// success; a failure ends the run in the read-error or run-time error stop.
TimeSeries readTimeSeries(const char* finput);
