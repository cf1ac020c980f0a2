// The plain stop and the run-time error stop, and the messages of run-time
// errors and warnings.
#include "stops/stops.h"

#include <cassert>
#include <charconv>
#include <cstring>

#include "platform/platform.h"

namespace {

// The stack listing's header: five names in 19, 10, 19, 12 and 19 columns,
// then CR LF. A frame: 17 + 2 + 8 + 2 + 17 + 2 + 10 + 2 columns, the source
// name (at most 63 characters, as StackFrame holds it), CR LF.
constexpr std::size_t stackHeaderSize = 81;
constexpr std::size_t stackFrameSize = 125;

// The message text of each run-time error number; %d is the unit, %s the file.
const char* messageText(int number) {
    switch (number) {
    case errPermission:
        return "permission to access file denied, unit %d, file %s";
    case errEndOfFile:
        return "end-of-file during read, unit %d, file %s";
    case errFileNotFound:
        return "file not found, unit %d, file %s";
    case errOpenFailure:
        return "open failure, unit %d, file %s";
    case errWrite:
        return "error during write, unit %d, file %s";
    case errRead:
        return "error during read, unit %d, file %s";
    case errMemory:
        return "insufficient virtual memory";
    case errNoDevice:
        return "no such device, unit %d, file %s";
    case errFileName:
        return "file name specification error, unit %d, file %s";
    case errReadOnly:
        return "write to READONLY file, unit %d, file %s";
    case errSyntax:
        return "list-directed I/O syntax error, unit %d, file %s";
    case errOutputConversion:
        return "output conversion error, unit %d, file %s";
    case errConversion:
        return "input conversion error, unit %d, file %s";
    case errArraySize:
        return "Cannot allocate array - overflow on array size calculation.";
    default:
        return "unexpected error, unit %d, file %s";
    }
}

// Appends `text` left-aligned in `width` columns (cut when longer).
char* appendPadded(char* out, const char* text, std::size_t width) {
    std::size_t n = std::strlen(text);
    if (n > width) n = width;
    std::memcpy(out, text, n);
    std::memset(out + n, ' ', width - n);
    return out + width;
}

// Writes the message line and a stack listing of the caller's frames.
void writeMessage(const char* severity, int number, int unit, const char* fileName) {
    constexpr int maxFrames = 32;
    char text[messageLineSize + stackHeaderSize + maxFrames * stackFrameSize];
    std::size_t length = formatRunTimeMessage(text, severity, number, unit, fileName);
    StackFrame frames[maxFrames];
    int count = walkStack(frames, maxFrames);
    length += formatStackListing(text + length, sizeof text - length, frames, count);
    writeStandardError(text, length);
}

}  // namespace

std::size_t substitute(char* out, std::size_t capacity, const char* pattern,
                       std::span<const Substitution> substitutions) {
    std::size_t n = 0;
    auto append = [&](const char* text, std::size_t length) {
        if (length > capacity - n) length = capacity - n;
        std::memcpy(out + n, text, length);
        n += length;
    };
    for (const char* p = pattern;;) {
        // the text up to the next %, as it stands
        const char* percent = std::strchr(p, '%');
        std::size_t plain = percent ? static_cast<std::size_t>(percent - p) : std::strlen(p);
        append(p, plain);
        if (percent == nullptr) return n;
        const Substitution* found = nullptr;
        for (const Substitution& candidate : substitutions)
            if (candidate.letter == percent[1]) found = &candidate;
        if (found != nullptr) {
            append(found->text, std::strlen(found->text));
            p = percent + 2;
        } else {
            append(percent, 1);
            p = percent + 1;
        }
    }
}

const char* decimalText(char (&out)[decimalTextSize], std::int64_t value) {
    *std::to_chars(out, out + decimalTextSize - 1, value).ptr = '\0';
    return out;
}

