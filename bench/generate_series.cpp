// generate_series: writes a deterministic series file that looks like a
// tidal discharge record (a semi-diurnal M2 tide of 12.42 h, noise, and now
// and then a spike beyond the default threshold of 100000), for benchmarks
// and for comparing the fast and the general row read.
//
//   generate_series [--rows N] [--kind xys|txt] [--sep blank|tab|comma]
//                   [--eol lf|crlf] [--exp E|D] [--seed S] [--split] OUTPUT
//
// --exp D writes the exponent of every rate in exponent form with a D
// (1.2345D+03) instead of an E; every other byte stays the same.
//
// The same options give the same bytes on every platform and standard
// library: the random numbers come from splitmix64, the sine from a
// polynomial of this file, and every number is formatted by std::to_chars,
// which rounds correctly.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// What to write.
struct Options {
    std::uint64_t rows = 1000;
    bool xys = true;
    char separator = ' ';
    bool crlf = false;
    char exponent = 'E';  // the letter of the rates in exponent form
    std::uint64_t seed = 0x5eed;
    bool split = false;  // the rate on a line of its own, so no row is a common row
    const char* output = nullptr;
};

// splitmix64: a 64-bit state stepped by a constant and mixed.
struct Random {
    std::uint64_t state;
};

std::uint64_t nextRandom(Random& random) {
    std::uint64_t z = (random.state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// A uniform double in [0, 1) with 53 random bits.
double unitRandom(Random& random) { return static_cast<double>(nextRandom(random) >> 11) * 0x1p-53; }

constexpr double pi = 3.14159265358979323846;

// sin(2 pi cycles) from a Taylor polynomial after reduction to [-pi/2, pi/2]:
// only additions and multiplications, so every platform gets the same bits.
double cycleSine(double cycles) {
    double fraction = cycles - std::floor(cycles);  // [0, 1)
    double x = 2.0 * pi * fraction;                 // [0, 2 pi)
    if (x > pi) x -= 2.0 * pi;                      // (-pi, pi]
    if (x > pi / 2) x = pi - x;
    if (x < -pi / 2) x = -pi - x;
    double x2 = x * x;
    double term = x;
    double sum = x;
    for (int k = 1; k <= 9; ++k) {  // the last term is below 1e-16
        term = -term * x2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

// Output gathered in blocks and written with fwrite.
struct Writer {
    std::FILE* file;
    char block[1 << 20];
    std::size_t used = 0;
    bool failed = false;
};

void flushWriter(Writer& writer) {
    if (writer.used > 0 && std::fwrite(writer.block, 1, writer.used, writer.file) != writer.used) writer.failed = true;
    writer.used = 0;
}

void put(Writer& writer, std::string_view text) {
    if (writer.used + text.size() > sizeof writer.block) flushWriter(writer);
    std::memcpy(writer.block + writer.used, text.data(), text.size());
    writer.used += text.size();
}

// `text` right-aligned in a field of `width` blanks (no cut when longer).
void putPadded(Writer& writer, std::string_view text, std::size_t width) {
    for (std::size_t n = text.size(); n < width; ++n) put(writer, " ");
    put(writer, text);
}

void putLineEnd(Writer& writer, const Options& options) { put(writer, options.crlf ? "\r\n" : "\n"); }

// The time of row i in hours, one-minute samples, with 4 to 6 decimals.
std::string_view formatTime(char* buffer, std::size_t size, std::uint64_t i, Random& random) {
    double hours = static_cast<double>(i) / 60.0;
    int decimals = 4 + static_cast<int>(nextRandom(random) % 3);
    auto result = std::to_chars(buffer, buffer + size, hours, std::chars_format::fixed, decimals);
    return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

// The discharge at `hours` in cubic metres per second: a mean seaward flow,
// the M2 tide, noise, and one spike in about 5000 rows. Half the rates are
// written as 1234.5678, half as 1.2345E+03 (with `exponent` for the E).
std::string_view formatRate(char* buffer, std::size_t size, double hours, char exponent, Random& random) {
    double noise = (unitRandom(random) + unitRandom(random) + unitRandom(random) - 1.5) * 120.0;
    double rate = 350.0 + 2400.0 * cycleSine(hours / 12.42) + noise;
    std::uint64_t draw = nextRandom(random);
    if (draw % 5000 == 0) rate = (draw & (1u << 20) ? -1.0 : 1.0) * (100001.0 + 900000.0 * unitRandom(random));
    std::to_chars_result result;
    if (draw & (1u << 21)) {
        result = std::to_chars(buffer, buffer + size, rate, std::chars_format::scientific, 4);
        for (char* p = buffer; p != result.ptr; ++p)
            if (*p == 'e') *p = exponent;
    } else {
        result = std::to_chars(buffer, buffer + size, rate, std::chars_format::fixed, 4);
    }
    return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

void writeSeries(Writer& writer, const Options& options) {
    Random random{options.seed};
    if (options.xys) {
        char count[24];
        auto result = std::to_chars(count, count + sizeof count, options.rows);
        put(writer, "XYS 1 ");
        put(writer, std::string_view(count, static_cast<std::size_t>(result.ptr - count)));
        put(writer, " 'Tidal discharge, M2 + noise'");
        putLineEnd(writer, options);
    }
    char timeText[40];
    char rateText[40];
    const char separator[2] = {options.separator, '\0'};
    for (std::uint64_t i = 0; i < options.rows; ++i) {
        std::string_view time = formatTime(timeText, sizeof timeText, i, random);
        std::string_view rate =
            formatRate(rateText, sizeof rateText, static_cast<double>(i) / 60.0, options.exponent, random);
        putPadded(writer, time, 12);
        if (options.split) {
            putLineEnd(writer, options);
        } else {
            put(writer, separator);
        }
        putPadded(writer, rate, 14);
        putLineEnd(writer, options);
    }
}

bool parseCount(const char* text, std::uint64_t& value) {
    const char* end = text + std::strlen(text);
    auto result = std::from_chars(text, end, value);
    return result.ec == std::errc{} && result.ptr == end;
}

// Reads the command line into `options`; false on anything it does not know.
bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--split") {
            options.split = true;
        } else if (arg == "--rows" && hasValue) {
            if (!parseCount(argv[++i], options.rows)) return false;
        } else if (arg == "--seed" && hasValue) {
            if (!parseCount(argv[++i], options.seed)) return false;
        } else if (arg == "--kind" && hasValue) {
            std::string_view kind = argv[++i];
            if (kind != "xys" && kind != "txt") return false;
            options.xys = kind == "xys";
        } else if (arg == "--sep" && hasValue) {
            std::string_view sep = argv[++i];
            if (sep == "blank")
                options.separator = ' ';
            else if (sep == "tab")
                options.separator = '\t';
            else if (sep == "comma")
                options.separator = ',';
            else
                return false;
        } else if (arg == "--eol" && hasValue) {
            std::string_view eol = argv[++i];
            if (eol != "lf" && eol != "crlf") return false;
            options.crlf = eol == "crlf";
        } else if (arg == "--exp" && hasValue) {
            std::string_view letter = argv[++i];
            if (letter != "E" && letter != "D") return false;
            options.exponent = letter[0];
        } else if (!arg.starts_with("--") && options.output == nullptr) {
            options.output = argv[i];
        } else {
            return false;
        }
    }
    return options.output != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(
            "usage: generate_series [--rows N] [--kind xys|txt] [--sep blank|tab|comma] "
            "[--eol lf|crlf] [--exp E|D] [--seed S] [--split] OUTPUT\n",
            stderr);
        return 2;
    }
    auto block = std::make_unique<Writer>();  // 1 MiB: too large for the stack
    Writer& writer = *block;
    writer.file = std::fopen(options.output, "wb");
    if (writer.file == nullptr) {
        std::fputs("generate_series: cannot create the output file\n", stderr);
        return 1;
    }
    writeSeries(writer, options);
    flushWriter(writer);
    if (std::fclose(writer.file) != 0 || writer.failed) {
        std::fputs("generate_series: write failed\n", stderr);
        return 1;
    }
    return 0;
}
