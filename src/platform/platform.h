// The one layer that talks to the operating system. Everything else in the
// programs reaches files, the console, child processes, the call stack and the
// process end only through these functions. platform_posix.cpp and
// platform_win32.cpp implement them; the build selects one.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file: a descriptor on POSIX, a HANDLE on Windows.
struct FileHandle {
    std::intptr_t value = -1;
};

// Outcome of openFileByName.
struct OpenResult {
    FileHandle file;
    int error = 0;          // run-time error number of a failed open, 0 when open
    bool readOnly = false;  // write access was refused, so the file is open for reading only
};

// The arguments after the program name. `count` may exceed 3; only the first
// three are kept, as NUL-terminated byte strings that live until the process ends.
struct ProgramArguments {
    int count = 0;
    const char* text[3] = {nullptr, nullptr, nullptr};
};

// Prepares the process (console streams in binary mode, a closed pipe reported
// as a failed write rather than a signal) and returns its arguments.
ProgramArguments startProcess(int argc, char** argv);

// True when `/?` asks a program for help on this system (Windows), besides
// the --help and -h that every system's programs take.
bool slashQuestionAsksForHelp();

// True when a file or directory exists under `name` (NUL-terminated, trailing
// blanks already removed). An empty name never exists.
bool fileExists(const char* name);

// What the caller does with a file it opens: the series is read, the report
// written. A reader of a pipe must not hold the pipe's write end as well, or
// the end of its data would never come.
enum class FileUse { reading, writing };

// Opens `name` for reading and writing, creating an empty file when none exists
// and never truncating; when write access is refused, opens it for reading only.
// A pipe that is only read is opened for reading. A failure gives the error
// number errPermission, errFileNotFound, errOpenFailure, errNoDevice or
// errFileName.
OpenResult openFileByName(const char* name, FileUse use);

// Reads up to `size` bytes. Returns the number read, 0 at the end of the file,
// -1 when the system refuses the read.
std::ptrdiff_t readFileBytes(FileHandle file, char* buffer, std::size_t size);

// Reads up to `size` bytes from file offset `offset` on, without moving any
// file position, so that two threads may read one file at once. Returns the
// number read, 0 at the end of the file, -1 when the system refuses the read.
std::ptrdiff_t readFileBytesAt(FileHandle file, std::int64_t offset, char* buffer, std::size_t size);

// The size of the file when it is a regular file, one whose reads may name
// their offset; -1 for anything else (a pipe, a device).
std::int64_t regularFileSize(FileHandle file);

// The processors this process may run on (its affinity), at least 1.
int usableProcessorCount();

// Writes all `size` bytes. Returns 0, or the error number of the failure
// (errWrite).
int writeFileBytes(FileHandle file, const char* data, std::size_t size);

// Cuts the file off at the current write position. Returns 0 or errWrite.
int truncateFileHere(FileHandle file);

// Closes the file. Returns 0, or errWrite when the system reports that the
// close failed (data written may then be lost); the handle is gone either way.
int closeFileHandle(FileHandle file);

// The full path of `name` for messages, NUL-terminated in `out`: the name
// expanded against the current directory when that gives at most 256
// characters, otherwise the name as given (cut to fit `capacity`).
void fullPathForMessage(const char* name, char* out, std::size_t capacity);

// Reads up to `size` bytes of standard input, never past a line feed, so that
// a command started later sees exactly the input not yet consumed. Returns the
// number read, 0 at the end of input (a closed stream included), -1 when the
// system refuses the read, also after part of a line has arrived.
std::ptrdiff_t readStandardInput(char* buffer, std::size_t size);

// Writes all bytes to standard output, unbuffered. Returns 0, or errWrite
// when the system refuses the write (a full device, a closed pipe or stream).
int writeStandardOutput(const char* data, std::size_t size);

// Writes all bytes to standard error; a failure is ignored, as there is
// nowhere left to report it.
void writeStandardError(const char* data, std::size_t size);

// True when standard input is a terminal that a person types at (on Windows,
// a console), false for a file, a pipe, a device or a closed stream.
bool standardInputIsTerminal();

// Hands `line` to the system's command interpreter and waits for it to end.
// Its success or failure is not reported.
void runCommandInterpreter(const char* line);

// One active call frame, as far as the system can name it. Empty texts and a
// negative line mean "not known".
struct StackFrame {
    char module[64] = {};
    std::uint32_t pc = 0;  // code address, relative to the module where known
    char routine[64] = {};
    int line = -1;
    char source[64] = {};
};

// Fills `frames` with the active call frames, innermost first, starting with
// the caller of walkStack. Returns how many it filled.
int walkStack(StackFrame* frames, int capacity);

#ifdef QSTAT_END_PROCESS_THROWS
// In builds for fuzzing only: whether walkStack walks and names the frames
// at all (on at first); off, it gives none. The walk and the symbol lookup
// are most of the time of a stop, so a harness has them done for a sampled
// share of its runs.
void listStackFrames(bool on);

// In builds for fuzzing only (on POSIX systems): one series file and standard
// input held in memory, so that a harness runs thousands of inputs a second
// without a system call for the file's bytes. While `name` is served, the
// file services treat that name as an existing regular file of `size` bytes
// whose handle, servedFileHandle(), reads `data` (which must stay unchanged
// until the next call); writes to it are refused. A null `name` ends the
// serving. The file's handle needs no close.
void serveFileFromMemory(const char* name, const char* data, std::size_t size);
FileHandle servedFileHandle();
// Standard input reads `data` as it would a regular file, a line at most at
// a time, to its end; null `data` gives standard input back to the system.
void serveStandardInputFromMemory(const char* data, std::size_t size);
// The report file in memory: from this call on, `name` (which must stay
// unchanged while served) names an empty file of at most 4 KiB, that
// opening for writing gives a handle to whose writes, the cut and the close
// behave as a disk file's (a write beyond 4 KiB is refused);
// servedReportBytes() gives what it holds. A null `name` ends the serving.
void serveReportToMemory(const char* name);
const char* servedReportBytes(std::size_t& size);
// How many files the file services have opened on the system since the
// process began: a harness that serves every file requires that a run
// opens none, so that none is left open when a run ends in a stop.
std::uint64_t systemFileOpens();
#endif

// Ends the process with `status` as its exit status. Never returns.
[[noreturn]] void endProcess(int status);
