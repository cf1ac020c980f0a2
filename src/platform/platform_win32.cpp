// The operating-system layer on Windows. Each failure maps to the run-time
// error number that the programs report for it.
#include "platform/platform.h"
#include "errors/errors.h"

#if defined(__GNUC__)
#include <cxxabi.h>  // GCC and Clang name routines in the Itanium mangling
#endif
#include <fcntl.h>
#include <io.h>
#include <cstdlib>
#include <cstring>

#include <windows.h>
// dbghelp.h needs the types of windows.h first.
#include <dbghelp.h>

#ifdef QSTAT_END_PROCESS_THROWS
#include "platform/process_end.h"
#endif

// The most bytes one ReadFile or WriteFile moves: sizes must fit a DWORD,
// and a console refuses single writes much above 64 KiB.
constexpr std::size_t fileTransferLimit = std::size_t{1} << 30;
constexpr std::size_t consoleTransferLimit = std::size_t{1} << 15;

// The HANDLE that a FileHandle carries.
static HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file.value); }

// Puts the C runtime's descriptor `fd` into binary mode when the standard
// handle behind it exists (the runtime rejects a descriptor that is not open).
static void setBinaryMode(DWORD which, int fd) {
    HANDLE h = GetStdHandle(which);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) _setmode(fd, _O_BINARY);
}

ProgramArguments startProcess(int argc, char** argv) {
    // The C runtime has already split GetCommandLineA by its own rules into
    // argv (the MinGW start-up code asks for no wildcard expansion), so the
    // arguments are taken from there rather than parsed a second time.
    // The console I/O here goes through the handles, which never translate;
    // the runtime's own streams must not turn LF into CR LF or stop at a
    // Ctrl-Z either, should anything use them.
    setBinaryMode(STD_INPUT_HANDLE, 0);
    setBinaryMode(STD_OUTPUT_HANDLE, 1);
    setBinaryMode(STD_ERROR_HANDLE, 2);
    // A drive without a medium must fail the open, not put up a dialog box.
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ProgramArguments args;
    args.count = argc > 1 ? argc - 1 : 0;
    for (int i = 0; i < 3 && i < args.count; ++i) args.text[i] = argv[i + 1];
    return args;
}

// The console programs of this system take /? for help, and no file may be
// named "?".
bool slashQuestionAsksForHelp() { return true; }

bool fileExists(const char* name) { return name[0] != '\0' && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

// True when `name` holds a character that no Windows file name may hold.
// The "\\?\" and "\\.\" prefixes are the only places a ? may stand.
static bool hasForbiddenCharacter(const char* name) {
    if (name[0] == '\\' && name[1] == '\\' && (name[2] == '?' || name[2] == '.') && name[3] == '\\') name += 4;
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 32 || std::strchr("\"*<>?|", c)) return true;
    }
    return false;
}

// True when `name` starts with a drive letter whose drive does not exist.
static bool onMissingDrive(const char* name) {
    char c = name[0];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter || name[1] != ':') return false;
    char root[4] = {c, ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR;
}

// Error number of a failed open of `name`, from the system's error code.
static int openError(const char* name, DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return errPermission;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        // A drive letter that names no drive gives one of these, not
        // ERROR_INVALID_DRIVE (Windows the first, Wine either).
        return onMissingDrive(name) ? errNoDevice : errFileNotFound;
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return errNoDevice;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return errFileName;
    default:
        return errOpenFailure;
    }
}

// True when the error says that write access alone may be what was refused,
// so that an open for reading only can still succeed.
static bool writeRefused(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_SHARING_VIOLATION;
}

OpenResult openFileByName(const char* name, FileUse /*use*/) {
    OpenResult result;
    if (name[0] == '\0') {
        result.error = errFileNotFound;  // no file can have an empty name
        return result;
    }
    if (hasForbiddenCharacter(name)) {
        result.error = errFileName;
        return result;
    }
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE h =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD first = GetLastError();
        if (!writeRefused(first)) {
            result.error = openError(name, first);
            return result;
        }
        // OPEN_EXISTING: the read-only retry must never create a file.
        h = CreateFileA(name, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD second = GetLastError();
            result.error = openError(name, second == ERROR_FILE_NOT_FOUND ? first : second);
            return result;
        }
        result.readOnly = true;
    }
    result.file.value = reinterpret_cast<std::intptr_t>(h);
    return result;
}

