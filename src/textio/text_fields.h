// Fixed-length text fields: blank-padded on the right, cut on the right,
// their trailing blanks never counted.
#pragma once

#include <cstddef>

// The characters of a path field: the longest path the programs take,
// without its trailing blanks (a path is never cut, so a longer one is
// refused where it is given).
constexpr std::size_t pathLength = 4095;

// The characters of a series name field, as an `.xys` header gives it and
// the report's first line shows it.
constexpr std::size_t seriesNameLength = 32;

// Copies `n` bytes of `text` into the `length`-character field, cutting a longer
// text to its leftmost characters and padding a shorter one with blanks.
void setField(char* field, std::size_t length, const char* text, std::size_t n);

// Length of the field without its trailing blanks.
std::size_t trimmedLength(const char* field, std::size_t length);

// The field without its trailing blanks, NUL-terminated in `out`
// (`out` holds at least length + 1 bytes).
void trimmedCopy(const char* field, std::size_t length, char* out);
