// Process set-up and file helpers of the fuzz targets. This is harness code,
// not part of the programs, so it calls the system directly.
#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

// Nothing that a series file says makes the programs allocate more: memory
// does not grow with the rows or with an .xys header's count. An allocation
// above 64 MiB fails (and its new throws), so that such a fault shows.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=64"; }

namespace {

char directory[64];
int harnessError = 2;  // the real standard error, kept before libFuzzer redirects it

void removeDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

[[noreturn]] void fail(const char* what) {
    // Descriptor 2 is /dev/null while fuzzing; the copy taken at start-up
    // still reaches the terminal or the CI log.
    dprintf(harnessError, "fuzz harness: %s\n", what);
    std::abort();
}

}  // namespace

bool knownStopStatus(int status) {
    switch (status) {
        case 0:
        case 9:
        case 24:
        case 29:
        case 30:
        case 38:
        case 39:
        case 41:
        case 43:
        case 47:
        case 59:
        case 64:
        case 179:
            return true;
        default:
            return false;
    }
}

void prepareFuzzProcess(int* argc, char*** argv) {
    harnessError = fcntl(2, F_DUPFD_CLOEXEC, 100);
    if (harnessError < 0) harnessError = 2;
    int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, 0) < 0) fail("cannot read standard input from /dev/null");
    close(null);
    bool masked = false;
    for (int i = 1; i < *argc; ++i) masked = masked || std::strncmp((*argv)[i], "-close_fd_mask=", 15) == 0;
    if (!masked) {
        // libFuzzer parses its flags after this call: with mask 3 it keeps a
        // duplicate of standard error for itself and the sanitizers, and sends
        // descriptors 1 and 2 to /dev/null.
        static char mask[] = "-close_fd_mask=3";
        static char** extended = nullptr;  // lives as long as the process, as argv does
        extended = new char*[static_cast<std::size_t>(*argc) + 2];
        extended[0] = (*argv)[0];
        extended[1] = mask;
        for (int i = 1; i < *argc; ++i) extended[i + 1] = (*argv)[i];
        extended[*argc + 1] = nullptr;
        *argv = extended;
        ++*argc;
    }
}

// Moves a descriptor of the harness's own to 100 or above, out of the way
// of those that runs open.
static int keepApart(int fd) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 100);
    if (moved < 0) fail("cannot move a descriptor out of the way");
    close(fd);
    return moved;
}

std::size_t bufferSetting(std::uint8_t setting) { return std::size_t{16} << (setting & 0x0F) % 9; }

ReadSettings readSettings(const std::uint8_t* settings, int threads) {
    ReadSettings read;
    read.bufferBytes = bufferSetting(settings[0]);
    read.blockBytes = std::int64_t{16} << (settings[0] >> 4) % 9;
    read.threads = threads;
    read.rowsAtATime = 1 + (settings[1] >> 3);
    return read;
}

void letPartnerStart(const ReadSettings& settings, bool& waited) {
    if (settings.threads < 2 || waited) return;
    waited = true;
    usleep(200);
}

int memoryFile(const std::uint8_t* data, std::size_t size) {
    static int fd = -1;
    if (fd < 0) {
        fd = memfd_create("fuzz input", MFD_CLOEXEC);
        if (fd < 0) fail("memfd_create failed");
        fd = keepApart(fd);
    }
    // Cutting the file to its new length, not to nothing first, keeps the
    // pages that the next input rewrites.
    static std::size_t length = 0;
    if (size < length && ftruncate(fd, static_cast<off_t>(size)) != 0) fail("cannot shorten the memory file");
    length = size;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) fail("cannot write the memory file");
        done += static_cast<std::size_t>(n);
    }
    if (lseek(fd, 0, SEEK_SET) != 0) fail("cannot rewind the memory file");
    return fd;
}

const char* fuzzDirectory() {
    if (directory[0] == '\0') {
        // The targets serve their files from memory and write nothing here;
        // the directory gives the served names a place of the process's own.
        // It stays in /dev/shm where the system has it, as the corpora were
        // grown with names of that length. No dot in the name: the first dot
        // of a series path decides its kind.
        struct stat shm;
        bool memory = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && access("/dev/shm", W_OK) == 0;
        std::string base = memory ? "/dev/shm/qstat-fuzz-XXXXXX" : "/tmp/qstat-fuzz-XXXXXX";
        if (base.size() >= sizeof directory) fail("temporary directory path too long");
        std::memcpy(directory, base.c_str(), base.size() + 1);
        if (mkdtemp(directory) == nullptr) fail("mkdtemp failed");
        std::atexit(removeDirectory);
    }
    return directory;
}

void require(bool condition, const char* what) {
    if (!condition) fail(what);
}