std::size_t formatRunTimeMessage(char* out, const char* severity, int number, int unit, const char* fileName,
                                 std::int64_t line) {
    constexpr std::size_t room = messageLineSize - 2;  // CR LF follow
    char numberText[decimalTextSize];
    char unitText[decimalTextSize];
    char lineText[decimalTextSize];
    const Substitution head[] = {{'v', severity}, {'n', decimalText(numberText, number)}};
    const Substitution fields[] = {{'d', decimalText(unitText, unit)}, {'s', fileName}};
    const Substitution at[] = {{'l', decimalText(lineText, line)}};
    assert(std::strlen(fileName) < messageNameSize);
    std::size_t n = substitute(out, room, "tarnlib: %v (%n): ", head);
    n += substitute(out + n, room - n, messageText(number), fields);
    if (line > 0) n += substitute(out + n, room - n, ", line %l", at);
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

std::size_t formatWarning(char* out, const char* text, int unit, const char* fileName) {
    constexpr std::size_t room = messageLineSize - 2;  // CR LF follow
    char unitText[decimalTextSize];
    const Substitution fields[] = {{'t', text}, {'d', decimalText(unitText, unit)}, {'s', fileName}};
    assert(std::strlen(text) <= 100 && (fileName == nullptr || std::strlen(fileName) < messageNameSize));
    std::size_t n = substitute(out, room, fileName ? "tarnlib: warning: %t, unit %d, file %s" : "tarnlib: warning: %t",
                               fields);
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

void writeWarning(const char* text, int unit, const char* fileName) {
    char line[messageLineSize];
    writeStandardError(line, formatWarning(line, text, unit, fileName));
}

std::size_t formatStackListing(char* out, std::size_t capacity, const StackFrame* frames, int count) {
    if (capacity < stackHeaderSize) return 0;
    char* p = out;
    p = appendPadded(p, "Image", 19);
    p = appendPadded(p, "PC", 10);
    p = appendPadded(p, "Routine", 19);
    p = appendPadded(p, "Line", 12);
    p = appendPadded(p, "Source", 19);
    *p++ = '\r';
    *p++ = '\n';
    assert(static_cast<std::size_t>(p - out) == stackHeaderSize);
    for (int i = 0; i < count && static_cast<std::size_t>(p - out) + stackFrameSize <= capacity; ++i) {
        const StackFrame& frame = frames[i];
        p = appendPadded(p, frame.module[0] ? frame.module : "Unknown", 17);
        p = appendPadded(p, "", 2);
        static const char hex[] = "0123456789ABCDEF";
        for (int shift = 28; shift >= 0; shift -= 4) *p++ = hex[(frame.pc >> shift) & 0xF];
        p = appendPadded(p, "", 2);
        p = appendPadded(p, frame.routine[0] ? frame.routine : "Unknown", 17);
        p = appendPadded(p, "", 2);
        char digits[decimalTextSize];
        const char* line = frame.line >= 0 ? decimalText(digits, frame.line) : "Unknown";
        std::size_t n = std::strlen(line);
        std::memset(p, ' ', 10 - n);
        std::memcpy(p + 10 - n, line, n);
        p += 10;
        p = appendPadded(p, "", 2);
        const char* source = frame.source[0] ? frame.source : "Unknown";
        const void* nul = std::memchr(source, '\0', sizeof frame.source);
        std::size_t sourceLength =
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - source) : sizeof frame.source;
        std::memcpy(p, source, sourceLength);
        p += sourceLength;
        *p++ = '\r';
        *p++ = '\n';
    }
    return static_cast<std::size_t>(p - out);
}

void stopRun(int exitStatus) {
    // Every write went straight to the system, so nothing is left to flush;
    // the system closes the files that are still open.
    endProcess(exitStatus);
}

void writeConsole(const char* text, std::size_t length) {
    if (writeStandardOutput(text, length) != 0) raiseRunTimeError(errWrite, outputUnit, outputName);
}

void reportRunTimeError(int number, int unit, const char* fileName) { writeMessage("error", number, unit, fileName); }

void raiseRunTimeError(int number, int unit, const char* fileName) {
    writeMessage("severe", number, unit, fileName);
    endProcess(number);
}
