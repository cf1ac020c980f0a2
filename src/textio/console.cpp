// Console lines: a fixed-layout line or a free-form one, each with its CR LF.
#include "textio/console.h"

#include <cassert>
#include <cstring>

#include "stops/stops.h"

void writeConsoleLine(const char* text, std::size_t length) {
    char line[consoleLineLimit + 2];
    assert(length <= consoleLineLimit);
    if (length > consoleLineLimit) length = consoleLineLimit;
    std::memcpy(line, text, length);
    line[length] = '\r';
    line[length + 1] = '\n';
    writeConsole(line, length + 2);
}

void writeFreeFormLine(const char* text) {
    char line[consoleLineLimit];
    std::size_t length = std::strlen(text);
    assert(length < consoleLineLimit);
    if (length > consoleLineLimit - 1) length = consoleLineLimit - 1;
    line[0] = ' ';
    std::memcpy(line + 1, text, length);
    writeConsoleLine(line, length + 1);
}

void writeFreeFormLine() { writeConsoleLine(" ", 1); }
