// The rows of a series file, parsed ahead a block at a time.
//
// The bytes of a regular file from its first row on (dataStart) up to the
// size it had when reading began (dataEnd) fall into blocks, and a line
// belongs to the block that holds its first byte. Parsing a block reads its
// bytes, and the rest of its last line, into a slot and reads its lines with
// scanPlainLines as if each line in another form were one row of its own.
// What that gives is a list of segments: runs of lines read, each with its
// rows. The guess is checked by the caller's thread, the consumer, which
// alone moves the source: it takes a segment's rows only when the source
// stands exactly at the segment's start, and reads everything else itself,
// with scanPlainLines on the source's buffer or, row by row, with the
// caller's readFreeForm. So the rows taken are the rows a single straight
// reading would give, whatever the guesses.
//
// Two threads, and who owns what when (the one protocol between them):
// - `mutex` guards nextClaim, consumed, ending, and every slot's state,
//   block and owner.
// - Blocks are claimed in file order, each once, by claimBlock under the
//   mutex; block j goes to slot j % slotCount, and may be claimed only once
//   block j - slotCount is released, so that a slot holds one block at a time.
// - From its claim until it is published (state parsed), a slot's text, rows
//   and segments are written by the claiming thread alone and read by no one.
// - From publication until its release (state free), the slot belongs to
//   the consumer, which alone reads it and may change it.
// - The source, its buffer, the rows read straight on and everything of the
//   caller belong to the consumer alone. Both threads read the file, with
//   positional reads only, which share no file position.
// - file, dataStart, dataEnd and blockBytes are set before the partner
//   starts and never change. blockCount is set before it starts too, and
//   changes only once more, lowered under the mutex by the consumer when
//   parsing ahead proves fruitless (stopParsingAhead).
// Debug builds assert the owner of a slot wherever it is written or read.
#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#include "numbers/plain_number.h"
#include "rows/rows.h"
#include "stops/stops.h"

namespace {

constexpr std::int64_t defaultBlockBytes = std::int64_t{1} << 18;
constexpr int slotCount = 4;
// Bytes read past a block for the end of its last line; a longer line is
// left to the consumer.
constexpr std::int64_t lineSlack = 4096;
// Segments that a block parse records; the rest of the block is left to the
// consumer, since lines in other forms that come so thick are rows the
// general read must take anyway.
constexpr int segmentLimit = 64;
// Rows the consumer reads at a time on its own.
constexpr std::int64_t straightRows = 4096;

// A run of lines that a block parse read: from file offset `start` to `end`,
// `lines` line feeds, and `rows` rows from row `firstRow` of the slot on.
struct Segment {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t firstRow = 0;
    std::int64_t rows = 0;
    std::int64_t lines = 0;
};

enum class SlotState { free, parsing, parsed };

struct BlockSlot {
    SlotState state = SlotState::free;
    std::int64_t block = -1;
    std::thread::id owner;          // the thread that may touch the slot now
    std::unique_ptr<char[]> text;   // the bytes read, from file offset textOffset on
    std::int64_t textOffset = 0;
    std::unique_ptr<double[]> time;
    std::unique_ptr<double[]> rate;
    Segment segments[segmentLimit];
    int segmentCount = 0;
    bool refused = false;  // the system refused a read of the block's bytes
};

}  // namespace

struct RowReaderState {
    FileHandle file;
    std::int64_t dataStart = 0;
    std::int64_t dataEnd = 0;
    std::int64_t blockBytes = defaultBlockBytes;
    std::int64_t blockCount = 0;  // 0: the source is read straight on
    bool twoThreads = false;

    std::mutex mutex;
    std::condition_variable changed;
    std::int64_t nextClaim = 0;  // the next block to parse
    std::int64_t consumed = 0;   // blocks released: each block before it
    bool ending = false;
    BlockSlot slots[slotCount];
    std::thread partner;

