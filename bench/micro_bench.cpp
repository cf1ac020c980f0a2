// Micro-benchmarks of the costs of a run that grow with the series: the
// conversion of one number, the read of a block of rows (the common-row
// scan, for each common layout, and the general free-form read), and the
// field rendering of a report line.
//
// Everything is read from memory, so no system call is timed. Each pass
// converts or reads a block of 1024 different numbers or rows.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/report_lines.h"
#include "rows/rows.h"
#include "numbers/plain_number.h"
#include "textio/free_form.h"

namespace {

constexpr int blockRows = 1024;

// splitmix64, for numbers that differ from one another.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// A rate between -2500 and 2500 with four decimals.
double randomRate(std::uint64_t& state) { return static_cast<double>(nextRandom(state) % 50000000) / 10000.0 - 2500.0; }

// Appends `value` by std::to_chars, with `letter` for the exponent's e.
void appendNumber(std::string& text, double value, std::chars_format format, int precision, char letter = 'E') {
    char buffer[40];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    for (char* p = buffer; p != result.ptr; ++p)
        if (*p == 'e') *p = letter;
    text.append(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

// Text followed by the zero padding that every read buffer carries, since
// the scans load whole words past the text.
std::vector<char> padded(const std::string& text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.resize(text.size() + textPadding, '\0');
    return bytes;
}

// ------------------------------------------------------------ numbers

// The forms of a number token.
enum class Form { fixed, exponentE, exponentD, digits17 };

void appendToken(std::string& text, double value, Form form) {
    switch (form) {
    case Form::fixed:
        appendNumber(text, value, std::chars_format::fixed, 4);  // 1234.5678
        break;
    case Form::exponentE:
        appendNumber(text, value, std::chars_format::scientific, 4);  // 1.2346E+03
        break;
    case Form::exponentD:
        appendNumber(text, value, std::chars_format::scientific, 4, 'D');  // 1.2346D+03
        break;
    case Form::digits17:
        appendNumber(text, value, std::chars_format::scientific, 16);  // 1.2345678000000000E+03
        break;
    }
}

// blockRows tokens of one form, each followed by a blank, in one padded
// text; `starts` receives where each begins.
std::vector<char> numberTokens(Form form, std::vector<std::size_t>& starts) {
    std::string text;
    std::uint64_t state = 7;
    for (int i = 0; i < blockRows; ++i) {
        starts.push_back(text.size());
        appendToken(text, randomRate(state), form);
        text += ' ';
    }
    return padded(text);
}

void scanNumber(benchmark::State& state, Form form) {
    std::vector<std::size_t> starts;
    std::vector<char> text = numberTokens(form, starts);
    for (auto _ : state) {
        for (std::size_t start : starts) {
            double value = 0.0;
            if (scanPlainNumber(text.data() + start, value) == nullptr) {
                state.SkipWithError("a token was not taken");
                return;
            }
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * blockRows);
}

void fromChars(benchmark::State& state, Form form) {
    std::vector<std::size_t> starts;
    std::vector<char> text = numberTokens(form, starts);
    const char* end = text.data() + text.size();
    for (auto _ : state) {
        for (std::size_t start : starts) {
            double value = 0.0;
            std::from_chars(text.data() + start, end, value);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * blockRows);
}

BENCHMARK_CAPTURE(scanNumber, fixed, Form::fixed);
BENCHMARK_CAPTURE(scanNumber, exponent_E, Form::exponentE);
BENCHMARK_CAPTURE(scanNumber, exponent_D, Form::exponentD);
BENCHMARK_CAPTURE(scanNumber, digits_17, Form::digits17);
// std::from_chars takes no D exponent.
BENCHMARK_CAPTURE(fromChars, fixed, Form::fixed);
BENCHMARK_CAPTURE(fromChars, exponent_E, Form::exponentE);
BENCHMARK_CAPTURE(fromChars, digits_17, Form::digits17);

// --------------------------------------------------------------- rows

// The layouts of a row.
enum class Layout { fixed, exponentE, exponentD, comma, crlf };

// blockRows rows like "   12.345678    1234.5678" in the given layout.
std::string rowText(Layout layout) {
    std::string text;
    std::uint64_t state = 42;
    for (int i = 0; i < blockRows; ++i) {
        text += "   ";
        appendNumber(text, static_cast<double>(i) / 60.0, std::chars_format::fixed, 6);
        text += layout == Layout::comma ? "," : "    ";
        Form form = layout == Layout::exponentE   ? Form::exponentE
                    : layout == Layout::exponentD ? Form::exponentD
                                                  : Form::fixed;
        appendToken(text, randomRate(state), form);
        text += layout == Layout::crlf ? "\r\n" : "\n";
    }
    return text;
}

// The block through scanPlainLines, as a block parse reads it.
void scanRows(benchmark::State& state, Layout layout) {
    std::string text = rowText(layout);
    std::vector<char> bytes = padded(text);
    const char* begin = bytes.data();
    const char* last = begin + text.size() - 1;  // the last line feed
    std::vector<double> time(blockRows);
    std::vector<double> rate(blockRows);
    for (auto _ : state) {
        PlainLines read = scanPlainLines(begin, last + 1, last, time.data(), rate.data(), blockRows);
        if (read.rows != blockRows) {
            state.SkipWithError("a row was not read");
            return;
        }
        benchmark::DoNotOptimize(time.data());
        benchmark::DoNotOptimize(rate.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * blockRows);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// A file source whose buffer already holds the whole text and that has
// nothing more to read.
RecordSource memorySource(const std::string& text) {
    RecordSource source = fileSource(FileHandle{}, seriesUnit, "memory");
    source.capacity = text.size();
    source.storage.reset(new char[text.size() + textPadding]());
    std::memcpy(source.storage.get(), text.data(), text.size());
    source.positional = false;
    source.exhausted = true;  // nothing is ever read from the (absent) file
    return source;
}

// The block through readFreeForm alone, a row at a time, as the reader
// takes a row in another form.
void generalRows(benchmark::State& state, Layout layout) {
    std::string text = rowText(layout);
    RecordSource source = memorySource(text);
    double time = 0.0;
    double rate = 0.0;
    const ReadItem row[] = {realItem(time), realItem(rate)};
    for (auto _ : state) {
        source.pos = source.storage.get();
        source.end = source.pos + text.size();
        source.atRecordStart = true;
        for (int i = 0; i < blockRows; ++i) {
            if (readFreeForm(source, row, true, true) != readComplete) {
                state.SkipWithError("a row was not read");
                return;
            }
            benchmark::DoNotOptimize(time);
            benchmark::DoNotOptimize(rate);
        }
    }
    state.SetItemsProcessed(state.iterations() * blockRows);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

BENCHMARK_CAPTURE(scanRows, fixed, Layout::fixed);
BENCHMARK_CAPTURE(scanRows, exponent_E, Layout::exponentE);
BENCHMARK_CAPTURE(scanRows, exponent_D, Layout::exponentD);
BENCHMARK_CAPTURE(scanRows, comma, Layout::comma);
BENCHMARK_CAPTURE(scanRows, crlf, Layout::crlf);
BENCHMARK_CAPTURE(generalRows, fixed, Layout::fixed);
BENCHMARK_CAPTURE(generalRows, exponent_E, Layout::exponentE);
BENCHMARK_CAPTURE(generalRows, exponent_D, Layout::exponentD);

// ------------------------------------------------------------ report

// The nine values of a volume report row, of very different sizes.
constexpr double rowSample[9] = {1.234567e9, 1.614e9, 4.36e10, 3.4e6, -4.4e6, 1.19e8, 1.24e9, 1.6e9, -4.4e10};

void renderE124x9(benchmark::State& state) {
    char field[e124Width];
    for (auto _ : state) {
        for (double value : rowSample) {
            renderE124(field, value);
            benchmark::DoNotOptimize(field);
        }
    }
    state.SetItemsProcessed(state.iterations() * 9);
}
BENCHMARK(renderE124x9);

void reportValueRow(benchmark::State& state) {
    char line[lineCapacity];
    for (auto _ : state) {
        std::size_t length = formatValueRow(line, rowLabels[0], rowSample, 9);
        benchmark::DoNotOptimize(length);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(reportValueRow);

}  // namespace

BENCHMARK_MAIN();
