// Series rows: the rows of a series file in file order, the common ones read
// without the general free-form machinery and, on a file with a second
// processor at hand, parsed ahead by a second thread.
#pragma once

#include <cstdint>
#include <memory>

#include "textio/record_source.h"

// What scanPlainLines read.
struct PlainLines {
    const char* stop = nullptr;  // the start of the first line not read
    std::int64_t rows = 0;       // common rows read
    std::int64_t lines = 0;      // line feeds consumed: the rows' and the blank lines'
};

// Reads, line by line from `p`, the lines that start before `limit`, for as
// long as each is a blank line (blanks, tabs and CRs only), which is passed
// over, or a common row, read into time[i] and rate[i] (at most `count`
// rows). A common row is one line of two plain numbers (scanPlainNumber)
// separated by blanks, tabs and at most one comma, the second followed by
// the line end or by a blank, tab, comma or slash (the rest of the line is
// never examined). Every line up to the line feed `last` must be whole, and
// the text must carry textPadding bytes after `last`. Stops before the first
// line in another form, or past `last`, having consumed nothing of it.
PlainLines scanPlainLines(const char* p, const char* limit, const char* last, double* time, double* rate,
                          std::int64_t count);

// Rows read, in file order: row i is (time[i], rate[i]). The memory belongs
// to the reader and stays valid until its next read; the caller may change
// the values.
struct RowSpan {
    double* time = nullptr;
    double* rate = nullptr;
    std::int64_t count = 0;
};

// The state of a row reader: blocks of the file parsed ahead, and the thread
// that parses them beside the caller's. Ending it ends that thread.
struct RowReaderState;
struct RowReaderEnd {
    void operator()(RowReaderState* state) const;
};
using RowReader = std::unique_ptr<RowReaderState, RowReaderEnd>;

// Starts reading the rows of `source`, a file source standing at the start
// of a record. The rows of a regular file of at least one block are parsed
// ahead a block at a time, by a second thread as well where the process may
// use a second processor; any other source is read straight on. Without the
// memory for blocks, or a second thread, it reads straight on too.
// `blockBytes` (0: 256 KiB) and `threads` (0: by the processors the process
// may use; 1 or 2) are for tests. Without memory for its own state, the
// run ends in run-time error 41.
RowReader startRowReader(RecordSource& source, std::int64_t blockBytes = 0, int threads = 0);

// The common rows at the position of `source`, at most `count`, exactly as
// readFreeForm would read them, with blank lines before them passed over.
// `source` then stands after them, its line count advanced. An empty span
// means that the row at the position is in another form, or that the source
// has no whole line left, or that a read of the block there was refused
// (the source is then failed): the caller reads that row with readFreeForm,
// which reports the refusal, and asks again.
RowSpan readPlainRows(RowReader& reader, RecordSource& source, std::int64_t count);

// Ends the reading ahead, and its thread. Returns false when the system
// refused a read of a block parsed ahead that the consumer never reached:
// every refused read of a series fails its run, whether or not its rows
// were needed.
bool stopRowReader(RowReader& reader);