    // The consumer's own: the block whose segments it stands at, the next
    // segment there, and the rows it reads straight on.
    std::int64_t current = 0;
    bool holding = false;  // the current block's slot is the consumer's
    int segment = 0;
    int barrenBlocks = 0;  // blocks in a row whose parse gave no row
    bool refused = false;  // the current block's read was refused
    std::unique_ptr<double[]> straightTime;
    std::unique_ptr<double[]> straightRate;
};

namespace {

std::int64_t blockBegin(const RowReaderState& s, std::int64_t block) {
    return std::min(s.dataStart + block * s.blockBytes, s.dataEnd);
}

// Rows that a block can hold: a common row takes at least four bytes.
std::int64_t blockRowCapacity(const RowReaderState& s) { return s.blockBytes / 4 + 2; }

std::size_t slotTextBytes(const RowReaderState& s) {
    return static_cast<std::size_t>(s.blockBytes + 1 + lineSlack) + textPadding;
}

// Claims the next block for the calling thread: the one place that plans
// what is parsed ahead. Returns it, or -1 when every block is claimed or the
// slot of the next one is still in use. Called under the mutex.
std::int64_t claimBlock(RowReaderState& s) {
    std::int64_t block = s.nextClaim;
    if (block >= s.blockCount || block >= s.consumed + slotCount) return -1;
    BlockSlot& slot = s.slots[block % slotCount];
    assert(slot.state == SlotState::free);
    slot.state = SlotState::parsing;
    slot.block = block;
    slot.owner = std::this_thread::get_id();
    ++s.nextClaim;
    return block;
}

// Reads up to `size` bytes from `offset` on; fewer only at the end of the
// file or where the system refuses a read, which sets `refused`.
std::int64_t readBlockBytes(FileHandle file, std::int64_t offset, char* text, std::int64_t size, bool& refused) {
    std::int64_t got = 0;
    while (got < size) {
        std::ptrdiff_t n = readFileBytesAt(file, offset + got, text + got, static_cast<std::size_t>(size - got));
        if (n < 0) refused = true;
        if (n <= 0) break;
        got += n;
    }
    return got;
}

// Parses block `block` into `slot`, which the calling thread has claimed.
void parseBlock(const RowReaderState& s, BlockSlot& slot, std::int64_t block) {
    assert(slot.owner == std::this_thread::get_id() && slot.state == SlotState::parsing);
    slot.segmentCount = 0;
    slot.refused = false;
    std::int64_t begin = blockBegin(s, block);
    std::int64_t end = blockBegin(s, block + 1);
    // From the byte before the block on, to tell whether a line starts at its first byte.
    slot.textOffset = block == 0 ? begin : begin - 1;
    char* text = slot.text.get();
    std::int64_t got =
        readBlockBytes(s.file, slot.textOffset, text, end + lineSlack - slot.textOffset, slot.refused);
    // A refused read ends the run once the consumer reaches the block, as a
    // refused read of the consumer's own would: nothing of it is parsed.
    if (slot.refused) return;
    std::memset(text + got, 0, textPadding);
    const char* last = text + got;
    while (last > text && last[-1] != '\n') --last;
    if (last == text) return;  // not one whole line
    --last;
    const char* limit = text + (end - slot.textOffset);
    const char* p = text;
    if (block > 0) p = static_cast<const char*>(std::memchr(text, '\n', static_cast<std::size_t>(last - text) + 1)) + 1;
    std::int64_t rows = 0;
    while (p < limit && p <= last && slot.segmentCount < segmentLimit) {
        PlainLines read = scanPlainLines(p, limit, last, slot.time.get() + rows, slot.rate.get() + rows,
                                         blockRowCapacity(s) - rows);
        if (read.lines > 0) {
            slot.segments[slot.segmentCount++] = {slot.textOffset + (p - text), slot.textOffset + (read.stop - text),
                                                  rows, read.rows, read.lines};
            rows += read.rows;
        }
        p = read.stop;
        if (p >= limit || p > last) break;
        // A line in another form: guess that it is one row of its own.
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(last - p) + 1)) + 1;
    }
}

