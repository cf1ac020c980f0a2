// baseline: the least a program must do to read a series file, the yardstick
// of the benchmark. It reads the file in 1 MiB blocks with fread, converts the
// first two numbers of every line with std::from_chars and sums them. None of
// the free-form rules: only blanks, tabs and one comma between the numbers,
// and the header line of an `.xys` file skipped.
//
//   baseline FILE
//
// Prints the row count and both sums, so that nothing can be optimised away.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr std::size_t blockSize = 1 << 20;

// What the lines converted so far add up to.
struct Sums {
    std::uint64_t rows = 0;
    double time = 0.0;
    double rate = 0.0;
};

const char* skipBlanks(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    return p;
}

// One line [p, end) without its LF; a line that does not start with two
// numbers is passed over.
void convertLine(const char* p, const char* end, Sums& sums) {
    double time = 0.0;
    double rate = 0.0;
    p = skipBlanks(p, end);
    auto first = std::from_chars(p, end, time);
    if (first.ec != std::errc{}) return;
    p = skipBlanks(first.ptr, end);
    if (p < end && *p == ',') p = skipBlanks(p + 1, end);
    auto second = std::from_chars(p, end, rate);
    if (second.ec != std::errc{}) return;
    ++sums.rows;
    sums.time += time;
    sums.rate += rate;
}

bool isXys(std::string_view path) {
    std::size_t dot = path.find('.');
    return path.substr(dot == std::string_view::npos ? 0 : dot + 1) == "xys";
}

void printSums(const Sums& sums) {
    char line[128];
    char* p = line;
    auto put = [&](std::string_view text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    put("rows ");
    p = std::to_chars(p, line + sizeof line, sums.rows).ptr;
    put(" time ");
    p = std::to_chars(p, line + sizeof line, sums.time).ptr;
    put(" rate ");
    p = std::to_chars(p, line + sizeof line, sums.rate).ptr;
    put("\n");
    std::fwrite(line, 1, static_cast<std::size_t>(p - line), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: baseline FILE\n", stderr);
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::fputs("baseline: cannot open the file\n", stderr);
        return 1;
    }
    // A block, behind the unfinished line of the block before.
    auto buffer = std::make_unique<char[]>(2 * blockSize);
    std::size_t kept = 0;
    bool skipLine = isXys(argv[1]);
    Sums sums;
    for (;;) {
        std::size_t n = std::fread(buffer.get() + kept, 1, blockSize, file);
        const char* p = buffer.get();
        const char* end = p + kept + n;
        for (;;) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (lf == nullptr) break;
            if (!skipLine) convertLine(p, lf, sums);
            skipLine = false;
            p = lf + 1;
        }
        kept = static_cast<std::size_t>(end - p);
        if (n == 0) {
            if (kept > 0 && !skipLine) convertLine(p, end, sums);  // a last line without LF
            break;
        }
        if (kept > blockSize) {
            std::fputs("baseline: a line longer than a block\n", stderr);
            return 1;
        }
        std::memmove(buffer.get(), p, kept);
    }
    std::fclose(file);
    printSums(sums);
    return 0;
}
