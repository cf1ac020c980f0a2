// Text record conventions: fixed-length text fields, the free-form read through
// which every value enters the programs, the free-form console line, and the
// three ways a run ends (plain stop, read-error stop, run-time error stop).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/platform.h"

// ---------------------------------------------------------------- text fields

// Copies `n` bytes of `text` into the `length`-character field, cutting a longer
// text to its leftmost characters and padding a shorter one with blanks.
void setField(char* field, std::size_t length, const char* text, std::size_t n);

// Length of the field without its trailing blanks.
std::size_t trimmedLength(const char* field, std::size_t length);

// The field without its trailing blanks, NUL-terminated in `out`
// (`out` holds at least length + 1 bytes).
void trimmedCopy(const char* field, std::size_t length, char* out);

// ------------------------------------------------------------ error numbers

// Run-time error numbers; each is also the exit status of its stop.
constexpr int errPermission = 9;         // access to the file denied
constexpr int errEndOfFile = 24;         // end of file during a read
constexpr int errFileNotFound = 29;      // directory of the path does not exist
constexpr int errOpenFailure = 30;       // any other open failure
constexpr int errWrite = 38;             // the system refused a write
constexpr int errRead = 39;              // the system refused a read
constexpr int errMemory = 41;            // series arrays cannot be allocated
constexpr int errNoDevice = 42;          // drive does not exist
constexpr int errFileName = 43;          // malformed path
constexpr int errOutputConversion = 63;  // value too wide for its field (not fatal)
constexpr int errReadOnly = 47;          // write to a file opened for reading only
constexpr int errSyntax = 59;            // free-form syntax error
constexpr int errConversion = 64;        // value that does not fit its item
constexpr int errArraySize = 179;        // array size in bytes overflows 32 bits

// Unit numbers by which messages name a stream.
constexpr int seriesUnit = 22;
constexpr int reportUnit = 44;
constexpr int inputUnit = -4;
constexpr int outputUnit = -1;
constexpr int thresholdUnit = -5;

// File names by which messages name the console streams and the threshold text.
constexpr const char* inputName = "CONIN$";
constexpr const char* outputName = "CONOUT$";
constexpr const char* thresholdName = "Internal List-Directed Read";

// Size of a file-name buffer for messages: a full path of at most 256
// characters, or a name as used of at most 200, plus the NUL.
constexpr std::size_t messageNameSize = 257;

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

// Reads one record of standard input, cut to `capacity` characters, into
// `line`; the rest of the record is consumed. Returns its length, or -1 at the
// end of input or on a failed read.
std::ptrdiff_t readRawRecord(RecordSource& source, char* line, std::size_t capacity);

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

// ------------------------------------------------------ the common row

// Reads up to `count` rows of two doubles into time[i] and rate[i], as
// readFreeForm would, for as long as the rows are in the common form: one
// line holding two plain decimal numbers (convertPlainReal) separated by
// blanks, tabs or one comma, followed by a blank, tab, comma, slash or the
// line end. Returns how many it read; it stops before the first row in any
// other form, having consumed nothing of it.
std::int64_t readPlainRows(RecordSource& source, double* time, double* rate, std::int64_t count);

// A second thread that reads common rows beside the caller's, and what it
// shares with it. An empty RowPartner has no thread yet; resetting it ends
// the thread.
struct RowPartnerState;
struct RowPartnerEnd {
    void operator()(RowPartnerState* state) const;
};
using RowPartner = std::unique_ptr<RowPartnerState, RowPartnerEnd>;

// Buffers of at least this many bytes of whole lines are shared with the partner.
constexpr std::size_t rowSharingBytes = std::size_t{1} << 16;

// Reads rows exactly as readPlainRows does, with the same result and the
// source left in the same state. When the buffer holds at least `shareFrom`
// bytes of whole lines, the caller reads a lead of a quarter of that alone,
// then the first half of the rest, while a partner thread (started on first
// need in `partner`) reads the lines of the second half; the partner's rows
// count only when the caller's ended in common rows. Without a second
// processor, or when no thread can be started, the caller reads alone.
// The memory of time[] and rate[] is asked for (prepareForWriting) ahead of
// the rows read. With a partner, the rows ahead are also written, with 0.0
// in one row of each page, by whichever thread is done with its lines first:
// elements of time[] and rate[] past those read, up to `count`, may change.
std::int64_t readPlainRowsInPairs(RecordSource& source, RowPartner& partner, double* time, double* rate,
                                  std::int64_t count, std::size_t shareFrom = rowSharingBytes);

