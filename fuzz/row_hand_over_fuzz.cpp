// Fuzz target: the hand-over between the two reading threads. The rows of
// an arbitrary file are read by the row reader with a partner thread that
// parses blocks ahead, and through the general free-form read alone; both
// must agree bit for bit (row_reads.h). Bit 0 of the second byte chooses
// the `.xys` rows (catchError only), else the `.txt` rows (both flags). The
// bytes are a real file in memory-backed storage, which both threads read
// with positional reads; the caller pauses once after its first rows so
// that the partner, just started, claims blocks too. Each input starts and
// ends a thread, so this target runs fewer inputs a second than the others:
// the hand-over's protocol is what it is for, the forms of rows are the row
// targets'. CI runs it under ThreadSanitizer as well. Left out: refused
// reads (the fault-injection suite fails them), inputs over 4096 rows.
#include "row_reads.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < readSettingsBytes) return 0;
    compareRowReads(data, size, (data[1] & 1) == 0, 2);
    return 0;
}
