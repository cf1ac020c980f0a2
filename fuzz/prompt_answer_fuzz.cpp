// Fuzz target: the prompt answer (a path field, neither flag set) and then
// the final wait (no items) from standard input, which holds the arbitrary
// bytes after the first. That byte sets the size of the source's buffer
// (bits 0-3: 16 bytes to 4 KiB, so that answers cross refills and outgrow
// the buffer) and where the bytes come from: served from memory
// (platform.h); when the byte is 0xFF through a pipe, read byte by byte,
// and when it is 0xFE from a regular file, read in blocks whose bytes past
// the line are given back. Those two are the system's own reads, rare among
// inputs because each costs a system call per line or byte. Left out:
// refused reads and a failed give-back (the fault-injection suite fails them).
#include <unistd.h>

#include "fuzz_support.h"
#include "textio/free_form.h"
#include "textio/text_fields.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

// Where standard input takes the bytes from.
enum class InputFeed { memory, pipe, file };

// Puts `data` on standard input, which keeps it until the next input. A pipe
// holds at most 64 KiB unread.
static void feedStandardInput(const std::uint8_t* data, std::size_t size, InputFeed feed) {
    if (feed == InputFeed::pipe && size >= 65536) feed = InputFeed::file;
    serveStandardInputFromMemory(feed == InputFeed::memory ? reinterpret_cast<const char*>(data) : nullptr, size);
    switch (feed) {
    case InputFeed::memory:
        return;
    case InputFeed::pipe: {
        int ends[2];
        require(pipe(ends) == 0, "pipe failed");
        require(write(ends[1], data, size) == static_cast<ssize_t>(size), "cannot fill the pipe");
        close(ends[1]);
        require(dup2(ends[0], 0) == 0, "dup2 failed");
        close(ends[0]);
        return;
    }
    case InputFeed::file:
        require(dup2(memoryFile(data, size), 0) == 0, "dup2 failed");
        return;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t bufferBytes = bufferSetting(data[0]);
    InputFeed feed = data[0] == 0xFF ? InputFeed::pipe : data[0] == 0xFE ? InputFeed::file : InputFeed::memory;
    feedStandardInput(data + 1, size - 1, feed);
    char finput[pathLength];
    setField(finput, sizeof finput, "", 0);
    int stop = runCatchingStop([&] {
        RecordSource input = standardInputSource(bufferBytes);
        const ReadItem answer[] = {textItem(finput, sizeof finput)};
        require(readFreeForm(input, answer, false, false) == readComplete, "an uncaught prompt read returned other than 0");
        require(readFreeForm(input, {}, false, false) == readComplete, "an uncaught wait returned other than 0");
    });
    require(stop == -1 || stop == 24 || stop == 39 || stop == 59, "prompt stop with a wrong status");
    return 0;
}
