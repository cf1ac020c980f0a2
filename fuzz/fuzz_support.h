// What every fuzz target needs to run the library over and over in one
// process: quiet console streams, the reading settings that lead an input,
// the input as a memory-backed file where a real descriptor is wanted, and
// the end of a run caught instead of ending the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "platform/process_end.h"

// Run-time error numbers that a stop may carry, plus 0 for the plain stop.
// A stop with any other status is a defect.
bool knownStopStatus(int status);

// Prepares the process for fuzzing, from LLVMFuzzerInitialize: standard input
// reads from /dev/null (so that a pause or a wait meets the end of input at
// once), and -close_fd_mask=3 is added to the arguments unless one is given,
// so that libFuzzer and the sanitizers keep writing to the real standard error
// while the library's standard output and error go to /dev/null.
void prepareFuzzProcess(int* argc, char*** argv);

// What the two leading bytes of an input set for the reading of the rest:
// the sizes of the source's buffer (byte 0, bits 0-3) and of the blocks
// parsed ahead (bits 4-7), each 16 bytes to 4 KiB, so that refills, lines
// longer than the buffer, block seams, partial segments and the segment
// limit all fall inside small inputs; and the rows a caller asks for at a
// time, 1 to 32 (byte 1, bits 3-7; bits 0-2 are the target's own). The
// threads are the target's: a thread costs more to start than most inputs
// take to read, so one target alone has the second (row_hand_over).
struct ReadSettings {
    std::size_t bufferBytes;
    std::int64_t blockBytes;
    int threads;
    std::int64_t rowsAtATime;
};
constexpr std::size_t readSettingsBytes = 2;
ReadSettings readSettings(const std::uint8_t* settings, int threads);

// Called by a target after its first read of rows: with two threads, waits
// a little, once, so that the partner, which the first read started, gets
// to claim and parse blocks ahead of the caller. Without the wait the
// caller reads a small input whole before the partner is scheduled, and the
// hand-over between the two is never met.
void letPartnerStart(const ReadSettings& settings, bool& waited);

// The buffer size of a settings byte alone (bits 0-3).
std::size_t bufferSetting(std::uint8_t setting);

// A memory-backed file holding `data`, positioned at its start: one file
// for the whole process, rewritten for each input, never to be closed.
// Aborts when the system cannot provide one.
int memoryFile(const std::uint8_t* data, std::size_t size);

// A private directory for the files of one fuzz process, removed at exit.
const char* fuzzDirectory();

// Ends the fuzz process with a report on the real standard error when
// `condition` is false; libFuzzer then keeps the input as a crash.
void require(bool condition, const char* what);

// Runs `body` as one run of the programs would go: a stop inside it is caught
// and its status checked. Returns the status of the stop, or -1 when the body
// returned normally. The run must open no file on the system (the targets
// serve theirs from memory): a run that ends in a stop leaves its files open,
// as the process end would close them, and in one process they would pile up.
template <typename Body>
int runCatchingStop(Body&& body) {
    std::uint64_t opens = systemFileOpens();
    // The stack listing walks and names its frames in one run in 1024, the
    // first included, so that a single input replayed shows them.
    static unsigned runs = 0;
    listStackFrames(runs++ % 1024 == 0);
    int status = -1;
    try {
        body();
    } catch (const ProcessEnd& end) {
        status = end.status;
        require(knownStopStatus(status), "stop with an unknown status");
    }
    require(systemFileOpens() == opens, "a run opened a file on the system, not one served from memory");
    return status;
}