std::ptrdiff_t readFileBytes(FileHandle file, char* buffer, std::size_t size) {
    DWORD want = static_cast<DWORD>(size < fileTransferLimit ? size : fileTransferLimit);
    DWORD got = 0;
    if (!ReadFile(toHandle(file), buffer, want, &got, nullptr)) {
        // The writing end of a pipe has gone: that is the end of the data.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t readFileBytesAt(FileHandle file, std::int64_t offset, char* buffer, std::size_t size) {
    DWORD want = static_cast<DWORD>(size < fileTransferLimit ? size : fileTransferLimit);
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(toHandle(file), buffer, want, &got, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<std::ptrdiff_t>(got);
}

std::int64_t regularFileSize(FileHandle file) {
    LARGE_INTEGER size;
    if (GetFileType(toHandle(file)) != FILE_TYPE_DISK || !GetFileSizeEx(toHandle(file), &size)) return -1;
    return static_cast<std::int64_t>(size.QuadPart);
}

int usableProcessorCount() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
    int count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
}

// Writes every byte to `h`, in pieces of at most `limit` bytes.
static bool writeAll(HANDLE h, const char* data, std::size_t size, std::size_t limit) {
    while (size > 0) {
        DWORD want = static_cast<DWORD>(size < limit ? size : limit);
        DWORD done = 0;
        if (!WriteFile(h, data, want, &done, nullptr) || done == 0) return false;
        data += done;
        size -= done;
    }
    return true;
}

int writeFileBytes(FileHandle file, const char* data, std::size_t size) {
    return writeAll(toHandle(file), data, size, fileTransferLimit) ? 0 : errWrite;
}

int truncateFileHere(FileHandle file) {
    HANDLE h = toHandle(file);
    // A device such as NUL has no end to move, and needs no truncation.
    if (GetFileType(h) != FILE_TYPE_DISK) return 0;
    return SetEndOfFile(h) ? 0 : errWrite;
}

int closeFileHandle(FileHandle file) {
    if (file.value == -1) return 0;
    // The handle is gone even when CloseHandle fails; a failure may mean that
    // written data are lost (a network share, a full disk).
    return CloseHandle(toHandle(file)) ? 0 : errWrite;
}

void fullPathForMessage(const char* name, char* out, std::size_t capacity) {
    constexpr DWORD fullPathLimit = 256;
    char full[1024];
    // An empty name expanded against the current directory is that directory.
    DWORD n = GetFullPathNameA(name[0] ? name : ".", sizeof full, full, nullptr);
    // n counts the NUL too when the buffer was too small, so n >= size is a failure.
    const char* text = name;
    std::size_t length = std::strlen(name);
    if (n > 0 && n <= fullPathLimit && n < sizeof full) {
        text = full;
        length = n;
    }
    if (length >= capacity) length = capacity - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

// What a refused read of standard input gives: 0, the end of input, when there
// is no readable stream behind the handle (none at all, a pipe whose writer
// has gone, a handle without read access, or one that names no file, as a
// closed descriptor does under Wine); -1 for a real failure.
static std::ptrdiff_t refusedInputRead() {
    switch (GetLastError()) {
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_FUNCTION:
    case ERROR_ACCESS_DENIED:
    case ERROR_BROKEN_PIPE:
        return 0;
    default:
        return -1;
    }
}

// Reads one byte at a time until a line feed, so that a pipe keeps everything
// after it for whoever reads next.
static std::ptrdiff_t readUpToLineFeed(HANDLE h, char* buffer, std::size_t size) {
    std::size_t count = 0;
    while (count < size) {
        DWORD got = 0;
        if (!ReadFile(h, buffer + count, 1, &got, nullptr)) {
            // The end of input after part of a line leaves that part as the
            // last line; a real failure fails the read, whatever came before.
            if (refusedInputRead() < 0) return -1;
            break;
        }
        if (got == 0) break;
        if (buffer[count++] == '\n') break;
    }
    return static_cast<std::ptrdiff_t>(count);
}

// Reads a block from a disk file, keeps it up to its first line feed and
// moves the file pointer back over the rest.
static std::ptrdiff_t readLineFromDisk(HANDLE h, char* buffer, std::size_t size) {
    DWORD want = static_cast<DWORD>(size < fileTransferLimit ? size : fileTransferLimit);
    DWORD got = 0;
    if (!ReadFile(h, buffer, want, &got, nullptr)) return refusedInputRead();
    if (const void* lf = std::memchr(buffer, '\n', got)) {
        DWORD keep = static_cast<DWORD>(static_cast<const char*>(lf) - buffer + 1);
        LARGE_INTEGER back;
        back.QuadPart = static_cast<LONGLONG>(keep) - static_cast<LONGLONG>(got);
        // The bytes given back are the next reader's: when they cannot be
        // given back, the read has failed.
        if (keep < got && !SetFilePointerEx(h, back, nullptr, FILE_CURRENT)) return -1;
        got = keep;
    }
    return static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t readStandardInput(char* buffer, std::size_t size) {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || size == 0) return 0;
    switch (GetFileType(h)) {
    case FILE_TYPE_DISK:
        return readLineFromDisk(h, buffer, size);
    case FILE_TYPE_CHAR: {
        // A console in line mode hands over one line per read; a Ctrl-Z at
        // the start of a line is its end of input.
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode) && (mode & ENABLE_LINE_INPUT)) {
            DWORD want = static_cast<DWORD>(size < consoleTransferLimit ? size : consoleTransferLimit);
            DWORD got = 0;
            if (!ReadFile(h, buffer, want, &got, nullptr)) return refusedInputRead();
            return static_cast<std::ptrdiff_t>(got);
        }
        return readUpToLineFeed(h, buffer, size);
    }
    default:
        return readUpToLineFeed(h, buffer, size);
    }
}

