// Time-series input: a `.txt` or `.xys` series file, read in file order, a
// run of rows at a time, through a SeriesReader that holds the series' name
// and count and where the reading stands. Nothing holds the series whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rows/rows.h"
#include "textio/record_source.h"
#include "textio/text_fields.h"

// Rows read from a `.txt` series at most; later rows are ignored.
constexpr std::int32_t txtRowLimit = 100000;

// The largest row count an `.xys` header may give: the count whose array of
// doubles still has a size in bytes that fits in 32 bits.
constexpr std::int32_t xysRowLimit = 536870911;

// A series file being read.
struct SeriesReader {
    char name[seriesNameLength];  // from an `.xys` header; blanks for `.txt`
    std::int32_t count = 0;  // from an `.xys` header (may be zero or negative); for `.txt` final once read

    // Where the reading stands.
    bool xys = false;
    RecordSource source;
    RowReader rows;
    std::int64_t rowsRead = 0;
    std::int64_t rowLimit = 0;  // the header's count, or txtRowLimit
    bool spillReported = false;
    bool ended = false;  // every row read and the file closed
    double time = 0.0;   // a row read by the general read
    double rate = 0.0;
};

// True when `finput` names an `.xys` series: the text after its first "."
// (the whole name when there is none), trailing blanks ignored, is "xys".
bool isXysName(const char* finput, std::size_t length);

// How a series is read, for tests (0 each: as the programs read): the size of
// the source's buffer (fileSource), of the blocks parsed ahead and the
// threads that parse them (startRowReader).
struct ReadTuning {
    std::size_t bufferBytes = 0;
    std::int64_t blockBytes = 0;
    int threads = 0;
};

// Opens the series file named by the path field `finput` and reads the
// header of an `.xys` series. A failure ends the run in the run-time error
// stop: nothing of the rows has been read then.
SeriesReader openSeries(const char* finput, const ReadTuning& tuning = {});

// The next rows of the series, in file order: row i is (time[i], rate[i]),
// valid until the next call. An empty run once every row is read; the file
// is closed then, and `count` final. A row that cannot be read ends the run
// in the read-error stop, an `.xys` series short of rows in run-time error
// 24.
RowSpan readSeriesRows(SeriesReader& series);

// Warns on standard error that the time of row `row` (counted from 1) is
// below the time of the row before it; the run goes on.
void warnTimeGoesBack(const SeriesReader& series, std::int64_t row);
