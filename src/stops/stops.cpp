// The three ways a run ends, and the messages of run-time errors.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/platform.h"
#include "stops/stops.h"

namespace {

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

// Appends the decimal digits of `value` at `out`; returns the new end.
char* appendInteger(char* out, int value) {
    char digits[12];
    int n = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0) *out++ = '-';
    while (n > 0) *out++ = digits[--n];
    return out;
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
    // A message line, a header line and 32 frame lines of at most 64 + 82 characters.
    char text[messageLineSize + 96 + maxFrames * 160];
    std::size_t length = formatRunTimeMessage(text, severity, number, unit, fileName);
    StackFrame frames[maxFrames];
    int count = walkStack(frames, maxFrames);
    length += formatStackListing(text + length, sizeof text - length, frames, count);
    writeStandardError(text, length);
}

}  // namespace

std::size_t formatRunTimeMessage(char* out, const char* severity, int number, int unit, const char* fileName,
                                 std::int64_t line) {
    char* p = out;
    char* limit = out + messageLineSize - 2;  // room for CR LF
    auto append = [&](const char* s, std::size_t n) {
        if (n > static_cast<std::size_t>(limit - p)) n = static_cast<std::size_t>(limit - p);
        std::memcpy(p, s, n);
        p += n;
    };
    append("tarnlib: ", 9);
    append(severity, std::strlen(severity));
    append(" (", 2);
    char digits[16];
    append(digits, static_cast<std::size_t>(appendInteger(digits, number) - digits));
    append("): ", 3);
    for (const char* t = messageText(number); *t != '\0'; ++t) {
        if (t[0] == '%' && t[1] == 'd') {
            append(digits, static_cast<std::size_t>(appendInteger(digits, unit) - digits));
            ++t;
        } else if (t[0] == '%' && t[1] == 's') {
            append(fileName, std::strlen(fileName));
            ++t;
        } else {
            append(t, 1);
        }
    }
    if (line > 0) {
        append(", line ", 7);
        std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, line);
        append(digits, static_cast<std::size_t>(end.ptr - digits));
    }
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

std::size_t formatStackListing(char* out, std::size_t capacity, const StackFrame* frames, int count) {
    // Header: five names in 19, 10, 19, 12 and 19 columns, then CR LF (81 bytes).
    constexpr std::size_t headerSize = 81;
    // A frame: 17 + 2 + 8 + 2 + 17 + 2 + 10 + 2 columns, the source name (at
    // most 63), CR LF: at most 125 bytes.
    constexpr std::size_t frameSize = 125;
    if (capacity < headerSize) return 0;
    char* p = out;
    p = appendPadded(p, "Image", 19);
    p = appendPadded(p, "PC", 10);
    p = appendPadded(p, "Routine", 19);
    p = appendPadded(p, "Line", 12);
    p = appendPadded(p, "Source", 19);
    *p++ = '\r';
    *p++ = '\n';
    for (int i = 0; i < count && static_cast<std::size_t>(p - out) + frameSize <= capacity; ++i) {
        const StackFrame& frame = frames[i];
        p = appendPadded(p, frame.module[0] ? frame.module : "Unknown", 17);
        p = appendPadded(p, "", 2);
        static const char hex[] = "0123456789ABCDEF";
        for (int shift = 28; shift >= 0; shift -= 4) *p++ = hex[(frame.pc >> shift) & 0xF];
        p = appendPadded(p, "", 2);
        p = appendPadded(p, frame.routine[0] ? frame.routine : "Unknown", 17);
        p = appendPadded(p, "", 2);
        char line[12] = "Unknown";
        if (frame.line >= 0) *appendInteger(line, frame.line) = '\0';
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

// Writes `text` to standard output; a refused write is run-time error 38.
static void writeConsole(const char* text, std::size_t length) {
    if (writeStandardOutput(text, length) != 0) raiseRunTimeError(errWrite, outputUnit, outputName);
}

// Reads one line of standard input into `line`, cut to `capacity`
// characters; the rest of the line is consumed, and a CR before its LF is
// no part of it. Returns its length, or -1 at the end of input. A refused
// read is run-time error 39 on unit -4.
static std::ptrdiff_t readInputLine(char* line, std::size_t capacity) {
    std::size_t length = 0;
    std::size_t seen = 0;  // characters of the line, those cut off included
    char piece[256];
    for (;;) {
        // never past a line feed, so that a command started later reads what follows
        std::ptrdiff_t n = readStandardInput(piece, sizeof piece);
        if (n < 0) raiseRunTimeError(errRead, inputUnit, inputName);
        if (n == 0) return seen > 0 ? static_cast<std::ptrdiff_t>(length) : -1;
        auto got = static_cast<std::size_t>(n);
        bool lineEnd = piece[got - 1] == '\n';
        std::size_t keep = std::min(got - lineEnd, capacity - length);
        std::memcpy(line + length, piece, keep);
        length += keep;
        seen += got;
        if (lineEnd) {
            // a CR before the LF belongs to the line end
            if (seen - 1 == length && length > 0 && line[length - 1] == '\r') --length;
            return static_cast<std::ptrdiff_t>(length);
        }
    }
}

void pauseRun() {
    static const char prompt[] = "Tarn Pause - Enter command<CR> or <CR> to continue.\n";
    constexpr std::size_t lineLimit = 1024;
    char line[lineLimit + 1];
    for (;;) {
        writeConsole(prompt, sizeof prompt - 1);
        std::ptrdiff_t length = readInputLine(line, lineLimit);
        // An empty line ends the pause; so does the end of input, where no
        // further line could ever be typed.
        if (length <= 0) return;
        // Only a person at a terminal types commands here. From a pipe or a
        // file the line is data, the output of some other program, and
        // running it would turn data into commands.
        if (!standardInputIsTerminal()) {
            static const char warning[] = "tarnlib: warning: command not run, standard input is not a terminal\r\n";
            writeStandardError(warning, sizeof warning - 1);
            return;
        }
        line[length] = '\0';
        runCommandInterpreter(line);
    }
}

void readErrorStop(int error, int unit, const char* fileName, std::int64_t line) {
    char text[messageLineSize];
    std::size_t length = formatRunTimeMessage(text, "error", error, unit, fileName, line);
    writeStandardError(text, length);
    // a free-form console line: a blank, the text, CR LF
    static const char failed[] = " Error reading input file\r\n";
    writeConsole(failed, sizeof failed - 1);
    pauseRun();
    stopRun(error);
}

void reportRunTimeError(int number, int unit, const char* fileName) { writeMessage("error", number, unit, fileName); }

void raiseRunTimeError(int number, int unit, const char* fileName) {
    writeMessage("severe", number, unit, fileName);
    endProcess(number);
}
