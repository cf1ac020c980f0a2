// Record sources: a fixed text, standard input and files, read through one
// buffer each. Only bytes are buffered; records are found by the reader.
#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

#include "numbers/plain_number.h"
#include "stops/stops.h"
#include "textio/record_source.h"

// Files are read in blocks of up to this size. A file that is read ahead in
// blocks of its own (see rows/) needs its source only for the rows in other
// forms and the lines between blocks.
constexpr std::size_t fileBlockSize = 1 << 18;
// After a move, the first read asks for this much, and each further one for
// twice as much, so that reading a few lines far apart costs little.
constexpr std::size_t firstReadSize = 1 << 12;
// Standard input is read at most one line at a time, and the lines read
// there (a prompt's answer, a typed command, cut to 1024 characters) fit
// this buffer; a longer one is read in parts.
constexpr std::size_t inputBlockSize = 1 << 11;

// A read buffer of `capacity` bytes and the padding after them, zeroed.
// Without the memory the run ends in run-time error 41.
static std::unique_ptr<char[]> newBuffer(std::size_t capacity) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity + textPadding]());
    if (!buffer) raiseRunTimeError(errMemory, 0, "");
    return buffer;
}

RecordSource fixedTextSource(const char* text, std::size_t length) {
    RecordSource source;
    source.kind = SourceKind::fixedText;
    source.unit = thresholdUnit;
    std::strcpy(source.name, thresholdName);
    // The reader never writes through pos; the text is only read.
    source.pos = const_cast<char*>(text);
    source.end = source.pos + length;
    source.exhausted = true;
    return source;
}

RecordSource standardInputSource(std::size_t bufferBytes) {
    assert(bufferBytes == 0 || bufferBytes >= 2);  // a CR LF must fit
    RecordSource source;
    source.kind = SourceKind::standardInput;
    source.unit = inputUnit;
    std::strcpy(source.name, inputName);
    source.capacity = bufferBytes > 0 ? bufferBytes : inputBlockSize;
    source.storage = newBuffer(source.capacity);
    source.pos = source.end = source.storage.get();
    return source;
}

RecordSource fileSource(FileHandle file, int unit, const char* messageName, std::size_t bufferBytes) {
    assert(bufferBytes == 0 || bufferBytes >= 2);  // a CR LF must fit
    RecordSource source;
    source.kind = SourceKind::file;
    source.unit = unit;
    std::size_t n = std::strlen(messageName);
    if (n >= messageNameSize) n = messageNameSize - 1;
    std::memcpy(source.name, messageName, n);
    source.file = file;
    source.capacity = bufferBytes > 0 ? bufferBytes : fileBlockSize;
    source.storage = newBuffer(source.capacity);
    source.pos = source.end = source.storage.get();
    source.positional = regularFileSize(file) >= 0;
    source.readSize = source.capacity;
    return source;
}

std::int64_t sourceOffset(const RecordSource& source) { return source.offset - (source.end - source.pos); }

void failSource(RecordSource& source) {
    source.pos = source.end;
    source.failed = true;
    source.exhausted = true;
}

void seekSource(RecordSource& source, std::int64_t offset, std::int64_t lines) {
    assert(source.positional);
    source.line += lines;
    char* base = source.storage.get();
    std::int64_t bufferStart = source.offset - (source.end - base);
    if (offset >= bufferStart && offset <= source.offset) {
        source.pos = base + (offset - bufferStart);
    } else {
        source.pos = source.end = base;
        source.offset = offset;
        source.lastLineEnd = nullptr;
        source.exhausted = source.failed;
        source.readSize = firstReadSize;
    }
    source.atRecordStart = true;
}

bool refillSource(RecordSource& source) {
    if (source.exhausted) return false;
    char* base = source.storage.get();
    std::size_t unread = static_cast<std::size_t>(source.end - source.pos);
    // The unread bytes move to the start: a byte or two looked ahead at, or
    // the start of a line that the buffer did not hold whole.
    std::memmove(base, source.pos, unread);
    source.pos = base;
    source.end = base + unread;
    source.lastLineEnd = nullptr;
    std::size_t room = source.capacity - unread;
    if (room == 0) return false;  // a full buffer is no end of the source
    std::ptrdiff_t n = 0;
    switch (source.kind) {
    case SourceKind::file:
        if (source.positional) {
            n = readFileBytesAt(source.file, source.offset, source.end, std::min(room, source.readSize));
            source.readSize = std::min(source.capacity, 2 * source.readSize);
        } else {
            n = readFileBytes(source.file, source.end, room);
        }
        break;
    case SourceKind::standardInput:
        n = readStandardInput(source.end, room);
        break;
    case SourceKind::fixedText:
        n = 0;
        break;
    }
    if (n < 0) {
        source.failed = true;
        source.exhausted = true;
        return false;
    }
    if (n == 0) {
        source.exhausted = true;
        return false;
    }
    source.end += n;
    source.offset += n;
    return true;
}

const char* holdLine(RecordSource& source) {
    if (source.lastLineEnd != nullptr && source.pos <= source.lastLineEnd) return source.lastLineEnd;
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (char* p = source.end; p > source.pos; --p) {
            if (p[-1] == '\n') {
                source.lastLineEnd = p - 1;
                return source.lastLineEnd;
            }
        }
        if (attempt == 0 && !refillSource(source)) return nullptr;
    }
    return nullptr;
}

void advanceSource(RecordSource& source, std::size_t bytes, std::int64_t lines) {
    assert(bytes <= static_cast<std::size_t>(source.end - source.pos));
    source.pos += bytes;
    source.line += lines;
    source.atRecordStart = true;
}
