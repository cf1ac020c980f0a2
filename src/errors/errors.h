// The vocabulary of every failure: the run-time error numbers, the unit
// numbers by which messages name a stream, and the names that messages give
// the console streams and the threshold text. A leaf: it includes nothing of
// the programs, so that the platform layer below the stops can use it.
#pragma once

#include <cstddef>

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
