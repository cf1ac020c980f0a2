// The operating-system layer on POSIX systems (Linux here). Each failure maps
// to the run-time error number that the programs report for it.
#include "platform/platform.h"
#include "errors/errors.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#ifdef QSTAT_END_PROCESS_THROWS
#include "platform/process_end.h"
#endif

// A standard stream started closed gets a descriptor that refuses its use:
// otherwise the next file opened would take its number, and console output
// would land in the series or the report. Writes to it then fail (error 38
// on standard output) and reads see the end of input, as for a closed stream.
static void holdClosedStream(int fd, int flags) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) return;
    int held = open("/dev/null", flags | O_CLOEXEC);
    if (held >= 0 && held != fd) {
        dup2(held, fd);
        close(held);
    }
}

ProgramArguments startProcess(int argc, char** argv) {
    holdClosedStream(0, O_WRONLY);
    holdClosedStream(1, O_RDONLY);
    holdClosedStream(2, O_RDONLY);
    // A closed pipe on standard output, or a report beyond the file size
    // limit, must be a refused write (error 38), not a death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    ProgramArguments args;
    args.count = argc > 1 ? argc - 1 : 0;
    for (int i = 0; i < 3 && i < args.count; ++i) args.text[i] = argv[i + 1];
    return args;
}

#ifdef QSTAT_END_PROCESS_THROWS
namespace {
// What a fuzz harness serves from memory (platform.h). The handles are ones
// no descriptor can have, and closing them is a no-op as for any negative
// value. Threads: the harness sets the three records between runs only, on
// its own thread; during a run, the reading threads only read servedFile but
// for `position`, which only the caller's thread (readFileBytes) moves, and
// only the caller's thread reads standard input and writes the report.
struct ServedBytes {
    const char* name = nullptr;  // the file's name; null when nothing is served
    const char* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;  // of sequential reads
};
ServedBytes servedFile;
ServedBytes servedInput;
constexpr std::intptr_t servedHandle = -2;
// The served report.
struct ServedReport {
    const char* name = nullptr;
    char data[4096];
    std::size_t size = 0;
    std::size_t position = 0;
};
ServedReport servedReport;
constexpr std::intptr_t servedReportHandle = -3;
std::uint64_t fileOpens = 0;  // counted on the caller's thread, the only one that opens files
}  // namespace

void serveFileFromMemory(const char* name, const char* data, std::size_t size) { servedFile = {name, data, size, 0}; }
FileHandle servedFileHandle() { return FileHandle{servedHandle}; }
void serveStandardInputFromMemory(const char* data, std::size_t size) {
    servedInput = {data ? "standard input" : nullptr, data, size, 0};
}
void serveReportToMemory(const char* name) {
    servedReport.name = name;
    servedReport.size = servedReport.position = 0;
}
const char* servedReportBytes(std::size_t& size) {
    size = servedReport.size;
    return servedReport.data;
}
std::uint64_t systemFileOpens() { return fileOpens; }

static bool isServedName(const char* name) { return servedFile.name && std::strcmp(name, servedFile.name) == 0; }
static bool isServedFile(FileHandle file) { return servedFile.name && file.value == servedHandle; }
static bool isServedReport(FileHandle file) { return servedReport.name && file.value == servedReportHandle; }
// Up to `size` served bytes from `offset` on.
static std::ptrdiff_t readServed(const ServedBytes& served, std::size_t offset, char* buffer, std::size_t size) {
    if (offset >= served.size) return 0;
    std::size_t n = served.size - offset < size ? served.size - offset : size;
    std::memcpy(buffer, served.data + offset, n);
    return static_cast<std::ptrdiff_t>(n);
}
#else
constexpr bool isServedName(const char*) { return false; }
#endif

// Here /? is an ordinary path: the root directory's file "?".
bool slashQuestionAsksForHelp() { return false; }

bool fileExists(const char* name) {
    struct stat info;
    if (isServedName(name)) return true;
    return name[0] != '\0' && stat(name, &info) == 0;
}

