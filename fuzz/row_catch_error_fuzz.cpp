// Fuzz target: rows of an `.xys` series (two doubles, catchError only, so the
// end of the data stops the run with error 24) on arbitrary bytes, read the
// way the reader does on one thread and through the general free-form read
// alone (row_reads.h). The second thread is row_hand_over's.
#include "row_reads.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    compareRowReads(data, size, false, 1);
    return 0;
}
