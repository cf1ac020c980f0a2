// Text record conventions: fixed-length text fields, the record sources, the
// free-form read through which every value enters the programs, plain
// numbers, and the console lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/platform.h"
#include "stops/stops.h"
#include "numbers/plain_number.h"

// ---------------------------------------------------------------- text fields

// The characters of a path field: the longest path the programs take,
// without its trailing blanks (a path is never cut, so a longer one is
// refused where it is given).
constexpr std::size_t pathLength = 4095;

// Copies `n` bytes of `text` into the `length`-character field, cutting a longer
// text to its leftmost characters and padding a shorter one with blanks.
void setField(char* field, std::size_t length, const char* text, std::size_t n);

// Length of the field without its trailing blanks.
std::size_t trimmedLength(const char* field, std::size_t length);

// The field without its trailing blanks, NUL-terminated in `out`
// (`out` holds at least length + 1 bytes).
void trimmedCopy(const char* field, std::size_t length, char* out);

// ---------------------------------------------------------- record sources

enum class SourceKind { file, standardInput, fixedText };

// Where a free-form read takes its text from. A record is one line without its
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
    char* lastLineEnd = nullptr;  // the last LF in the buffer, once looked for; reset on refill
    // A file whose reads name their offset can move (seekSource). `offset`
    // is the file offset of `end`; `readSize` what the next read asks for at
    // most, which grows while the source is read straight on.
    bool positional = false;
    std::int64_t offset = 0;
    std::size_t readSize = 0;
    // Line numbers, counted from 1: the line that holds `pos`, and for the
    // last free-form read the line on which it took its first item (a value
    // or a null), the line on which its last value started, and the line a
    // failure belongs to (the failing value's, or for a refused read the
    // line being read).
    std::int64_t line = 1;
    std::int64_t firstItemLine = 0;
    std::int64_t valueLine = 0;
    std::int64_t failedLine = 0;
};

// A source over a fixed text, which forms exactly one record. The text must
// outlive the source.
RecordSource fixedTextSource(const char* text, std::size_t length);

// A source over standard input (unit -4, CONIN$).
RecordSource standardInputSource();

// A source over an open file, which it reads in large blocks. `messageName` is
// the name that messages quote for `unit`.
RecordSource fileSource(FileHandle file, int unit, const char* messageName);

// The file offset of the next unread byte of a file source.
std::int64_t sourceOffset(const RecordSource& source);

// Fails the source as if the system had refused its next read: what it
// buffers is dropped, and a free-form read of it then gives error 39.
void failSource(RecordSource& source);

// Moves a positional source to `offset`, which must be the start of a line:
// within the buffer when it holds that byte, else by a read there at the next
// refill.
void seekSource(RecordSource& source, std::int64_t offset);

// ---------------------------------------------------------- free-form read

enum class ItemKind { real, integer, text };

// One destination of a read.
struct ReadItem {
    ItemKind kind = ItemKind::real;
    double* real = nullptr;
    std::int32_t* integer = nullptr;
    char* text = nullptr;
    std::size_t length = 0;  // text items: the field length
};

inline ReadItem realItem(double& target) { return {ItemKind::real, &target, nullptr, nullptr, 0}; }
inline ReadItem integerItem(std::int32_t& target) { return {ItemKind::integer, nullptr, &target, nullptr, 0}; }
inline ReadItem textItem(char* field, std::size_t length) { return {ItemKind::text, nullptr, nullptr, field, length}; }

// Read status: 0 complete, -1 end of file, or a positive error number
// (errSyntax, errConversion, errRead).
constexpr int readComplete = 0;
constexpr int readEnd = -1;

// The longest text value, quoted or not.
constexpr std::size_t textValueLimit = 2049;

// Reads the items in order from the next record of `source` on. With `catchEnd`
// the end-of-file condition returns -1, otherwise it is run-time error 24; with
// `catchError` a failure returns its error number, otherwise it is the run-time
// error stop. Items set keep their new values whatever the outcome.
int readFreeForm(RecordSource& source, std::span<const ReadItem> items, bool catchEnd, bool catchError);

// Writes one free-form console line: a blank, the text, CR LF. A refused write
// is run-time error 38 on unit -1.
void writeFreeFormLine(const char* text);
void writeFreeFormLine();

// Writes `text` and CR LF to standard output as a fixed-layout line; a refused
// write is run-time error 38 on unit -1.
void writeConsoleLine(const char* text, std::size_t length);
