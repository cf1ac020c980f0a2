// Console lines: the plain lines that the programs write to standard output.
#pragma once

#include <cstddef>

// The longest console line, without its CR LF: a line of the help text has
// at most 82 characters, a free-form line at most 62 after its blank, a
// line of the summary 35, the not-found line 52.
constexpr std::size_t consoleLineLimit = 128;

// Writes one free-form console line: a blank, the text, CR LF. A refused
// write is run-time error 38 on unit -1.
void writeFreeFormLine(const char* text);
void writeFreeFormLine();

// Writes `text` and CR LF to standard output as a fixed-layout line; a refused
// write is run-time error 38 on unit -1.
void writeConsoleLine(const char* text, std::size_t length);