// Parses the block just claimed under `lock`, and publishes it.
void parseClaimed(RowReaderState& s, std::unique_lock<std::mutex>& lock, std::int64_t block) {
    BlockSlot& slot = s.slots[block % slotCount];
    lock.unlock();
    parseBlock(s, slot, block);
    lock.lock();
    slot.state = SlotState::parsed;
    slot.owner = std::thread::id();
    s.changed.notify_all();
}

// The partner thread: parses every block it can claim, until the reader ends.
void partnerThread(RowReaderState* s) {
    std::unique_lock<std::mutex> lock(s->mutex);
    while (!s->ending) {
        std::int64_t block = claimBlock(*s);
        if (block < 0) {
            s->changed.wait(lock);
        } else {
            parseClaimed(*s, lock, block);
        }
    }
}

// Starts the partner at the first need, where it can help.
void startPartner(RowReaderState& s) {
    if (!s.twoThreads || s.partner.joinable()) return;
    s.twoThreads = false;  // one attempt
    try {
        s.partner = std::thread(partnerThread, &s);
    } catch (...) {
        // No thread could be started (std::system_error), or no memory for
        // its state (std::bad_alloc): one thread reads it all.
    }
}

// The slot of block `block`, parsed: waits for it, meanwhile parsing on this
// thread whatever block it can claim (the block itself first, unless the
// partner has claimed it).
BlockSlot& parsedBlock(RowReaderState& s, std::int64_t block) {
    startPartner(s);
    std::unique_lock<std::mutex> lock(s.mutex);
    BlockSlot& slot = s.slots[block % slotCount];
    for (;;) {
        if (slot.block == block && slot.state == SlotState::parsed) break;
        std::int64_t claimed = claimBlock(s);
        if (claimed >= 0) {
            parseClaimed(s, lock, claimed);
        } else {
            s.changed.wait(lock);
        }
    }
    slot.owner = std::this_thread::get_id();
    return slot;
}

// Blocks in a row without a row parsed after which no more are parsed
// ahead: a series whose rows take the general read throughout.
constexpr int barrenBlockLimit = 2;

// Done with the current block: its slot is free for the block slotCount on.
// After barrenBlockLimit blocks in a row that gave no row, no block is
// claimed any more: the consumer reads the rest straight on, and the
// partner has nothing left to do.
void releaseBlock(RowReaderState& s) {
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        BlockSlot& slot = s.slots[s.current % slotCount];
        assert(slot.block == s.current && slot.owner == std::this_thread::get_id());
        bool rows = false;
        for (int i = 0; i < slot.segmentCount; ++i) rows = rows || slot.segments[i].rows > 0;
        s.barrenBlocks = rows ? 0 : s.barrenBlocks + 1;
        if (s.barrenBlocks >= barrenBlockLimit) s.blockCount = s.nextClaim;  // stop parsing ahead
        slot.state = SlotState::free;
        slot.owner = std::thread::id();
        s.consumed = s.current + 1;
    }
    s.changed.notify_all();
    ++s.current;
    s.holding = false;
    s.segment = 0;
}

// The first segment of the block that holds the line at `position` that
// starts there or later, or nullptr when there is none; `limit` is then
// where the next block begins. Blocks wholly before `position` are released.
Segment* segmentFrom(RowReaderState& s, std::int64_t position, std::int64_t& limit) {
    limit = std::numeric_limits<std::int64_t>::max();
    while (s.current < s.blockCount) {
        BlockSlot& slot = s.holding ? s.slots[s.current % slotCount] : parsedBlock(s, s.current);
        s.holding = true;
        if (slot.refused) {
            s.refused = true;
            return nullptr;
        }
        std::int64_t next = blockBegin(s, s.current + 1);
        if (position < next || s.current + 1 == s.blockCount) {
            for (; s.segment < slot.segmentCount; ++s.segment) {
                Segment& segment = slot.segments[s.segment];
                if (segment.start >= position) return &segment;
            }
            if (position < next) {
                limit = next;
                return nullptr;
            }
        }
        releaseBlock(s);
    }
    return nullptr;
}

