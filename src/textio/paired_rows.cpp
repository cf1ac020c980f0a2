// Common rows read by two threads: while the caller reads the first half of
// the buffered lines, a partner thread reads the second half into rows of
// its own, which the caller then takes over, and provides the array memory
// of the rows ahead. Every row is still read by readPlainLines, so the
// values are the same as when one thread reads them.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "textio/source_buffer.h"
#include "textio/textio.h"

// Rows [0, count) of time and rate, taken `pagesAheadStep` rows at a time
// from `next` on by both threads.
struct PagesAhead {
    double* time = nullptr;
    double* rate = nullptr;
    std::int64_t count = 0;
    std::atomic<std::int64_t> next{0};
};

// What the caller and the partner share. The mutex guards every field but
// the thread and `ahead`; the partner's rows and the lines it reads pass
// between them only under it. The fields of `ahead` are set under it before
// a share is handed over, and only `next` changes while both threads read.
struct RowPartnerState {
    std::mutex mutex;
    std::condition_variable changed;
    bool working = false;  // a share is handed over and not yet read
    bool ending = false;
    // The share: lines [begin, last], at most `room` rows.
    const char* begin = nullptr;
    const char* last = nullptr;
    std::int64_t room = 0;
    // What the partner read of it.
    std::int64_t rows = 0;
    const char* stop = nullptr;
    std::unique_ptr<double[]> time;
    std::unique_ptr<double[]> rate;
    std::int64_t capacity = 0;  // rows that time and rate hold
    // Array memory to ask for once the share is read: `prepareCount` rows
    // from prepareTime and prepareRate on.
    double* prepareTime = nullptr;
    double* prepareRate = nullptr;
    std::int64_t prepareCount = 0;
    // Rows ahead whose memory is asked for and whose pages are written
    // (writePagesAhead), by whichever thread is done with its lines first.
    PagesAhead ahead;
    std::thread thread;
};

namespace {

// Rows of time and rate taken at a time from PagesAhead: 64 pages of each.
constexpr std::int64_t pagesAheadStep = 512 * 64;

// Asks for the memory of the rows of `ahead` and writes 0.0 into one row of
// each of their pages, a step at a time, until no step is left. Some systems
// provide a page only at its first write from the program, however early the
// memory was asked for (a virtual machine that maps guest pages one by one
// costs several microseconds a page), so the rows ahead are written before
// either thread reads rows into them. 512 doubles are the smallest page of
// the systems served.
void writePagesAhead(PagesAhead& ahead) {
    for (;;) {
        std::int64_t from = ahead.next.fetch_add(pagesAheadStep, std::memory_order_relaxed);
        if (from >= ahead.count) return;
        std::int64_t rows = std::min(pagesAheadStep, ahead.count - from);
        for (double* array : {ahead.time + from, ahead.rate + from}) {
            prepareForWriting(array, static_cast<std::size_t>(rows) * sizeof(double));
            for (std::int64_t i = 0; i < rows; i += 512) array[i] = 0.0;
        }
    }
}

// The partner thread: reads each share it is handed, until it is ended.
void partnerThread(RowPartnerState* state) {
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        while (!state->working && !state->ending) state->changed.wait(lock);
        if (state->ending) return;
        const char* begin = state->begin;
        const char* last = state->last;
        std::int64_t room = state->room;
        double* prepareTime = state->prepareTime;
        double* prepareRate = state->prepareRate;
        auto prepareBytes = static_cast<std::size_t>(state->prepareCount) * sizeof(double);
        lock.unlock();
        const char* stop = nullptr;
        std::int64_t rows = readPlainLines(begin, last, state->time.get(), state->rate.get(), room, stop);
        prepareForWriting(prepareTime, prepareBytes);
        prepareForWriting(prepareRate, prepareBytes);
        writePagesAhead(state->ahead);
        lock.lock();
        state->rows = rows;
        state->stop = stop;
        state->working = false;
        state->changed.notify_all();
    }
}

// Starts the partner, whose rows can hold what a share of a buffer of
// `bufferBytes` bytes holds. False when there is no second processor or
// the thread or its memory cannot be had.
bool startPartner(RowPartner& partner, std::size_t bufferBytes) {
    if (partner != nullptr) return true;
    if (std::thread::hardware_concurrency() < 2) return false;
    // A share is at most half the buffer, and a common row takes at least
    // four bytes ("1 2" and a line feed).
    std::int64_t capacity = static_cast<std::int64_t>(bufferBytes / 8 + 2);
    RowPartner started(new (std::nothrow) RowPartnerState);
    if (started == nullptr) return false;
    started->time.reset(new (std::nothrow) double[static_cast<std::size_t>(capacity)]);
    started->rate.reset(new (std::nothrow) double[static_cast<std::size_t>(capacity)]);
    if (started->time == nullptr || started->rate == nullptr) return false;
    started->capacity = capacity;
    try {
        started->thread = std::thread(partnerThread, started.get());
    } catch (const std::system_error&) {
        return false;
    }
    partner = std::move(started);
    return true;
}

// Rows read so far and the bytes of their lines, by which to judge how many
// rows the lines ahead hold.
struct LinesSeen {
    std::int64_t rows = 0;
    std::ptrdiff_t bytes = 0;
};

