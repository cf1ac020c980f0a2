// A library preloaded (LD_PRELOAD) into qvolstat or qmassstat that counts,
// and may fail, the system calls the programs make on their five streams.
//
// Streams: `series` and `report` are the descriptors that an open of the
// names in QSTAT_FAULT_SERIES and QSTAT_FAULT_REPORT returned, until they are
// closed; `stdin`, `stdout` and `stderr` are descriptors 0, 1 and 2.
// Calls: open, read, pread, write, ftruncate, close, lseek, fstat (each with
// its 64-bit twin, counted as the same call). The stream `process` has two
// calls of its own: `new`, an allocation by the nothrow forms of operator new
// (which the programs use for every buffer; a fault returns null, and its
// kind must be ENOMEM), and `thread`, a pthread_create (a fault returns the
// kind, which must be EAGAIN).
//
//   QSTAT_FAULT=STREAM:CALL:N:KIND   fail the N-th call (from 1) of CALL on
//       STREAM. KIND is EIO, ENOSPC, EINTR, EAGAIN, ENOMEM or EACCES: return
//       -1 with that errno, the real call not made; or `short` (read, pread,
//       write only): the real call for half the bytes, rounded up, of what
//       it would transfer (at least 1). Every other call is real.
//   QSTAT_FAULT_LOG=FILE   at the process end, write one line
//       `count STREAM CALL N` for each (stream, call) used, and, when the
//       fault was made, `fired STREAM CALL N KIND OFFSET`: OFFSET is the file
//       offset of a read or pread, the size of an allocation (-1 for other
//       calls).
//
// The programs end with _exit, so _exit is wrapped to write the log; the
// counts are kept in atomics, since the row reader reads on two threads.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum Stream { series, report, standardInput, standardOutput, standardError, process, streamCount };
enum Call {
    openCall, readCall, preadCall, writeCall, ftruncateCall, closeCall, lseekCall, fstatCall, newCall, threadCall,
    callCount
};

const char* const streamNames[streamCount] = {"series", "report", "stdin", "stdout", "stderr", "process"};
const char* const callNames[callCount] = {"open",  "read",  "pread", "write", "ftruncate",
                                          "close", "lseek", "fstat", "new",   "thread"};

constexpr int noStream = -1;
constexpr int shortKind = -1;  // the kind `short`; other kinds are an errno
constexpr int trackedDescriptors = 4096;

struct Fault {
    int stream = noStream;
    int call = -1;
    long n = 0;
    int kind = 0;
    char kindName[16] = {};
};

Fault fault;
const char* seriesName = nullptr;
const char* reportName = nullptr;
const char* logName = nullptr;
pid_t ownPid = 0;  // a forked child writes no log

std::atomic<long> counts[streamCount][callCount];
std::atomic<int> openStreams[trackedDescriptors];  // stream + 1, 0 when none
std::atomic<bool> fired{false};
std::atomic<long long> firedOffset{-1};
std::atomic<bool> logWritten{false};

