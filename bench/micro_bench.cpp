// Micro-benchmarks of the two costs of a run that grow with the series: the
// read of one row (the common-row read, the series reader's way with its
// fallback, and the general free-form read, for each common layout), the
// conversion of one number, and the field rendering of a report line.
//
// Rows are read from an in-memory source: a file source whose buffer already
// holds the whole text and that has nothing more to read, so no system call
// is timed. Each pass reads a block of 1024 different rows.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.h"
#include "report/report_lines.h"
#include "textio/textio.h"

namespace {

constexpr int blockRows = 1024;

// The layouts of a row.
enum class Layout { fixed, exponent, comma, crlf, general };

// splitmix64, for rows that differ from one another.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

void appendNumber(std::string& text, double value, std::chars_format format, int precision) {
    char buffer[40];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    text.append(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

// blockRows rows like "   12.345678     1234.5678" in the given layout; the
// general layout writes its rate with a D exponent, which only the general
// read takes.
std::string rowText(Layout layout) {
    std::string text;
    std::uint64_t state = 42;
    for (int i = 0; i < blockRows; ++i) {
        double time = static_cast<double>(i) / 60.0;
        double rate = static_cast<double>(nextRandom(state) % 50000000) / 10000.0 - 2500.0;
        text += "   ";
        appendNumber(text, time, std::chars_format::fixed, 6);
        text += layout == Layout::comma ? "," : "    ";
        switch (layout) {
        case Layout::fixed:
        case Layout::comma:
        case Layout::crlf:
            appendNumber(text, rate, std::chars_format::fixed, 4);
            break;
        case Layout::exponent:
        case Layout::general: {
            std::size_t start = text.size();
            appendNumber(text, rate, std::chars_format::scientific, 4);
            text[text.find('e', start)] = layout == Layout::general ? 'D' : 'E';
            break;
        }
        }
        text += layout == Layout::crlf ? "\r\n" : "\n";
    }
    return text;
}

// A source over `text`, held whole in its buffer, with zero bytes behind it
// as a file source has (the scanners may load a word past their stop).
RecordSource memorySource(const std::string& text) {
    RecordSource source = fileSource(FileHandle{}, seriesUnit, "memory");
    source.capacity = text.size();
    source.storage.reset(new char[text.size() + 64]());
    std::memcpy(source.storage.get(), text.data(), text.size());
    source.exhausted = true;  // nothing is ever read from the (absent) file
    return source;
}

void rewind(RecordSource& source) {
    source.pos = source.storage.get();
    source.end = source.pos + source.capacity;
    source.atRecordStart = true;
}

// A row the way the series reader takes it: the common-row read, and the
// general read for a row that it leaves.
int readRow(RecordSource& source, double& time, double& rate) {
    if (readPlainRow(source, time, rate) == readComplete) return readComplete;
    time = 0.0;
    rate = 0.0;
    const ReadItem row[] = {realItem(time), realItem(rate)};
    return readFreeForm(source, row, true, true);
}

int readGeneral(RecordSource& source, double& time, double& rate) {
    const ReadItem row[] = {realItem(time), realItem(rate)};
    return readFreeForm(source, row, true, true);
}

enum class Way { plain, reader, general };

void rowRead(benchmark::State& state, Way way, Layout layout) {
    std::string text = rowText(layout);
    RecordSource source = memorySource(text);
    double time = 0.0;
    double rate = 0.0;
    for (auto _ : state) {
        rewind(source);
        for (int i = 0; i < blockRows; ++i) {
            int status = 0;
            switch (way) {
            case Way::plain:
                status = readPlainRow(source, time, rate);
                break;
            case Way::reader:
                status = readRow(source, time, rate);
                break;
            case Way::general:
                status = readGeneral(source, time, rate);
                break;
            }
            if (status != readComplete) {
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

BENCHMARK_CAPTURE(rowRead, plain_fixed, Way::plain, Layout::fixed);
BENCHMARK_CAPTURE(rowRead, plain_exponent, Way::plain, Layout::exponent);
BENCHMARK_CAPTURE(rowRead, plain_comma, Way::plain, Layout::comma);
BENCHMARK_CAPTURE(rowRead, plain_crlf, Way::plain, Layout::crlf);
BENCHMARK_CAPTURE(rowRead, reader_fixed, Way::reader, Layout::fixed);
BENCHMARK_CAPTURE(rowRead, reader_exponent, Way::reader, Layout::exponent);
BENCHMARK_CAPTURE(rowRead, reader_comma, Way::reader, Layout::comma);
BENCHMARK_CAPTURE(rowRead, reader_crlf, Way::reader, Layout::crlf);
BENCHMARK_CAPTURE(rowRead, reader_d_exponent_fallback, Way::reader, Layout::general);
BENCHMARK_CAPTURE(rowRead, general_fixed, Way::general, Layout::fixed);
BENCHMARK_CAPTURE(rowRead, general_exponent, Way::general, Layout::exponent);
BENCHMARK_CAPTURE(rowRead, general_comma, Way::general, Layout::comma);
BENCHMARK_CAPTURE(rowRead, general_crlf, Way::general, Layout::crlf);

// blockRows number tokens of one form, each with its length.
std::vector<std::string> numberTokens(std::chars_format format, int precision) {
    std::vector<std::string> tokens;
    std::uint64_t state = 7;
    for (int i = 0; i < blockRows; ++i) {
        std::string token;
        appendNumber(token, static_cast<double>(nextRandom(state) % 50000000) / 10000.0, format, precision);
        for (char& c : token)
            if (c == 'e') c = 'E';
        tokens.push_back(token);
    }
    return tokens;
}

void numberConversion(benchmark::State& state, bool plain, std::chars_format format, int precision) {
    std::vector<std::string> tokens = numberTokens(format, precision);
    for (auto _ : state) {
        for (const std::string& token : tokens) {
            double value = 0.0;
            if (plain) {
                convertPlainReal(token.data(), token.data() + token.size(), value);
            } else {
                std::from_chars(token.data(), token.data() + token.size(), value);
            }
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * blockRows);
}

BENCHMARK_CAPTURE(numberConversion, convertPlainReal_fixed, true, std::chars_format::fixed, 4);
BENCHMARK_CAPTURE(numberConversion, convertPlainReal_exponent, true, std::chars_format::scientific, 4);
BENCHMARK_CAPTURE(numberConversion, convertPlainReal_17_digits, true, std::chars_format::scientific, 16);
BENCHMARK_CAPTURE(numberConversion, from_chars_fixed, false, std::chars_format::fixed, 4);
BENCHMARK_CAPTURE(numberConversion, from_chars_exponent, false, std::chars_format::scientific, 4);
BENCHMARK_CAPTURE(numberConversion, from_chars_17_digits, false, std::chars_format::scientific, 16);

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