// Writes to one of the standard handles; a missing handle refuses the write.
static bool writeStandardHandle(DWORD which, const char* data, std::size_t size) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    return writeAll(h, data, size, consoleTransferLimit);
}

int writeStandardOutput(const char* data, std::size_t size) {
    return writeStandardHandle(STD_OUTPUT_HANDLE, data, size) ? 0 : errWrite;
}

void writeStandardError(const char* data, std::size_t size) { writeStandardHandle(STD_ERROR_HANDLE, data, size); }

bool standardInputIsTerminal() {
    // A character device is not enough: NUL and serial ports are ones too.
    // Only a console accepts GetConsoleMode.
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR && GetConsoleMode(h, &mode);
}

// Makes a standard handle inheritable, so that a child started with it as
// its own standard handle can use it. Consoles' pseudo-handles need nothing.
static HANDLE inheritableStandardHandle(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return h;
}

void runCommandInterpreter(const char* line) {
    // COMSPEC names the program exactly. Without it, cmd.exe is searched for
    // the usual way, which CreateProcessA does only when it gets no program
    // name apart from the command line.
    char program[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableA("COMSPEC", program, sizeof program);
    bool named = n > 0 && n < sizeof program;
    if (!named) std::strcpy(program, "cmd.exe");
    // The longest command line Windows accepts, with its NUL.
    char commandLine[32768];
    std::size_t programLength = std::strlen(program);
    std::size_t lineLength = std::strlen(line);
    if (programLength + lineLength + 7 > sizeof commandLine) return;
    char* p = commandLine;
    *p++ = '"';
    std::memcpy(p, program, programLength);
    p += programLength;
    std::memcpy(p, "\" /c ", 5);
    p += 5;
    std::memcpy(p, line, lineLength + 1);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritableStandardHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritableStandardHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritableStandardHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(named ? program : nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &child))
        return;
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

// Copies at most capacity - 1 bytes of `text` into `out`, NUL-terminated.
static void copyName(char* out, std::size_t capacity, const char* text) {
    std::size_t n = std::strlen(text);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

// The part of a path after its last backslash or slash.
static const char* baseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    return base;
}

// Names the module that holds `address` and makes the frame's pc relative to it.
static void nameModule(StackFrame& frame, std::uintptr_t address) {
    HMODULE module = nullptr;
    DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(address), &module)) return;
    frame.pc = static_cast<std::uint32_t>(address - reinterpret_cast<std::uintptr_t>(module));
    char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(module, path, sizeof path);
    if (n > 0 && n < sizeof path) copyName(frame.module, sizeof frame.module, baseName(path));
}

