// Blocks of a regular file parsed ahead, on the caller's thread and on a
// partner thread: the protocol between the two is stated in block_pool.h.
#include "rows/block_pool.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

#include "numbers/plain_number.h"
#include "rows/rows.h"

namespace {

// Bytes read past a block for the end of its last line; a longer line is
// left to the consumer.
constexpr std::int64_t lineSlack = 4096;

// Rows that a block can hold: a common row takes at least four bytes.
std::int64_t blockRowCapacity(const BlockPool& s) { return s.blockBytes / 4 + 2; }

// A slot's text: the block, the byte before it, the slack, the padding.
std::size_t slotTextBytes(const BlockPool& s) {
    return static_cast<std::size_t>(s.blockBytes + 1 + lineSlack) + textPadding;
}

// Claims the next block for the calling thread: the one place that plans
// what is parsed ahead. Returns it, or -1 when every block is claimed or the
// slot of the next one is still in use. Called under the mutex.
std::int64_t claimBlock(BlockPool& s) {
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
void parseBlock(const BlockPool& s, BlockSlot& slot, std::int64_t block) {
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
void parseClaimed(BlockPool& s, std::unique_lock<std::mutex>& lock, std::int64_t block) {
    BlockSlot& slot = s.slots[block % slotCount];
    lock.unlock();
    parseBlock(s, slot, block);
    lock.lock();
    slot.state = SlotState::parsed;
    slot.owner = std::thread::id();
    s.changed.notify_all();
}

// The partner thread: parses every block it can claim, until the reader ends.
void partnerThread(BlockPool* s) {
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
void startPartner(BlockPool& s) {
    if (!s.mayStartPartner || s.partner.joinable()) return;
    s.mayStartPartner = false;  // one attempt
    try {
        s.partner = std::thread(partnerThread, &s);
    } catch (...) {
        // No thread could be started (std::system_error), or no memory for
        // its state (std::bad_alloc): one thread reads it all.
    }
}

}  // namespace

std::int64_t blockBegin(const BlockPool& s, std::int64_t block) {
    return std::min(s.dataStart + block * s.blockBytes, s.dataEnd);
}

void assertHeld([[maybe_unused]] const BlockSlot& slot) {
    assert(slot.state == SlotState::parsed && slot.owner == std::this_thread::get_id());
}

BlockSlot& acquireBlock(BlockPool& s, std::int64_t block) {
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

void releaseBlock(BlockPool& s, std::int64_t block) {
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        BlockSlot& slot = s.slots[block % slotCount];
        assert(slot.block == block);
        assertHeld(slot);
        slot.state = SlotState::free;
        slot.owner = std::thread::id();
        s.consumed = block + 1;
    }
    s.changed.notify_all();
}

void stopParsingAhead(BlockPool& s) {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.blockCount = s.nextClaim;
}

void endPartner(BlockPool& s) {
    if (!s.partner.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.ending = true;
    }
    s.changed.notify_all();
    s.partner.join();
}

bool unreleasedRefusal(const BlockPool& s) {
    assert(!s.partner.joinable());  // only the consumer is left
    for (const BlockSlot& slot : s.slots)
        if (slot.state == SlotState::parsed && slot.refused) return true;
    return false;
}

void setUpBlocks(BlockPool& s, FileHandle file, std::int64_t dataStart, std::int64_t blockBytes, int threads) {
    std::int64_t size = regularFileSize(file);
    if (size < 0 || size - dataStart < blockBytes) return;  // too short to gain from blocks
    s.file = file;
    s.dataStart = dataStart;
    s.dataEnd = size;
    s.blockBytes = blockBytes;
    for (BlockSlot& slot : s.slots) {
        slot.text.reset(new (std::nothrow) char[slotTextBytes(s)]);
        slot.time.reset(new (std::nothrow) double[static_cast<std::size_t>(blockRowCapacity(s))]);
        slot.rate.reset(new (std::nothrow) double[static_cast<std::size_t>(blockRowCapacity(s))]);
        if (!slot.text || !slot.time || !slot.rate) return;  // without them, the file is read straight on
    }
    s.blockCount = (s.dataEnd - s.dataStart + blockBytes - 1) / blockBytes;
    s.mayStartPartner = s.blockCount > 1 && (threads > 1 || (threads == 0 && usableProcessorCount() > 1));
}
