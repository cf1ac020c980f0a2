// Fuzz target: the `.xys` header read (text of 3, int32, int32, text of 32,
// neither flag set) on arbitrary bytes from a series file. A failure stops
// the run; a success leaves both text fields blank-padded to their length.
#include <unistd.h>

#include <cstring>

#include "fuzz_support.h"
#include "textio/free_form.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = anonymousFile(data, size, "header");
    char kind[3];
    char name[32];
    std::int32_t version = 0;
    std::int32_t count = 0;
    std::memset(kind, ' ', sizeof kind);
    std::memset(name, ' ', sizeof name);
    int stop = runCatchingStop([&] {
        RecordSource source = fileSource(FileHandle{fd}, seriesUnit, "fuzz header");
        const ReadItem header[] = {textItem(kind, sizeof kind), integerItem(version), integerItem(count),
                                   textItem(name, sizeof name)};
        int status = readFreeForm(source, header, false, false);
        require(status == readComplete, "an uncaught header read returned other than 0");
    });
    require(stop == -1 || stop == 24 || stop == 39 || stop == 59 || stop == 64, "header stop with a wrong status");
    close(fd);
    return 0;
}
