// The row reader: the common rows of a series file, exactly as a straight
// reading gives them, taken from blocks parsed ahead (block_pool.h) where
// those hold them. Everything here runs on the caller's thread, the
// consumer, which alone moves the record source: it takes a segment's rows
// only when the source stands exactly at the segment's start, and reads
// everything else itself, with scanPlainLines on the source's buffer or, row
// by row, through the caller's readFreeForm. So the rows taken are the rows
// of a straight reading, whatever the parse ahead guessed.
//
// A worked example, with blocks of 32 bytes:
//
//   offset  0  "0 1\n"      block 0 is [0, 32)
//           4  "1 2\n"
//           8  "2 3 /\n"    a common row: the slash ends it
//          14  "3*4\n"      another form: a row for the general read
//          18  "4 5\n"
//          22  "5 6\n"
//          26  "6 7.25\n"   starts in block 0, ends in block 1
//          33  "7 8\n"      block 1 is [32, 64): its first line starts here
//
// Parsing block 0 reads [0, 32) and the rest of its last line, and records
// two segments: A = [0, 14), rows 0 to 2 of the slot, then, guessing that
// the line at 14 is one row, B = [18, 33), rows 3 to 5.
// - The source at 0, asked for 2 rows: A starts there. Its first 2 rows are
//   taken, read again to find where they end (8), and A becomes [8, 14) with
//   one row, which the next call takes: the source stands at 14.
// - At 14 the first segment at or after 14 is B, at 18: the consumer reads
//   straight on up to 18, finds no common row, and returns none; the caller
//   reads "3*4" (time 4, rate 4) with readFreeForm. Had that row gone on over
//   the next line, the source would stand past 18, B would not start there,
//   and its rows would never be taken: the consumer would read straight on.
// - At 18, B starts there: its 3 rows are taken, and the source moves to
//   33. That is in block 1: block 0 is released, block 1's slot acquired.
#include <algorithm>
#include <cassert>
#include <limits>
#include <new>

#include "numbers/plain_number.h"
#include "rows/block_pool.h"
#include "rows/rows.h"
#include "stops/stops.h"

namespace {

constexpr std::int64_t defaultBlockBytes = std::int64_t{1} << 18;
// Rows the consumer reads at a time on its own.
constexpr std::int64_t straightRows = 4096;
// Blocks in a row without a row parsed after which no more are parsed
// ahead: a series whose rows take the general read throughout.
constexpr int barrenBlockLimit = 2;
constexpr std::int64_t noLimit = std::numeric_limits<std::int64_t>::max();

// Where the consumer stands among the blocks: the block it is at, whether
// it holds that block's slot, the next segment there that it may take, and
// how many blocks in a row gave no row.
struct Cursor {
    std::int64_t block = 0;
    BlockSlot* slot = nullptr;
    int segment = 0;
    int barrenBlocks = 0;
};

// What the consumer finds at a position: the first segment of the block
// that holds the line there which starts at the position or later, and
// where reading straight on must stop (that segment's start, or the start
// of the next block, or nowhere); or that the block's read was refused.
struct Found {
    Segment* segment = nullptr;
    std::int64_t limit = noLimit;
    bool refused = false;
};

}  // namespace

struct RowReaderState {
    BlockPool pool;
    Cursor cursor;
    std::unique_ptr<double[]> straightTime;
    std::unique_ptr<double[]> straightRate;
};

