// Blocks of a regular file parsed ahead: the only code of the programs that
// runs on two threads. Private to rows/: the row reader (row_reader.cpp) is
// its one consumer.
//
// The bytes of the file from its first row on (dataStart) up to the size it
// had when reading began (dataEnd) fall into blocks of blockBytes, and a line
// belongs to the block that holds its first byte. Parsing a block reads its
// bytes, and the rest of its last line, into a slot and reads its lines with
// scanPlainLines as if each line in another form were one row of its own:
// what that gives is a list of segments, runs of lines read, each with its
// rows. Nothing here knows where the consumer stands; it only parses ahead.
//
// Two threads, and who owns what when (the one protocol between them):
// - `mutex` guards nextClaim, consumed, ending, blockCount once the partner
//   runs, and every slot's state, block and owner.
// - Blocks are claimed in file order, each once, by claimBlock under the
//   mutex; block j goes to slot j % slotCount, and may be claimed only once
//   block j - slotCount is released, so that a slot holds one block at a time.
// - From its claim until it is published (state parsed), a slot's text, rows,
//   segments and refusal are written by the claiming thread alone and read by
//   no one.
// - From publication until its release (state free), the slot belongs to
//   the consumer, which alone reads it and may change it (acquireBlock,
//   releaseBlock).
// - Everything else of the caller's (its record source, its buffer, the rows
//   it reads straight on) is the consumer's alone. Both threads read the
//   file, with positional reads only, which share no file position.
// - file, dataStart, dataEnd and blockBytes are set before the partner
//   starts and never change. blockCount is set before it starts too, and
//   changes only once more, lowered under the mutex by the consumer
//   (stopParsingAhead).
// Debug builds assert the owner of a slot wherever it is written or read.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/platform.h"

constexpr int slotCount = 4;
// Segments that a block parse records; the rest of the block is left to the
// consumer, since lines in other forms that come so thick are rows the
// general read must take anyway.
constexpr int segmentLimit = 64;

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
    std::thread::id owner;         // the thread that may touch the slot now
    std::unique_ptr<char[]> text;  // the bytes read, from file offset textOffset on
    std::int64_t textOffset = 0;
    std::unique_ptr<double[]> time;
    std::unique_ptr<double[]> rate;
    Segment segments[segmentLimit];
    int segmentCount = 0;
    bool refused = false;  // the system refused a read of the block's bytes
};

struct BlockPool {
    FileHandle file;
    std::int64_t dataStart = 0;
    std::int64_t dataEnd = 0;
    std::int64_t blockBytes = 0;
    std::int64_t blockCount = 0;   // 0: no blocks; the file is read straight on
    bool mayStartPartner = false;  // a second thread may help, and none was tried yet

    std::mutex mutex;
    std::condition_variable changed;
    std::int64_t nextClaim = 0;  // the next block to parse
    std::int64_t consumed = 0;   // blocks released: each block before it
    bool ending = false;
    BlockSlot slots[slotCount];
    std::thread partner;
};

// Sets up the blocks of `file` from `dataStart` on, when the file is regular
// and holds at least one block after it and there is memory for the slots;
// otherwise leaves blockCount 0. `threads` is 0 (by the processors the
// process may use), 1 or 2.
void setUpBlocks(BlockPool& pool, FileHandle file, std::int64_t dataStart, std::int64_t blockBytes, int threads);

// The file offset where block `block` begins (dataEnd for a block past the last).
std::int64_t blockBegin(const BlockPool& pool, std::int64_t block);

// The slot of block `block`, parsed and now the consumer's: waits for it,
// meanwhile parsing on this thread whatever block it can claim (the block
// itself first, unless the partner has claimed it), and starting the
// partner at the first need.
BlockSlot& acquireBlock(BlockPool& pool, std::int64_t block);

// The consumer is done with block `block`, whose slot it holds: the slot
// is free for the block slotCount on.
void releaseBlock(BlockPool& pool, std::int64_t block);

// No block is claimed after those claimed already: the consumer reads the
// rest straight on, and the partner has nothing left to do.
void stopParsingAhead(BlockPool& pool);

// Ends the partner thread, once it has finished the block in hand.
void endPartner(BlockPool& pool);

// After endPartner: true when a block was parsed, never released, and its
// read refused.
bool unreleasedRefusal(const BlockPool& pool);

// Asserts in debug builds that the calling thread holds `slot`.
void assertHeld(const BlockSlot& slot);
