// Byte-level access to a record source's buffer, shared by the record and
// free-form readers of this folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textio/textio.h"

// Reads more bytes into the buffer behind the unread ones. Returns false when
// nothing more can be read (the end, or a failure: then `failed` is set).
bool refillSource(RecordSource& source, std::size_t keep);

// Consumes the rest of the current record, its line end included, without
// holding it. Returns false only when the system refused a read.
bool skipRecord(RecordSource& source);

// The next byte, not consumed, or -1 when the source has no more.
inline int peekByte(RecordSource& source) {
    if (source.pos == source.end && !refillSource(source, 0)) return -1;
    return static_cast<unsigned char>(*source.pos);
}

// The byte after the next one, not consumed, or -1.
inline int peekSecondByte(RecordSource& source) {
    if (source.end - source.pos < 2 && !refillSource(source, 1)) return -1;
    if (source.end - source.pos < 2) return -1;
    return static_cast<unsigned char>(source.pos[1]);
}

// Makes sure that the buffer holds the whole current line, and notes the
// last line feed in it (lastLineEnd). Returns false when it cannot (the end
// of the source, a last line without a line feed, or a line longer than the
// buffer).
bool holdLine(RecordSource& source);