// One row as readPlainRows reads it: readComplete, or rowNotPlain having
// consumed nothing.
constexpr int rowNotPlain = -2;
int readPlainRow(RecordSource& source, double& first, double& second);

// Converts [begin, end) when it is a plain decimal number of at most 55
// characters: an optional sign, digits with at most one decimal point, and
// optionally E or e with an optionally signed exponent, its value within the
// double range. The value is the correctly rounded double. Returns false,
// leaving `value`, for any other text.
bool convertPlainReal(const char* begin, const char* end, double& value);

// ------------------------------------------------------ plain numbers

// Bytes that every text buffer holds beyond its last byte of text, so that a
// scan may read whole words past the end of a number. Their content is
// never taken for text.
constexpr std::size_t textPadding = 64;

// Scans the plain decimal number at `p`: an optional sign, digits with at
// most one decimal point among them (at least one digit), and optionally an
// exponent, a letter E, D or Q in either case with an optionally signed
// integer, or a sign directly followed by digits (1.5+3). Stores the
// correctly rounded double and returns where the number ends, that is the
// first character that cannot continue it, which the caller must judge. Returns
// nullptr, leaving `value`, for any other text and for numbers this scan
// leaves to the general read: more than 64 digits, more than five exponent
// digits, or a value beyond the double range. Reads up to 32 bytes past `p`
// and stops at the first byte that cannot continue the number.
const char* scanPlainNumber(const char* p, double& value);

// Bit i set when byte i of the 16 bytes at `p` is a decimal digit: with
// SSE2 where the processor has it, and a portable twin that gives the same.
std::uint32_t plainDigitBits(const char* p);
std::uint32_t plainDigitBitsPortable(const char* p);

// Writes one free-form console line: a blank, the text, CR LF. A refused write
// is run-time error 38 on unit -1.
void writeFreeFormLine(const char* text);
void writeFreeFormLine();

// Writes `text` and CR LF to standard output as a fixed-layout line; a refused
// write is run-time error 38 on unit -1.
void writeConsoleLine(const char* text, std::size_t length);

// ------------------------------------------------------------------ stops

// Forms the message line of a run-time error, CR LF included, into `out`
// (at least messageLineSize bytes): "tarnlib: <severity> (<number>): " and the
// text of `number` with `unit` and `fileName`, then ", line <line>" when
// `line` is positive. Returns its length.
constexpr std::size_t messageLineSize = 400;
std::size_t formatRunTimeMessage(char* out, const char* severity, int number, int unit, const char* fileName,
                                 std::int64_t line = 0);

// Forms the stack listing (header line and one line a frame, each ended by
// CR LF) into `out`. Returns its length, at most `capacity`.
std::size_t formatStackListing(char* out, std::size_t capacity, const StackFrame* frames, int count);

// The plain stop: ends the process with `exitStatus` (0 for a normal end),
// printing nothing. Never returns.
[[noreturn]] void stopRun(int exitStatus = 0);

// The pause prompt: repeats until the user enters an empty line or standard
// input ends; any other line is run by the command interpreter when standard
// input is a terminal, and otherwise ends the pause with a warning on
// standard error, running nothing.
void pauseRun();

// The read-error stop for a row of `source` whose read failed with `error`:
// a message on standard error that names the file and the line of the
// failure, "Error reading input file", the pause, then the end of the run
// with `error` as exit status. Never returns.
[[noreturn]] void readErrorStop(int error, const RecordSource& source);

// The message of a run-time error that does not end the run (severity
// "error"), with a stack listing, on standard error.
void reportRunTimeError(int number, int unit, const char* fileName);

// The run-time error stop: the message (severity "severe") and a stack
// listing on standard error, then the end of the run with `number` as exit
// status. Never returns.
[[noreturn]] void raiseRunTimeError(int number, int unit, const char* fileName);
