// Byte-level access to a record source's buffer, shared by the record and
// free-form readers of this folder and private to it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textio/record_source.h"

// Consumes the rest of the current record, its line end included, without
// holding it. Returns false only when the system refused a read.
bool skipRecord(RecordSource& source);

// The next byte, not consumed, or -1 when the source has no more.
inline int peekByte(RecordSource& source) {
    if (source.pos == source.end && !refillSource(source)) return -1;
    return static_cast<unsigned char>(*source.pos);
}

// The byte after the next one, not consumed, or -1.
inline int peekSecondByte(RecordSource& source) {
    if (source.end - source.pos < 2 && !refillSource(source)) return -1;
    if (source.end - source.pos < 2) return -1;
    return static_cast<unsigned char>(source.pos[1]);
}

// Consumes the next byte, which must be buffered, keeping track of record
// starts and line numbers.
inline void consumeByte(RecordSource& source) {
    bool lineEnd = *source.pos == '\n';
    source.atRecordStart = lineEnd;
    source.line += lineEnd;
    ++source.pos;
}