// The next definition of `name` after this library's: the C library's, or
// a sanitizer's wrapper of it. A missing one ends the process.
template <typename Function>
Function realFunction(const char* name) {
    void* address = dlsym(RTLD_NEXT, name);
    if (address == nullptr) {
        std::fprintf(stderr, "fault_inject: no function %s to wrap\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(address);
}

// Declares `real`, the wrapped function, looked up once (thread-safely, as
// every local static).
#define REAL(name) static auto real = realFunction<decltype(&::name)>(#name)

// The index of the name [text, text + length) in `names`, or -1.
int lookUp(const char* const* names, int count, const char* text, std::size_t length) {
    for (int i = 0; i < count; ++i)
        if (std::strlen(names[i]) == length && std::strncmp(names[i], text, length) == 0) return i;
    return -1;
}

// The errno of a kind's name, shortKind for `short`, 0 for no kind.
int kindFromName(const char* name) {
    static const struct {
        const char* name;
        int kind;
    } kinds[] = {{"EIO", EIO},     {"ENOSPC", ENOSPC}, {"EINTR", EINTR},    {"EAGAIN", EAGAIN},
                 {"ENOMEM", ENOMEM}, {"EACCES", EACCES}, {"short", shortKind}};
    for (const auto& k : kinds)
        if (std::strcmp(k.name, name) == 0) return k.kind;
    return 0;
}

[[noreturn]] void badSetting(const char* text) {
    std::fprintf(stderr, "fault_inject: QSTAT_FAULT=%s is not STREAM:CALL:N:KIND\n", text);
    std::_Exit(125);
}

// Reads QSTAT_FAULT: STREAM:CALL:N:KIND.
void readFaultSetting(const char* text) {
    const char* p = text;
    const char* parts[4];
    std::size_t lengths[4];
    for (int i = 0; i < 4; ++i) {
        const char* end = i < 3 ? std::strchr(p, ':') : p + std::strlen(p);
        if (end == nullptr) badSetting(text);
        parts[i] = p;
        lengths[i] = static_cast<std::size_t>(end - p);
        p = end + 1;
    }
    fault.stream = lookUp(streamNames, streamCount, parts[0], lengths[0]);
    fault.call = lookUp(callNames, callCount, parts[1], lengths[1]);
    char* end = nullptr;
    fault.n = std::strtol(parts[2], &end, 10);
    if (lengths[3] >= sizeof fault.kindName) badSetting(text);
    std::memcpy(fault.kindName, parts[3], lengths[3]);
    fault.kind = kindFromName(fault.kindName);
    bool transfers = fault.call == readCall || fault.call == preadCall || fault.call == writeCall;
    bool ownCall = fault.call == newCall || fault.call == threadCall;
    if (fault.stream < 0 || fault.call < 0 || end != parts[3] - 1 || fault.n < 1 || fault.kind == 0 ||
        (fault.kind == shortKind && !transfers) || ownCall != (fault.stream == process) ||
        (fault.call == newCall && fault.kind != ENOMEM) || (fault.call == threadCall && fault.kind != EAGAIN))
        badSetting(text);
}

__attribute__((constructor)) void startUp() {
    seriesName = std::getenv("QSTAT_FAULT_SERIES");
    reportName = std::getenv("QSTAT_FAULT_REPORT");
    logName = std::getenv("QSTAT_FAULT_LOG");
    ownPid = getpid();
    if (const char* setting = std::getenv("QSTAT_FAULT"); setting != nullptr && setting[0] != '\0')
        readFaultSetting(setting);
}

// The stream of descriptor `fd`, or noStream.
int streamOf(int fd) {
    if (fd >= 0 && fd <= 2) return standardInput + fd;
    if (fd < 0 || fd >= trackedDescriptors) return noStream;
    return openStreams[fd].load() - 1;
}

// Counts the call; returns the kind of fault to make of it (0 for none).
int countCall(int stream, Call call) {
    if (stream == noStream) return 0;
    long n = counts[stream][call].fetch_add(1) + 1;
    if (stream != fault.stream || call != fault.call || n != fault.n) return 0;
    fired.store(true);
    return fault.kind;
}

// The size of a short transfer: half, rounded up, of what a read would
// give (what is left of a regular file, or waits in a pipe), at least 1.
std::size_t shortSize(int fd, std::size_t count, long long offset) {
    REAL(fstat);
    struct stat info;
    std::size_t available = count;
    if (real(fd, &info) == 0 && S_ISREG(info.st_mode) && offset >= 0) {
        long long left = info.st_size > offset ? info.st_size - offset : 0;
        if (static_cast<unsigned long long>(left) < available) available = static_cast<std::size_t>(left);
    } else {
        int waiting = 0;
        if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0 && static_cast<std::size_t>(waiting) < available)
            available = static_cast<std::size_t>(waiting);
    }
    std::size_t half = (available + 1) / 2;
    return half > 0 ? half : 1;
}

// A refused call: -1 with errno `kind`.
int refuse(int kind) {
    errno = kind;
    return -1;
}

// Writes all of `text` to `fd` by the real write, uncounted.
void writeText(int fd, const char* text) {
    REAL(write);
    std::size_t length = std::strlen(text);
    while (length > 0) {
        ssize_t n = real(fd, text, length);
        if (n <= 0) return;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
}

// Writes the log, once, from the process that started.
void writeLog() {
    if (logName == nullptr || getpid() != ownPid || logWritten.exchange(true)) return;
    static auto realOpen = realFunction<decltype(&::open)>("open");
    static auto realClose = realFunction<decltype(&::close)>("close");
    int saved = errno;
    int fd = realOpen(logName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char line[128];
        for (int s = 0; s < streamCount; ++s)
            for (int c = 0; c < callCount; ++c)
                if (long n = counts[s][c].load(); n > 0) {
                    std::snprintf(line, sizeof line, "count %s %s %ld\n", streamNames[s], callNames[c], n);
                    writeText(fd, line);
                }
        if (fired.load()) {
            std::snprintf(line, sizeof line, "fired %s %s %ld %s %lld\n", streamNames[fault.stream],
                          callNames[fault.call], fault.n, fault.kindName, firedOffset.load());
            writeText(fd, line);
        }
        realClose(fd);
    }
    errno = saved;
}

__attribute__((destructor)) void finish() { writeLog(); }

// An open through `real`: a name of the series or the report makes the
// descriptor that stream's.
template <typename RealOpen>
int openStream(RealOpen real, const char* name, int flags, mode_t mode) {
    int stream = noStream;
    if (seriesName != nullptr && std::strcmp(name, seriesName) == 0) stream = series;
    else if (reportName != nullptr && std::strcmp(name, reportName) == 0) stream = report;
    if (int kind = countCall(stream, openCall); kind != 0) return refuse(kind);
    int fd = real(name, flags, mode);
    if (fd >= 0 && fd < trackedDescriptors && stream != noStream) openStreams[fd].store(stream + 1);
    return fd;
}

// The third argument of an open, present only where the flags ask for it.
mode_t modeArgument(int flags, va_list args) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

// The current offset of `fd`, -1 where it has none.
long long offsetOf(int fd) {
    REAL(lseek);
    int saved = errno;
    long long here = real(fd, 0, SEEK_CUR);
    errno = saved;
    return here;
}

// The byte count that the real read of a fault of `kind` asks for, or -1
// when the read is refused instead (errno set). `offset` is where it reads.
long long faultedReadSize(int kind, int fd, std::size_t count, long long offset) {
    firedOffset.store(offset);
    if (kind != shortKind) return refuse(kind);
    return static_cast<long long>(shortSize(fd, count, offset));
}

}  // namespace

extern "C" {

int open(const char* name, int flags, ...) {
    REAL(open);
    va_list args;
    va_start(args, flags);
    mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openStream(real, name, flags, mode);
}

int open64(const char* name, int flags, ...) {
    REAL(open64);
    va_list args;
    va_start(args, flags);
    mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openStream(real, name, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t count) {
    REAL(read);
    if (int kind = countCall(streamOf(fd), readCall); kind != 0) {
        long long size = faultedReadSize(kind, fd, count, offsetOf(fd));
        return size < 0 ? -1 : real(fd, buffer, static_cast<size_t>(size));
    }
    return real(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    REAL(pread);
    if (int kind = countCall(streamOf(fd), preadCall); kind != 0) {
        long long size = faultedReadSize(kind, fd, count, offset);
        return size < 0 ? -1 : real(fd, buffer, static_cast<size_t>(size), offset);
    }
    return real(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
    REAL(pread64);
    if (int kind = countCall(streamOf(fd), preadCall); kind != 0) {
        long long size = faultedReadSize(kind, fd, count, offset);
        return size < 0 ? -1 : real(fd, buffer, static_cast<size_t>(size), offset);
    }
    return real(fd, buffer, count, offset);
}

ssize_t write(int fd, const void* data, size_t count) {
    REAL(write);
    int kind = countCall(streamOf(fd), writeCall);
    if (kind == shortKind) return real(fd, data, (count + 1) / 2);
    if (kind != 0) return refuse(kind);
    return real(fd, data, count);
}

int ftruncate(int fd, off_t length) __THROW {
    REAL(ftruncate);
    if (int kind = countCall(streamOf(fd), ftruncateCall); kind != 0) return refuse(kind);
    return real(fd, length);
}

int ftruncate64(int fd, off64_t length) __THROW {
    REAL(ftruncate64);
    if (int kind = countCall(streamOf(fd), ftruncateCall); kind != 0) return refuse(kind);
    return real(fd, length);
}

// A refused close leaves the descriptor open, and so still its stream's.
int close(int fd) {
    REAL(close);
    if (int kind = countCall(streamOf(fd), closeCall); kind != 0) return refuse(kind);
    if (fd > 2 && fd < trackedDescriptors) openStreams[fd].store(0);
    return real(fd);
}

off_t lseek(int fd, off_t offset, int whence) __THROW {
    REAL(lseek);
    if (int kind = countCall(streamOf(fd), lseekCall); kind != 0) return refuse(kind);
    return real(fd, offset, whence);
}

off64_t lseek64(int fd, off64_t offset, int whence) __THROW {
    REAL(lseek64);
    if (int kind = countCall(streamOf(fd), lseekCall); kind != 0) return refuse(kind);
    return real(fd, offset, whence);
}

int fstat(int fd, struct stat* info) __THROW {
    REAL(fstat);
    if (int kind = countCall(streamOf(fd), fstatCall); kind != 0) return refuse(kind);
    return real(fd, info);
}

int fstat64(int fd, struct stat64* info) __THROW {
    REAL(fstat64);
    if (int kind = countCall(streamOf(fd), fstatCall); kind != 0) return refuse(kind);
    return real(fd, info);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument) {
    REAL(pthread_create);
    if (int kind = countCall(process, threadCall); kind != 0) return kind;
    return real(thread, attributes, start, argument);
}

void _exit(int status) {
    writeLog();
    REAL(_exit);
    real(status);
    __builtin_unreachable();
}

}  // extern "C"

// The nothrow forms of operator new, which the programs use for every buffer.
// A fault makes the allocation fail as an exhausted memory would.
using NothrowNew = void* (*)(std::size_t, const std::nothrow_t&);

static void* allocate(const char* mangled, std::size_t size, const std::nothrow_t& tag) {
    if (countCall(process, newCall) != 0) {
        firedOffset.store(static_cast<long long>(size));
        return nullptr;
    }
    return realFunction<NothrowNew>(mangled)(size, tag);
}

void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept { return allocate("_ZnwmRKSt9nothrow_t", size, tag); }

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return allocate("_ZnamRKSt9nothrow_t", size, tag);
}