// The rows that `bytes` bytes of lines are likely to hold: as many as the
// lines seen so far, or as many as there can be (a common row takes at least
// four bytes) before any is seen.
std::int64_t rowsIn(std::ptrdiff_t bytes, const LinesSeen& seen) {
    if (seen.rows == 0) return bytes / 4 + 1;
    return static_cast<std::int64_t>(static_cast<double>(bytes) * static_cast<double>(seen.rows) /
                                     static_cast<double>(seen.bytes)) +
           1;
}

// Asks for the memory of rows [prepared, upTo) of time and rate at once,
// rather than a page at a time as they are written.
void prepareRows(double* time, double* rate, std::int64_t& prepared, std::int64_t upTo) {
    if (upTo <= prepared) return;
    auto bytes = static_cast<std::size_t>(upTo - prepared) * sizeof(double);
    prepareForWriting(time + prepared, bytes);
    prepareForWriting(rate + prepared, bytes);
    prepared = upTo;
}

// The first line feed from `p` on; the line feed `last` ends the search.
const char* lineFeedFrom(const char* p, const char* last) {
    return static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(last - p) + 1));
}

// The start of the line `lines` lines after the one that starts at `p`; the
// lines up to the line feed `last` hold them.
const char* skipLines(const char* p, const char* last, std::int64_t lines) {
    for (; lines > 0; --lines) p = lineFeedFrom(p, last) + 1;
    return p;
}

}  // namespace

void RowPartnerEnd::operator()(RowPartnerState* state) const {
    if (state->thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->ending = true;
        }
        state->changed.notify_all();
        state->thread.join();
    }
    delete state;
}

std::int64_t readPlainRowsInPairs(RecordSource& source, RowPartner& partner, double* time, double* rate,
                                  std::int64_t count, std::size_t shareFrom) {
    std::int64_t rows = 0;
    std::int64_t prepared = 0;  // rows of time and rate whose memory has been asked for
    std::int64_t written = 0;   // rows whose pages have been written ahead
    LinesSeen seen;
    while (rows < count && source.atRecordStart && holdLine(source)) {
        const char* p = source.pos;
        const char* last = source.lastLineEnd;
        const char* stop = nullptr;
        // The lines of a small buffer are read alone; so is a lead of a large
        // one, since a row in another form seldom comes alone: the rows after
        // it are shared only once common rows are seen again.
        const char* aloneLast = last;
        if (static_cast<std::size_t>(last - p) + 1 >= shareFrom) aloneLast = lineFeedFrom(p + shareFrom / 4, last);
        prepareRows(time, rate, prepared, std::min(count, rows + rowsIn(aloneLast - p + 1, seen)));
        std::int64_t lead = readPlainLines(p, aloneLast, time + rows, rate + rows, count - rows, stop);
        rows += lead;
        seen.rows += lead;
        seen.bytes += stop - p;
        source.pos = const_cast<char*>(stop);
        if (stop <= aloneLast) break;  // a row in another form, or `count` rows
        if (aloneLast == last) continue;
        // The caller reads up to the line that holds the middle byte of the
        // rest, the partner the lines after it.
        p = aloneLast + 1;
        const char* middle = lineFeedFrom(p + (last - p) / 2, last);
        if (middle == last || count - rows < 2 || !startPartner(partner, source.capacity)) {
            prepareRows(time, rate, prepared, std::min(count, rows + rowsIn(last - p + 1, seen)));
            rows += readPlainLines(p, last, time + rows, rate + rows, count - rows, stop);
            source.pos = const_cast<char*>(stop);
            if (stop <= last) break;
            continue;
        }
        RowPartnerState& state = *partner;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.begin = middle + 1;
            state.last = last;
            state.room = std::min(count - rows, state.capacity);
            // Then the memory of the rows ahead, so that neither thread waits
            // for it: a buffer of rows beyond the last row these lines can
            // give (a common row takes at least four bytes), whose pages are
            // written too, and before them whatever was not asked for yet.
            std::int64_t beyond = rows + (last - p + 1) / 4 + 1;
            std::int64_t upTo = std::min(count, beyond + rowsIn(static_cast<std::ptrdiff_t>(source.capacity), seen));
            std::int64_t aheadFrom = std::min(upTo, std::max(written, beyond));
            state.prepareTime = time + prepared;
            state.prepareRate = rate + prepared;
            state.prepareCount = std::max<std::int64_t>(aheadFrom - prepared, 0);
            prepared = std::max(prepared, upTo);
            state.ahead.time = time + aheadFrom;
            state.ahead.rate = rate + aheadFrom;
            state.ahead.count = upTo - aheadFrom;
            state.ahead.next.store(0, std::memory_order_relaxed);
            written = std::max(written, upTo);
            state.working = true;
        }
        state.changed.notify_all();
        std::int64_t first = readPlainLines(p, middle, time + rows, rate + rows, count - rows, stop);
        writePagesAhead(state.ahead);
        std::unique_lock<std::mutex> lock(state.mutex);
        while (state.working) state.changed.wait(lock);
        rows += first;
        source.pos = const_cast<char*>(stop);
        if (stop != middle + 1) break;  // a row in another form, or `count` rows, in the first half
        std::int64_t taken = std::min(state.rows, count - rows);
        std::memcpy(time + rows, state.time.get(), static_cast<std::size_t>(taken) * sizeof(double));
        std::memcpy(rate + rows, state.rate.get(), static_cast<std::size_t>(taken) * sizeof(double));
        rows += taken;
        source.pos = const_cast<char*>(taken == state.rows ? state.stop : skipLines(middle + 1, last, taken));
        if (source.pos <= last) break;
    }
    source.line += rows;  // a common row is one whole line
    return rows;
}
