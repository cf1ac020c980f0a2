// Fuzz target: rows of a `.txt` series (two doubles, catchEnd and catchError
// set) on arbitrary bytes, read the way the reader does and through the
// general free-form read alone; both must agree bit for bit.
#include "row_reads.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    compareRowReads(data, size, true);
    return 0;
}
