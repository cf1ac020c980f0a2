// Fuzz target: the prompt answer (a path field, neither flag set) and then
// the final wait (no items) from standard input, which holds the arbitrary
// bytes after the first: through a pipe when its lowest bit is set (read byte
// by byte), else from a regular file (read in blocks and given back).
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "fuzz_support.h"
#include "textio/free_form.h"
#include "textio/text_fields.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

// Puts `data` on descriptor 0. A pipe holds at most 64 KiB unread.
static void feedStandardInput(const std::uint8_t* data, std::size_t size, bool viaPipe) {
    if (viaPipe && size < 65536) {
        int ends[2];
        require(pipe(ends) == 0, "pipe failed");
        require(write(ends[1], data, size) == static_cast<ssize_t>(size), "cannot fill the pipe");
        close(ends[1]);
        require(dup2(ends[0], 0) == 0, "dup2 failed");
        close(ends[0]);
        return;
    }
    int fd = anonymousFile(data, size, "stdin");
    require(dup2(fd, 0) == 0, "dup2 failed");
    close(fd);
}

static void restoreStandardInput() {
    int null = open("/dev/null", O_RDONLY);
    require(null >= 0 && dup2(null, 0) == 0, "cannot read /dev/null again");
    close(null);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    feedStandardInput(data + 1, size - 1, (data[0] & 1) != 0);
    char finput[pathLength];
    setField(finput, sizeof finput, "", 0);
    int stop = runCatchingStop([&] {
        RecordSource input = standardInputSource();
        const ReadItem answer[] = {textItem(finput, sizeof finput)};
        require(readFreeForm(input, answer, false, false) == readComplete, "an uncaught prompt read returned other than 0");
        require(readFreeForm(input, {}, false, false) == readComplete, "an uncaught wait returned other than 0");
    });
    require(stop == -1 || stop == 24 || stop == 39 || stop == 59, "prompt stop with a wrong status");
    restoreStandardInput();
    return 0;
}