// Names the routine, line and source file of `address` from the debugging
// information the symbol handler of `process` has loaded. SymFromAddr gives
// the nearest symbol below the address, which is not the routine that holds
// it when the address lies past its end (in padding, or in code without
// debugging information), so a symbol is named only when its size reaches
// the address. One of unknown size (0, as a name from an export table) is
// taken as it comes.
static void nameRoutine(StackFrame& frame, HANDLE process, DWORD64 address) {
    // SYMBOL_INFO ends in a name of MaxNameLen characters.
    alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + 256];
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
    std::memset(storage, 0, sizeof storage);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 256;
    DWORD64 displacement = 0;
    if (SymFromAddr(process, address, &displacement, symbol) && (symbol->Size == 0 || displacement < symbol->Size)) {
#if defined(__GNUC__)
        int status = 0;
        char* plain = abi::__cxa_demangle(symbol->Name, nullptr, nullptr, &status);
        copyName(frame.routine, sizeof frame.routine, status == 0 && plain ? plain : symbol->Name);
        std::free(plain);
#else
        copyName(frame.routine, sizeof frame.routine, symbol->Name);  // SYMOPT_UNDNAME undecorates
#endif
        // The listing names a routine, not its parameter list.
        if (char* paren = std::strchr(frame.routine, '(')) *paren = '\0';
    }
    IMAGEHLP_LINE64 line = {};
    line.SizeOfStruct = sizeof line;
    DWORD column = 0;
    if (SymGetLineFromAddr64(process, address, &column, &line)) {
        frame.line = static_cast<int>(line.LineNumber);
        if (line.FileName) copyName(frame.source, sizeof frame.source, baseName(line.FileName));
    }
}

#ifdef QSTAT_END_PROCESS_THROWS
static bool listingFrames = true;
void listStackFrames(bool on) { listingFrames = on; }
#else
constexpr bool listingFrames = true;
#endif

int walkStack(StackFrame* frames, int capacity) {
    // Older systems capture at most 62 frames in one call.
    constexpr int maxFrames = 62;
    void* addresses[maxFrames];
    int wanted = capacity < maxFrames ? capacity : maxFrames;
    if (wanted <= 0 || !listingFrames) return 0;
    // Skipping one frame leaves out walkStack itself.
    int captured = CaptureStackBackTrace(1, static_cast<DWORD>(wanted), addresses, nullptr);
    // A null return address ends the stack; Wine's walk goes on past it into
    // frames of its own start-up that are no calls.
    int count = 0;
    while (count < captured && addresses[count] != nullptr) ++count;
    HANDLE process = GetCurrentProcess();
    SymSetOptions(SymGetOptions() | SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS);
    bool symbols = SymInitialize(process, nullptr, TRUE) != FALSE;
    for (int i = 0; i < count; ++i) {
        StackFrame& frame = frames[i];
        frame = StackFrame{};
        auto address = reinterpret_cast<std::uintptr_t>(addresses[i]);
        frame.pc = static_cast<std::uint32_t>(address);
        nameModule(frame, address);
        // Each address is a return address, just after its call; the call is
        // one byte back. A call that ends its routine (to one that never
        // returns) is followed by the next routine in memory, which the return
        // address itself would name.
        if (symbols) nameRoutine(frame, process, static_cast<DWORD64>(address - 1));
    }
    if (symbols) SymCleanup(process);
    return count;
}

[[noreturn]] void endProcess(int status) {
#ifdef QSTAT_END_PROCESS_THROWS
    throw ProcessEnd{status};
#else
    ExitProcess(static_cast<UINT>(status));
#endif
}
