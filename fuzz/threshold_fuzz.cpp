// Fuzz target: the threshold read (one double, neither flag set) from the
// 32-character fixed text, filled from arbitrary bytes the way the driver
// fills it from the third argument: cut to 32 characters or blank-padded.
// A stop must carry 24, 59 or 64. Left out: nothing of that read, which
// makes no system call.
#include "fuzz_support.h"
#include "textio/free_form.h"
#include "textio/text_fields.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    prepareFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char threshold[32];
    setField(threshold, sizeof threshold, reinterpret_cast<const char*>(data), size);
    double fluxmax = 100000.0;
    int stop = runCatchingStop([&] {
        RecordSource source = fixedTextSource(threshold, sizeof threshold);
        const ReadItem item[] = {realItem(fluxmax)};
        int status = readFreeForm(source, item, false, false);
        require(status == readComplete, "an uncaught threshold read returned other than 0");
    });
    require(stop == -1 || stop == 24 || stop == 59 || stop == 64, "threshold stop with a wrong status");
    return 0;
}
