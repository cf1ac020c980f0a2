// The free-form read: the one way values enter the programs, taken in order
// out of line-oriented text with blanks, tabs, commas and line ends between
// them, null values, the slash, repeat counts and quoted texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "textio/record_source.h"

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

// Where a read found its values, as lines of the source counted from 1 (0
// where there was none): the line of its first item (a value or a null),
// the line on which its last value started, and the line a failure belongs
// to (the failing value's, or for a refused read the line being read).
struct ReadLines {
    std::int64_t firstItem = 0;
    std::int64_t lastValue = 0;
    std::int64_t failure = 0;
};

// Reads the items in order from the next record of `source` on. With `catchEnd`
// the end-of-file condition returns -1, otherwise it is run-time error 24; with
// `catchError` a failure returns its error number, otherwise it is the run-time
// error stop. Items set keep their new values whatever the outcome. `lines`,
// when given, learns where the values were.
int readFreeForm(RecordSource& source, std::span<const ReadItem> items, bool catchEnd, bool catchError,
                 ReadLines* lines = nullptr);

// Reads the record at the position whole, as text: its first `capacity`
// characters into `out`, the rest consumed with it, a CR before its LF no
// part of it. Never reads past its line end, so that on standard input a
// command started later sees exactly what follows. Returns its length, or
// -1 when no record is left (or a read was refused: then `failed` is set).
std::ptrdiff_t readRecordText(RecordSource& source, char* out, std::size_t capacity);

// Skips blanks, tabs, CRs and line ends, into following records as needed,
// counting the lines. Returns the next byte, not consumed, or -1 when the
// source ends (or fails: then `failed` is set).
int skipToText(RecordSource& source);