// The first `count` rows of `segment`, which starts where the source stands.
RowSpan takeSegment(RowReaderState& s, RecordSource& source, Segment& segment, std::int64_t count) {
    BlockSlot& slot = s.slots[s.current % slotCount];
    assert(slot.owner == std::this_thread::get_id());
    RowSpan span{slot.time.get() + segment.firstRow, slot.rate.get() + segment.firstRow,
                 std::min(count, segment.rows)};
    if (span.count == segment.rows) {
        seekSource(source, segment.end, segment.lines);
        ++s.segment;
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

// Sets up the blocks of a regular file, when there is room for them.
void setUpBlocks(RowReaderState& s, RecordSource& source, std::int64_t blockBytes, int threads) {
    std::int64_t size = regularFileSize(source.file);
    if (!source.positional || size < 0) return;
    s.file = source.file;
    s.dataStart = sourceOffset(source);
    s.dataEnd = size;
    s.blockBytes = blockBytes;
    if (s.dataEnd - s.dataStart < blockBytes) return;  // too short to gain from blocks
    for (BlockSlot& slot : s.slots) {
        slot.text.reset(new (std::nothrow) char[slotTextBytes(s)]);
        slot.time.reset(new (std::nothrow) double[static_cast<std::size_t>(blockRowCapacity(s))]);
        slot.rate.reset(new (std::nothrow) double[static_cast<std::size_t>(blockRowCapacity(s))]);
        if (!slot.text || !slot.time || !slot.rate) return;
    }
    s.blockCount = (s.dataEnd - s.dataStart + blockBytes - 1) / blockBytes;
    s.twoThreads = s.blockCount > 1 && (threads > 1 || (threads == 0 && usableProcessorCount() > 1));
}

}  // namespace

// Ends the partner thread, once it has finished the block in hand.
static void endPartner(RowReaderState& s) {
    if (!s.partner.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.ending = true;
    }
    s.changed.notify_all();
    s.partner.join();
}

void RowReaderEnd::operator()(RowReaderState* state) const {
    endPartner(*state);
    delete state;
}

bool stopRowReader(RowReader& reader) {
    RowReaderState& s = *reader;
    endPartner(s);
    // Only this thread is left: every slot is the consumer's now.
    for (const BlockSlot& slot : s.slots)
        if (slot.state == SlotState::parsed && slot.refused) return false;
    return !s.refused;
}

RowReader startRowReader(RecordSource& source, std::int64_t blockBytes, int threads) {
    RowReader reader(new (std::nothrow) RowReaderState);
    if (!reader) raiseRunTimeError(errMemory, 0, "");
    RowReaderState& s = *reader;
    s.straightTime.reset(new (std::nothrow) double[straightRows]);
    s.straightRate.reset(new (std::nothrow) double[straightRows]);
    if (!s.straightTime || !s.straightRate) raiseRunTimeError(errMemory, 0, "");
    setUpBlocks(s, source, blockBytes > 0 ? blockBytes : defaultBlockBytes, threads);
    return reader;
}

RowSpan readPlainRows(RowReader& reader, RecordSource& source, std::int64_t count) {
    RowReaderState& s = *reader;
    while (count > 0 && source.atRecordStart) {
        std::int64_t limit = std::numeric_limits<std::int64_t>::max();
        Segment* segment = s.blockCount > 0 ? segmentFrom(s, sourceOffset(source), limit) : nullptr;
        if (s.refused) {
            failSource(source);  // the caller's next read meets the refusal
            return {};
        }
        if (segment != nullptr && segment->start == sourceOffset(source)) {
            RowSpan span = takeSegment(s, source, *segment, count);
            if (span.count > 0) return span;
            continue;  // blank lines only
        }
        if (segment != nullptr) limit = segment->start;
        bool moved = false;
        RowSpan span = readStraightOn(s, source, limit, count, moved);
        if (span.count > 0 || !moved) return span;
    }
    return {};
}
