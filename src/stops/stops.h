// The ways a run ends, and the error numbers, units and names that its
// messages give. Low enough that every part of the programs, the platform
// layer included, takes its error numbers from here.
#pragma once

#include <cstddef>
#include <cstdint>

struct StackFrame;

// Run-time error numbers; each is also the exit status of its stop.
constexpr int errPermission = 9;         // access to the file denied
constexpr int errEndOfFile = 24;         // end of file during a read
constexpr int errFileNotFound = 29;      // directory of the path does not exist
constexpr int errOpenFailure = 30;       // any other open failure
constexpr int errWrite = 38;             // the system refused a write
constexpr int errRead = 39;              // the system refused a read
constexpr int errMemory = 41;            // memory could not be allocated
constexpr int errNoDevice = 42;          // drive does not exist
constexpr int errFileName = 43;          // malformed path
constexpr int errReadOnly = 47;          // write to a file opened for reading only
constexpr int errSyntax = 59;            // free-form syntax error
constexpr int errOutputConversion = 63;  // value too wide for its field (not fatal)
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
// characters, or the first 256 characters of the name as used, plus the NUL.
constexpr std::size_t messageNameSize = 257;

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

// The read-error stop for a row whose read failed with `error` on line
// `line` of the file `fileName` (unit `unit`): a message on standard error
// that names them, "Error reading input file" on standard output, the pause,
// then the end of the run with `error` as exit status. Never returns.
[[noreturn]] void readErrorStop(int error, int unit, const char* fileName, std::int64_t line);

// The message of a run-time error that does not end the run (severity
// "error"), with a stack listing, on standard error.
void reportRunTimeError(int number, int unit, const char* fileName);

// The run-time error stop: the message (severity "severe") and a stack
// listing on standard error, then the end of the run with `number` as exit
// status. Never returns.
[[noreturn]] void raiseRunTimeError(int number, int unit, const char* fileName);
