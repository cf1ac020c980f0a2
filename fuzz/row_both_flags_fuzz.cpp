// Fuzz target: rows of a `.txt` series (two doubles, catchEnd and catchError
// set) on arbitrary bytes, read the way the reader does on one thread and
// through the general free-form read alone; both must agree bit for bit
// (row_reads.h). The second thread is row_hand_over's.
#include "row_reads.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    compareRowReads(data, size, true, 1);
    return 0;
}
