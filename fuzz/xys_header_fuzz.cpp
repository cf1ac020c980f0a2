// Fuzz target: the `.xys` header read (text of 3, int32, int32, text of 32,
// neither flag set) on arbitrary bytes from a series file, read through a
// source buffer of 16 bytes to 4 KiB as the first byte sets (so that values
// and quoted names cross refills), the file's bytes served from memory
// (platform.h). A failure stops the run; a success
// leaves both text fields blank-padded to their length. Left out: refused
// reads (the fault-injection suite fails them).
#include <cstring>

#include "fuzz_support.h"
#include "textio/free_form.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t bufferBytes = bufferSetting(data[0]);
    serveFileFromMemory("fuzz header", reinterpret_cast<const char*>(data + 1), size - 1);
    char kind[3];
    char name[32];
    std::int32_t version = 0;
    std::int32_t count = 0;
    std::memset(kind, ' ', sizeof kind);
    std::memset(name, ' ', sizeof name);
    int stop = runCatchingStop([&] {
        RecordSource source = fileSource(servedFileHandle(), seriesUnit, "fuzz header", bufferBytes);
        const ReadItem header[] = {textItem(kind, sizeof kind), integerItem(version), integerItem(count),
                                   textItem(name, sizeof name)};
        int status = readFreeForm(source, header, false, false);
        require(status == readComplete, "an uncaught header read returned other than 0");
    });
    require(stop == -1 || stop == 24 || stop == 39 || stop == 59 || stop == 64, "header stop with a wrong status");
    return 0;
}
