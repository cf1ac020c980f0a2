// The row read of the series reader (two doubles a row), done two ways over
// the same bytes: the way the reader does it (the row reader over a source
// buffer and blocks of the sizes the input's two leading bytes set, asked
// for a few rows at a time, then the general free-form read for each row
// that it leaves), and through the general free-form read alone, over a
// buffer that holds the whole input. Both must give the same statuses, the
// same doubles bit for bit, and the same line numbers: where they stop, and
// where a failing row failed. `catchEnd` chooses the `.txt` rows (both
// flags) or the `.xys` rows (catchError only, so the end of the data is
// run-time error 24). With one thread the bytes are served from memory
// (platform.h) and every block is parsed on the caller's thread; with two,
// the row_hand_over target's, they are a real file in memory-backed storage
// and a partner thread parses blocks ahead. Left out: refused reads (the
// fault-injection suite fails them), inputs over 4096 rows.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>

#include "fuzz_support.h"
#include "rows/rows.h"
#include "textio/free_form.h"

// Rows compared at most; the data rarely holds more.
constexpr int fuzzRowLimit = 4096;

// One way of reading the rows, and what it read.
struct RowReading {
    double time[fuzzRowLimit];
    double rate[fuzzRowLimit];
    int status[fuzzRowLimit];
    int rows = 0;         // rows attempted, the failing one included
    int stopStatus = -1;  // status of a stop that ended the reading, -1 for none
    std::int64_t line = 0;        // the source's line when a status ended the reading
    std::int64_t failedLine = 0;  // the line of a failing row
};

// A row of the general read, its items 0.0 beforehand as in the reader.
inline int readGeneralRow(RecordSource& source, double& time, double& rate, bool catchEnd, ReadLines& lines) {
    time = 0.0;
    rate = 0.0;
    const ReadItem row[] = {realItem(time), realItem(rate)};
    return readFreeForm(source, row, catchEnd, true, &lines);
}

// Reads rows from `file` until a status other than 0 or the row limit: by the
// row reader as `settings` say when `viaCommonRows`, else by the general
// read alone over a buffer of `bufferBytes`.
inline void readRows(FileHandle file, bool viaCommonRows, bool catchEnd, const ReadSettings& settings,
                     std::size_t bufferBytes, RowReading& out) {
    out.rows = 0;
    out.line = 0;
    out.failedLine = 0;
    out.stopStatus = runCatchingStop([&] {
        RecordSource source = fileSource(file, seriesUnit, "fuzz rows", bufferBytes);
        RowReader reader = viaCommonRows ? startRowReader(source, settings.blockBytes, settings.threads) : nullptr;
        bool waited = false;
        while (out.rows < fuzzRowLimit) {
            int i = out.rows;
            if (viaCommonRows) {
                RowSpan span = readPlainRows(reader, source, std::min<std::int64_t>(settings.rowsAtATime, fuzzRowLimit - i));
                letPartnerStart(settings, waited);
                for (std::int64_t k = 0; k < span.count; ++k) {
                    out.time[i + k] = span.time[k];
                    out.rate[i + k] = span.rate[k];
                    out.status[i + k] = readComplete;
                }
                out.rows += static_cast<int>(span.count);
                if (span.count > 0) continue;  // only an empty run leaves a row to the general read
            }
            out.status[i] = 1000;  // overwritten unless the read stops the run
            ++out.rows;
            ReadLines lines;
            out.status[i] = readGeneralRow(source, out.time[i], out.rate[i], catchEnd, lines);
            int s = out.status[i];
            require(s == readComplete || s == readEnd || s == errRead || s == errSyntax || s == errConversion,
                    "row read returned an unknown status");
            require(catchEnd || s != readEnd, "end of file returned although not caught");
            if (s != readComplete) {
                if (s > 0) out.failedLine = lines.failure;
                // where a status ends the reading, both ways stand at the same place
                out.line = source.line;
                break;
            }
        }
    });
}

inline bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Reads `data` (after its two bytes of settings) both ways, the row reader
// with `threads` threads, and requires that they agree.
inline void compareRowReads(const std::uint8_t* data, std::size_t size, bool catchEnd, int threads) {
    static RowReading reader;
    static RowReading general;
    if (size < readSettingsBytes) return;
    ReadSettings settings = readSettings(data, threads);
    data += readSettingsBytes;
    size -= readSettingsBytes;
    FileHandle file = servedFileHandle();
    if (settings.threads > 1) {
        serveFileFromMemory(nullptr, nullptr, 0);
        file = FileHandle{memoryFile(data, size)};
    } else {
        serveFileFromMemory("fuzz rows", reinterpret_cast<const char*>(data), size);
    }
    readRows(file, true, catchEnd, settings, settings.bufferBytes, reader);
    readRows(file, false, catchEnd, settings, size + 16, general);
    require(reader.stopStatus == general.stopStatus, "the two row reads stop differently");
    require(reader.stopStatus == -1 || reader.stopStatus == errEndOfFile, "a row read stopped with other than 24");
    require(reader.rows == general.rows, "the two row reads read different numbers of rows");
    require(reader.line == general.line, "the two row reads end on different lines");
    require(reader.failedLine == general.failedLine, "the two row reads place a failure on different lines");
    for (int i = 0; i < reader.rows; ++i) {
        // A row whose read stopped the run has no status: both keep the mark.
        require(reader.status[i] == general.status[i], "a row has different statuses");
        if (reader.status[i] != readComplete) continue;  // a failed row's items are discarded
        require(sameBits(reader.time[i], general.time[i]), "a time differs between the two reads");
        require(sameBits(reader.rate[i], general.rate[i]), "a rate differs between the two reads");
    }
}
