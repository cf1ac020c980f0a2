// What every fuzz target needs to run the library over and over in one
// process: quiet console streams, the fuzz input as a file, the end of a run
// caught instead of ending the process, and the descriptors a stopped run
// left open closed again.
#pragma once

#include <cstddef>
#include <cstdint>

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

// A descriptor of an anonymous file holding `data`, positioned at its start.
// Aborts when the system cannot provide one.
int anonymousFile(const std::uint8_t* data, std::size_t size, const char* name);

// Writes `data` to the file at `path`, replacing what it held. Aborts on failure.
void replaceFile(const char* path, const std::uint8_t* data, std::size_t size);

// A private directory for the files of one fuzz process, removed at exit.
const char* fuzzDirectory();

// The descriptors below 64 that are open.
struct OpenDescriptors {
    bool open[64];
};
OpenDescriptors openDescriptors();

// Closes every descriptor below 64 that was not open in `before`: a run that
// ends in a stop leaves its series or report file open, as the process end
// would close it.
void closeNewDescriptors(const OpenDescriptors& before);

// Ends the fuzz process with a report on the real standard error when
// `condition` is false; libFuzzer then keeps the input as a crash.
void require(bool condition, const char* what);

// Runs `body` as one run of the programs would go: a stop inside it is caught
// and its status checked; descriptors it left open are closed. Returns the
// status of the stop, or -1 when the body returned normally.
template <typename Body>
int runCatchingStop(Body&& body) {
    OpenDescriptors before = openDescriptors();
    int status = -1;
    try {
        body();
    } catch (const ProcessEnd& end) {
        status = end.status;
        require(knownStopStatus(status), "stop with an unknown status");
    }
    closeNewDescriptors(before);
    return status;
}