// Error number of a failed open, from its errno.
static int openError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EISDIR:
        return errPermission;
    case ENOENT:
    case ENOTDIR:
        return errFileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
        return errFileName;
    default:
        return errOpenFailure;
    }
}

static int openRetrying(const char* name, int flags, mode_t mode) {
    int fd;
    do fd = open(name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

OpenResult openFileByName(const char* name, FileUse use) {
    OpenResult result;
    if (name[0] == '\0') {
        result.error = errFileNotFound;  // no file can have an empty name
        return result;
    }
#ifdef QSTAT_END_PROCESS_THROWS
    if (isServedName(name)) {
        servedFile.position = 0;
        result.file = servedFileHandle();
        return result;
    }
    if (use == FileUse::writing && servedReport.name && std::strcmp(name, servedReport.name) == 0) {
        servedReport.position = 0;
        result.file.value = servedReportHandle;
        return result;
    }
#endif
    struct stat info;
    bool pipe = stat(name, &info) == 0 && S_ISFIFO(info.st_mode);
    int fd = use == FileUse::reading && pipe ? openRetrying(name, O_RDONLY, 0)
                                             : openRetrying(name, O_RDWR | O_CREAT, 0666);
    if (fd < 0) {
        int first = errno;
        if (first == EACCES || first == EPERM || first == EROFS || first == ETXTBSY) {
            fd = openRetrying(name, O_RDONLY, 0);
            if (fd >= 0) {
                result.readOnly = true;
            } else {
                result.error = openError(errno == ENOENT ? first : errno);
                return result;
            }
        } else {
            result.error = openError(first);
            return result;
        }
    }
    result.file.value = fd;
#ifdef QSTAT_END_PROCESS_THROWS
    ++fileOpens;
#endif
    return result;
}

std::ptrdiff_t readFileBytes(FileHandle file, char* buffer, std::size_t size) {
#ifdef QSTAT_END_PROCESS_THROWS
    if (isServedFile(file)) {
        std::ptrdiff_t n = readServed(servedFile, servedFile.position, buffer, size);
        servedFile.position += static_cast<std::size_t>(n);
        return n;
    }
#endif
    ssize_t n;
    do n = read(static_cast<int>(file.value), buffer, size);
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : n;
}

std::ptrdiff_t readFileBytesAt(FileHandle file, std::int64_t offset, char* buffer, std::size_t size) {
#ifdef QSTAT_END_PROCESS_THROWS
    if (isServedFile(file)) return readServed(servedFile, static_cast<std::size_t>(offset), buffer, size);
#endif
    ssize_t n;
    do n = pread(static_cast<int>(file.value), buffer, size, static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : n;
}

// fstat, resumed after a signal. False when it fails.
static bool statDescriptor(int fd, struct stat& info) {
    int rc;
    do rc = fstat(fd, &info);
    while (rc < 0 && errno == EINTR);
    return rc == 0;
}

// lseek, resumed after a signal.
static off_t seekDescriptor(int fd, off_t offset, int whence) {
    off_t at;
    do at = lseek(fd, offset, whence);
    while (at < 0 && errno == EINTR);
    return at;
}

std::int64_t regularFileSize(FileHandle file) {
#ifdef QSTAT_END_PROCESS_THROWS
    if (isServedFile(file)) return static_cast<std::int64_t>(servedFile.size);
#endif
    struct stat info;
    if (!statDescriptor(static_cast<int>(file.value), info) || !S_ISREG(info.st_mode)) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

int usableProcessorCount() {
#ifdef CPU_COUNT
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
#endif
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 1 ? static_cast<int>(online) : 1;
}

// Writes every byte to `fd`, resuming after partial writes and signals.
static bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int writeFileBytes(FileHandle file, const char* data, std::size_t size) {
#ifdef QSTAT_END_PROCESS_THROWS
    if (isServedReport(file)) {
        ServedReport& report = servedReport;
        if (size > sizeof report.data - report.position) return errWrite;
        std::memcpy(report.data + report.position, data, size);
        report.position += size;
        if (report.size < report.position) report.size = report.position;
        return 0;
    }
#endif
    return writeAll(static_cast<int>(file.value), data, size) ? 0 : errWrite;
}

int truncateFileHere(FileHandle file) {
#ifdef QSTAT_END_PROCESS_THROWS
    if (isServedReport(file)) {
        servedReport.size = servedReport.position;
        return 0;
    }
#endif
    int fd = static_cast<int>(file.value);
    off_t here = seekDescriptor(fd, 0, SEEK_CUR);
    if (here < 0) return errno == ESPIPE ? 0 : errWrite;  // a pipe has nothing to cut
    int rc;
    do rc = ftruncate(fd, here);
    while (rc < 0 && errno == EINTR);
    // A device such as /dev/null cannot be truncated, and needs no truncation.
    if (rc < 0 && errno != EINVAL) return errWrite;
    return 0;
}

int closeFileHandle(FileHandle file) {
    if (file.value < 0) return 0;
    // The descriptor is gone even when close fails, so it is never closed
    // twice. EINTR leaves the data in the system's hands, as a successful
    // close does; any other failure (EIO, ENOSPC, EDQUOT on a network or
    // quota-bound file system) may mean that written data are lost.
    if (close(static_cast<int>(file.value)) == 0 || errno == EINTR) return 0;
    return errWrite;
}

// Appends the path component [part, part + n) to the normalised path in
// `out` (length `len`), resolving "." and ".." lexically.
static std::size_t appendComponent(char* out, std::size_t len, const char* part, std::size_t n) {
    if (n == 0 || (n == 1 && part[0] == '.')) return len;
    if (n == 2 && part[0] == '.' && part[1] == '.') {
        while (len > 1 && out[len - 1] != '/') --len;
        if (len > 1) --len;  // drop the slash too, but keep the root
        return len;
    }
    if (len > 1) out[len++] = '/';
    std::memcpy(out + len, part, n);
    return len + n;
}

void fullPathForMessage(const char* name, char* out, std::size_t capacity) {
    constexpr std::size_t fullPathLimit = 256;
    // Room for the current directory, a slash and the name, before normalising.
    char joined[8192];
    char normal[8192];
    std::size_t nameLength = std::strlen(name);
    std::size_t len = 0;
    bool ok = nameLength < 4096;
    if (ok && name[0] != '/') {
        ok = getcwd(joined, 4096) != nullptr;
        if (ok) {
            len = std::strlen(joined);
            joined[len++] = '/';
        }
    }
    if (ok) {
        std::memcpy(joined + len, name, nameLength);
        len += nameLength;
        std::size_t outLen = 1;
        normal[0] = '/';
        std::size_t i = 0;
        while (i < len) {
            while (i < len && joined[i] == '/') ++i;
            std::size_t start = i;
            while (i < len && joined[i] != '/') ++i;
            outLen = appendComponent(normal, outLen, joined + start, i - start);
        }
        if (outLen <= fullPathLimit && outLen < capacity) {
            std::memcpy(out, normal, outLen);
            out[outLen] = '\0';
            return;
        }
    }
    std::size_t n = nameLength < capacity ? nameLength : capacity - 1;
    std::memcpy(out, name, n);
    out[n] = '\0';
}

std::ptrdiff_t readStandardInput(char* buffer, std::size_t size) {
#ifdef QSTAT_END_PROCESS_THROWS
    if (servedInput.name) {
        std::ptrdiff_t n = readServed(servedInput, servedInput.position, buffer, size);
        if (const void* lf = std::memchr(buffer, '\n', static_cast<std::size_t>(n))) n = static_cast<const char*>(lf) - buffer + 1;
        servedInput.position += static_cast<std::size_t>(n);
        return n;
    }
#endif
    struct stat info;
    bool seekable = statDescriptor(0, info) && S_ISREG(info.st_mode);
    if (seekable) {
        // Read a block, keep up to the first LF, and give the rest back. The
        // bytes given back are the next reader's: when they cannot be given
        // back, the read has failed.
        ssize_t n;
        do n = read(0, buffer, size);
        while (n < 0 && errno == EINTR);
        if (n < 0) return errno == EBADF ? 0 : -1;
        const void* lf = std::memchr(buffer, '\n', static_cast<std::size_t>(n));
        if (lf) {
            ssize_t keep = static_cast<const char*>(lf) - buffer + 1;
            if (keep < n && seekDescriptor(0, keep - n, SEEK_CUR) < 0) return -1;
            n = keep;
        }
        return n;
    }
    // A pipe or terminal: byte by byte, so that nothing past the LF is taken.
    // A failure after part of a line fails the read all the same: the bytes
    // before it are no line.
    std::size_t count = 0;
    while (count < size) {
        ssize_t n = read(0, buffer + count, 1);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EBADF) return -1;
            break;  // a closed stream is the end of input
        }
        if (n == 0) break;
        if (buffer[count++] == '\n') break;
    }
    return static_cast<std::ptrdiff_t>(count);
}

int writeStandardOutput(const char* data, std::size_t size) { return writeAll(1, data, size) ? 0 : errWrite; }

void writeStandardError(const char* data, std::size_t size) { writeAll(2, data, size); }

bool standardInputIsTerminal() { return isatty(0) == 1; }

void runCommandInterpreter(const char* line) {
    pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", line, static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0) return;
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Copies at most capacity - 1 bytes of `text` into `out`, NUL-terminated.
static void copyName(char* out, std::size_t capacity, const char* text) {
    std::size_t n = std::strlen(text);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

// Finds the module and the exported symbol at `address`. Returns false when
// no module holds it. info.dli_sname is left null unless the symbol's extent,
// from its start over its size, holds the address: the nearest symbol below
// an address is not the routine that holds it when the address lies past its
// end, in padding or in a routine that exports no name.
static bool lookUpAddress(const void* address, Dl_info& info) {
    void* entry = nullptr;
    if (dladdr1(address, &info, &entry, RTLD_DL_SYMENT) == 0) return false;
    const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
    auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    if (symbol == nullptr || info.dli_saddr == nullptr || offset >= symbol->st_size) info.dli_sname = nullptr;
    return true;
}

#ifdef QSTAT_END_PROCESS_THROWS
static bool listingFrames = true;
void listStackFrames(bool on) { listingFrames = on; }
#else
constexpr bool listingFrames = true;
#endif

int walkStack(StackFrame* frames, int capacity) {
    constexpr int maxFrames = 64;
    if (!listingFrames) return 0;
    void* addresses[maxFrames];
    int total = backtrace(addresses, maxFrames);
    int count = 0;
    for (int i = 1; i < total && count < capacity; ++i) {  // frame 0 is walkStack itself
        StackFrame& frame = frames[count++];
        frame = StackFrame{};
        auto address = reinterpret_cast<std::uintptr_t>(addresses[i]);
        frame.pc = static_cast<std::uint32_t>(address);
        // Each address is a return address, just after its call; the call is
        // one byte back. A call that ends its routine (to one that never
        // returns) is followed by the next routine in memory, which the return
        // address itself would name.
        Dl_info info;
        if (!lookUpAddress(reinterpret_cast<const void*>(address - 1), info)) continue;
        if (info.dli_fname) {
            const char* slash = std::strrchr(info.dli_fname, '/');
            copyName(frame.module, sizeof frame.module, slash ? slash + 1 : info.dli_fname);
        }
        frame.pc = static_cast<std::uint32_t>(address - reinterpret_cast<std::uintptr_t>(info.dli_fbase));
        if (info.dli_sname) {
            int status = 0;
            char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
            copyName(frame.routine, sizeof frame.routine, status == 0 && demangled ? demangled : info.dli_sname);
            std::free(demangled);
            // The listing names a routine, not its parameter list.
            if (char* paren = std::strchr(frame.routine, '(')) *paren = '\0';
        }
    }
    return count;
}

[[noreturn]] void endProcess(int status) {
#ifdef QSTAT_END_PROCESS_THROWS
    throw ProcessEnd{status};
#else
    _exit(status);
#endif
}
