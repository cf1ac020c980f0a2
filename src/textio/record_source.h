// Record sources: where a free-form read takes its text from, a fixed text,
// standard input or a file, each read through a buffer of its own. Other
// rooms may look at a source's unread bytes, its line and its state, but
// move it only through the operations here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "errors/errors.h"
#include "platform/platform.h"

enum class SourceKind { file, standardInput, fixedText };

// A source and where its reading stands. A record is one line without its
// line end (LF, or CR LF). The source keeps its position between reads.
struct RecordSource {
    SourceKind kind = SourceKind::fixedText;
    int unit = 0;                     // unit number for messages
    char name[messageNameSize] = {};  // file name for messages
    FileHandle file;                  // kind file only
    std::unique_ptr<char[]> storage;  // read buffer (file and standard input)
    std::size_t capacity = 0;
    char* pos = nullptr;  // unread bytes are [pos, end)
    char* end = nullptr;
    bool exhausted = false;       // nothing more can be read into the buffer
    bool failed = false;          // the system refused a read
    bool atRecordStart = true;    // nothing of the current record consumed yet
    // The line that holds `pos`, counted from 1.
    std::int64_t line = 1;
    // The source's own, for its reads: the last LF in the buffer once
    // holdLine has looked for it (reset on refill); for a file whose reads
    // name their offset, which can move (seekSource), `offset` is the file
    // offset of `end` and `readSize` what the next read asks for at most,
    // which grows while the source is read straight on.
    char* lastLineEnd = nullptr;
    bool positional = false;
    std::int64_t offset = 0;
    std::size_t readSize = 0;
};

// A source over a fixed text, which forms exactly one record. The text must
// outlive the source.
RecordSource fixedTextSource(const char* text, std::size_t length);

// A source over standard input (unit -4, CONIN$). Without memory for its
// buffer, the run ends in run-time error 41. `bufferBytes` (0: 2 KiB, at
// least 2) is for tests, as for fileSource.
RecordSource standardInputSource(std::size_t bufferBytes = 0);

// A source over an open file, which it reads in large blocks. `messageName` is
// the name that messages quote for `unit`. Without memory for its buffer, the
// run ends in run-time error 41. `bufferBytes` (0: 256 KiB, at least 2) is
// for tests, whose small files then meet refills and lines longer than the
// buffer.
RecordSource fileSource(FileHandle file, int unit, const char* messageName, std::size_t bufferBytes = 0);

// Reads more bytes into the buffer behind the unread ones, which move to its
// start. Returns false when nothing more can be read: the end, a full
// buffer, or a refused read (then `failed` is set).
bool refillSource(RecordSource& source);

// Makes sure that the buffer holds the whole current line. Returns the last
// line feed in the buffer, at or after `pos`, or nullptr when there is none
// (the end of the source, a last line without a line feed, or a line longer
// than the buffer).
const char* holdLine(RecordSource& source);

// Consumes `bytes` buffered bytes, which hold `lines` line feeds and end at
// the start of a record.
void advanceSource(RecordSource& source, std::size_t bytes, std::int64_t lines);

// The file offset of the next unread byte of a file source.
std::int64_t sourceOffset(const RecordSource& source);

// Fails the source as if the system had refused its next read: what it
// buffers is dropped, and a free-form read of it then gives error 39.
void failSource(RecordSource& source);

// Moves a positional source to `offset`, which must be the start of a line
// `lines` line feeds after the position: within the buffer when it holds
// that byte, else by a read there at the next refill.
void seekSource(RecordSource& source, std::int64_t offset, std::int64_t lines);
