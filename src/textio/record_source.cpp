// Record sources: a fixed text, standard input and files, read through one
// buffer each. Only bytes are buffered; records are found by the reader.
#include <cstring>

#include "textio/source_buffer.h"
#include "textio/textio.h"

// Files are read in blocks this large; a read costs one pass over its bytes.
constexpr std::size_t fileBlockSize = 1 << 20;
// Standard input is read at most one line at a time, so a small buffer will do.
constexpr std::size_t inputBlockSize = 1 << 14;

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

RecordSource standardInputSource() {
    RecordSource source;
    source.kind = SourceKind::standardInput;
    source.unit = inputUnit;
    std::strcpy(source.name, inputName);
    source.capacity = inputBlockSize;
    source.storage.reset(new char[source.capacity + textPadding]());
    source.pos = source.end = source.storage.get();
    return source;
}

RecordSource fileSource(FileHandle file, int unit, const char* messageName) {
    RecordSource source;
    source.kind = SourceKind::file;
    source.unit = unit;
    std::size_t n = std::strlen(messageName);
    if (n >= messageNameSize) n = messageNameSize - 1;
    std::memcpy(source.name, messageName, n);
    source.file = file;
    source.capacity = fileBlockSize;
    source.storage.reset(new char[source.capacity + textPadding]());
    source.pos = source.end = source.storage.get();
    return source;
}

bool refillSource(RecordSource& source, std::size_t keep) {
    if (source.exhausted) return false;
    char* base = source.storage.get();
    std::size_t unread = static_cast<std::size_t>(source.end - source.pos);
    if (unread > keep) keep = unread;
    // Keep the unread bytes (at most a few: the caller asks only to look ahead).
    std::memmove(base, source.pos, unread);
    source.pos = base;
    source.end = base + unread;
    source.lastLineEnd = nullptr;
    std::size_t room = source.capacity - unread;
    if (room == 0) return false;  // a full buffer is no end of the source
    std::ptrdiff_t n = 0;
    switch (source.kind) {
    case SourceKind::file:
        n = readFileBytes(source.file, source.end, room);
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
    return true;
}

bool skipRecord(RecordSource& source) {
    for (;;) {
        std::size_t unread = static_cast<std::size_t>(source.end - source.pos);
        if (const void* lf = std::memchr(source.pos, '\n', unread)) {
            source.pos = static_cast<char*>(const_cast<void*>(lf)) + 1;
            source.atRecordStart = true;
            ++source.line;
            return true;
        }
        source.pos = source.end;
        if (!refillSource(source, 0)) {
            source.atRecordStart = true;
            return !source.failed;
        }
    }
}

std::ptrdiff_t readRawRecord(RecordSource& source, char* line, std::size_t capacity) {
    if (!source.atRecordStart) skipRecord(source);
    if (source.pos == source.end && !refillSource(source, 0)) return -1;
    std::size_t length = 0;
    for (;;) {
        while (source.pos < source.end) {
            char c = *source.pos++;
            if (c == '\n') {
                ++source.line;
                if (length > 0 && length <= capacity && line[length - 1] == '\r') --length;  // CR LF ends the line
                source.atRecordStart = true;
                return static_cast<std::ptrdiff_t>(length < capacity ? length : capacity);
            }
            if (length < capacity) line[length] = c;
            ++length;
        }
        if (!refillSource(source, 0)) break;
    }
    source.atRecordStart = true;
    return static_cast<std::ptrdiff_t>(length < capacity ? length : capacity);
}