namespace {

// Leaves the cursor's block for the next, releasing its slot. After
// barrenBlockLimit blocks in a row that gave no row, nothing more is parsed
// ahead.
void leaveBlock(RowReaderState& s) {
    Cursor& at = s.cursor;
    bool rows = false;
    for (int i = 0; i < at.slot->segmentCount; ++i) rows = rows || at.slot->segments[i].rows > 0;
    at.barrenBlocks = rows ? 0 : at.barrenBlocks + 1;
    if (at.barrenBlocks >= barrenBlockLimit) stopParsingAhead(s.pool);
    releaseBlock(s.pool, at.block);
    ++at.block;
    at.slot = nullptr;
    at.segment = 0;
}

// What there is at file offset `position`, which lies at or after the
// cursor; blocks wholly before it are left.
Found segmentFrom(RowReaderState& s, std::int64_t position) {
    Cursor& at = s.cursor;
    while (at.block < s.pool.blockCount) {
        if (at.slot == nullptr) at.slot = &acquireBlock(s.pool, at.block);
        assertHeld(*at.slot);
        if (at.slot->refused) return {nullptr, noLimit, true};
        std::int64_t next = blockBegin(s.pool, at.block + 1);
        bool last = at.block + 1 == s.pool.blockCount;
        if (position < next || last) {
            for (; at.segment < at.slot->segmentCount; ++at.segment) {
                Segment& segment = at.slot->segments[at.segment];
                if (segment.start >= position) return {&segment, segment.start, false};
            }
            if (position < next) return {nullptr, next, false};
        }
        leaveBlock(s);
    }
    return {};
}

// The first `count` rows of `segment`, which starts where the source stands.
RowSpan takeSegment(RowReaderState& s, RecordSource& source, Segment& segment, std::int64_t count) {
    const BlockSlot& slot = *s.cursor.slot;
    assertHeld(slot);
    RowSpan span{slot.time.get() + segment.firstRow, slot.rate.get() + segment.firstRow,
                 std::min(count, segment.rows)};
    if (span.count == segment.rows) {
        seekSource(source, segment.end, segment.lines);
        ++s.cursor.segment;
        return span;
    }
    // The caller wants fewer rows: find where they end by reading them again,
    // and leave the rest of the segment for later.
    const char* text = slot.text.get();
    const char* start = text + (segment.start - slot.textOffset);
    const char* last = text + (segment.end - slot.textOffset) - 1;
    PlainLines read = scanPlainLines(start, last + 1, last, span.time, span.rate, span.count);
    std::int64_t stop = slot.textOffset + (read.stop - text);
    seekSource(source, stop, read.lines);
    segment.start = stop;
    segment.firstRow += span.count;
    segment.rows -= span.count;
    segment.lines -= read.lines;
    return span;
}

// Common rows read straight on from the source's buffer, from lines that
// start before file offset `limit`. `moved` tells whether any line was read.
RowSpan readStraightOn(RowReaderState& s, RecordSource& source, std::int64_t limit, std::int64_t count, bool& moved) {
    moved = false;
    const char* last = source.atRecordStart ? holdLine(source) : nullptr;
    if (last == nullptr) return {};
    std::int64_t ahead = limit - sourceOffset(source);
    const char* end = ahead <= last - source.pos ? source.pos + ahead : last + 1;
    PlainLines read = scanPlainLines(source.pos, end, last, s.straightTime.get(), s.straightRate.get(),
                                     std::min(count, straightRows));
    advanceSource(source, static_cast<std::size_t>(read.stop - source.pos), read.lines);
    moved = read.lines > 0;
    return {s.straightTime.get(), s.straightRate.get(), read.rows};
}

}  // namespace

void RowReaderEnd::operator()(RowReaderState* state) const {
    endPartner(state->pool);
    delete state;
}

bool stopRowReader(RowReader& reader) {
    endPartner(reader->pool);
    return !unreleasedRefusal(reader->pool);
}

RowReader startRowReader(RecordSource& source, std::int64_t blockBytes, int threads) {
    RowReader reader(new (std::nothrow) RowReaderState);
    if (!reader) raiseRunTimeError(errMemory, 0, "");
    RowReaderState& s = *reader;
    s.straightTime.reset(new (std::nothrow) double[straightRows]);
    s.straightRate.reset(new (std::nothrow) double[straightRows]);
    if (!s.straightTime || !s.straightRate) raiseRunTimeError(errMemory, 0, "");
    if (source.positional)
        setUpBlocks(s.pool, source.file, sourceOffset(source), blockBytes > 0 ? blockBytes : defaultBlockBytes,
                    threads);
    return reader;
}

RowSpan readPlainRows(RowReader& reader, RecordSource& source, std::int64_t count) {
    RowReaderState& s = *reader;
    while (count > 0 && source.atRecordStart) {
        std::int64_t position = sourceOffset(source);
        Found found = s.pool.blockCount > 0 ? segmentFrom(s, position) : Found{};
        if (found.refused) {
            failSource(source);  // the caller's next read meets the refusal
            return {};
        }
        if (found.segment != nullptr && found.segment->start == position) {
            RowSpan span = takeSegment(s, source, *found.segment, count);
            if (span.count > 0) return span;
            continue;  // blank lines only
        }
        bool moved = false;
        RowSpan span = readStraightOn(s, source, found.limit, count, moved);
        if (span.count > 0 || !moved) return span;
    }
    return {};
}
