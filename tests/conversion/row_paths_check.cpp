// row_paths_check: reads a series file twice, once the way the series reader
// does (the common-row read, and the general free-form read for any row it
// leaves) and once through the general free-form read alone, and compares
// every status and every double bit for bit.
//
//   row_paths_check FILE [BLOCK_BYTES [THREADS]]
//
// The common rows are read in blocks of BLOCK_BYTES (0, the default: as the
// reader does) by THREADS threads (0, the default: as many as the reader
// takes; 1 or 2).
//
// An `.xys` file (by the reader's own rule) gives its header count of rows;
// any other file is read to its end, past the 100000 rows the reader keeps.
// Prints how many rows the common-row read took; exit status 1 at the first
// difference, 2 when the file cannot be read.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "input/series_reader.h"
#include "rows/rows.h"
#include "textio/free_form.h"

namespace {

// One way of reading the file, and what it has read so far.
struct Reader {
    RecordSource source;
    RowReader rows;
    std::int32_t count = -1;  // rows in the header of an `.xys` file, -1 for a `.txt` file
    std::uint64_t plainRows = 0;
};

bool openReader(const char* path, Reader& reader) {
    OpenResult opened = openFileByName(path, FileUse::reading);
    if (opened.error != 0) return false;
    reader.source = fileSource(opened.file, seriesUnit, path);
    if (!isXysName(path, std::strlen(path))) return true;
    char kind[3];
    char name[32];
    std::int32_t version = 0;
    const ReadItem header[] = {textItem(kind, sizeof kind), integerItem(version), integerItem(reader.count),
                               textItem(name, sizeof name)};
    return readFreeForm(reader.source, header, true, true) == readComplete;
}

// Rows the way the series reader takes them: runs of common rows through
// readPlainRows, and the general read for each row that ends a run. Fills
// up to `count` rows and their statuses; stops after a row that fails or
// meets the end. Returns how many it filled.
std::int64_t readRowsAsReader(Reader& reader, double* time, double* rate, int* status, std::int64_t count) {
    std::int64_t n = 0;
    while (n < count) {
        RowSpan span = readPlainRows(reader.rows, reader.source, count - n);
        std::int64_t plain = span.count;
        std::copy(span.time, span.time + plain, time + n);
        std::copy(span.rate, span.rate + plain, rate + n);
        for (std::int64_t i = n; i < n + plain; ++i) status[i] = readComplete;
        reader.plainRows += static_cast<std::uint64_t>(plain);
        n += plain;
        if (plain > 0) continue;  // only an empty run leaves a row to the general read
        time[n] = 0.0;
        rate[n] = 0.0;
        const ReadItem row[] = {realItem(time[n]), realItem(rate[n])};
        status[n] = readFreeForm(reader.source, row, true, true);
        if (status[n++] != readComplete) break;
    }
    return n;
}

// A row through the general free-form read alone.
int readRowGeneral(Reader& reader, double& time, double& rate) {
    time = 0.0;
    rate = 0.0;
    const ReadItem row[] = {realItem(time), realItem(rate)};
    return readFreeForm(reader.source, row, true, true);
}

// A line of output built piece by piece (std::to_chars, no locale).
struct Line {
    char text[256];
    std::size_t length = 0;
};

void add(Line& line, const char* text) {
    std::size_t n = std::strlen(text);
    if (n > sizeof line.text - line.length) n = sizeof line.text - line.length;
    std::memcpy(line.text + line.length, text, n);
    line.length += n;
}

void add(Line& line, std::int64_t value, int base = 10) {
    auto result = std::to_chars(line.text + line.length, line.text + sizeof line.text, value, base);
    line.length = static_cast<std::size_t>(result.ptr - line.text);
}

void addBits(Line& line, double value) {
    add(line, " 0x");
    auto result =
        std::to_chars(line.text + line.length, line.text + sizeof line.text, std::bit_cast<std::uint64_t>(value), 16);
    line.length = static_cast<std::size_t>(result.ptr - line.text);
}

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// The number in `text`, or -1 when it is none.
std::int64_t numberArgument(const char* text) {
    std::int64_t value = -1;
    auto parsed = std::from_chars(text, text + std::strlen(text), value);
    return parsed.ec == std::errc{} && *parsed.ptr == '\0' ? value : -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::int64_t blockBytes = argc > 2 ? numberArgument(argv[2]) : 0;
    std::int64_t threads = argc > 3 ? numberArgument(argv[3]) : 0;
    if (argc < 2 || argc > 4 || blockBytes < 0 || threads < 0 || threads > 2) {
        std::fputs("usage: row_paths_check FILE [BLOCK_BYTES [THREADS]]\n", stderr);
        return 2;
    }
    const char* path = argv[1];
    Reader common;
    Reader general;
    // Opening a missing name would create it.
    if (!fileExists(path) || !openReader(path, common) || !openReader(path, general)) {
        std::fputs("row_paths_check: cannot open the file or read its header\n", stderr);
        return 2;
    }
    common.rows = startRowReader(common.source, blockBytes, static_cast<int>(threads));
    // Rows are compared in chunks, so that the common-row read runs over many rows at a time.
    constexpr std::int64_t chunk = 4096;
    double time[2][chunk];
    double rate[2][chunk];
    int status[2][chunk];
    std::int64_t rows = 0;
    for (bool more = true; more;) {
        std::int64_t wanted = common.count < 0 ? chunk : std::clamp<std::int64_t>(common.count - rows, 0, chunk);
        std::int64_t got = readRowsAsReader(common, time[0], rate[0], status[0], wanted);
        more = got == wanted && wanted > 0;
        for (std::int64_t i = 0; i < got; ++i) {
            status[1][i] = readRowGeneral(general, time[1][i], rate[1][i]);
            if (status[0][i] == status[1][i] && sameBits(time[0][i], time[1][i]) && sameBits(rate[0][i], rate[1][i]))
                continue;
            Line line;
            add(line, "DIFFERENT at row ");
            add(line, rows + i + 1);
            for (int way = 0; way < 2; ++way) {
                add(line, way == 0 ? "\n  reader:  status " : "\n  general: status ");
                add(line, status[way][i]);
                addBits(line, time[way][i]);
                addBits(line, rate[way][i]);
            }
            add(line, "\n");
            std::fwrite(line.text, 1, line.length, stdout);
            return 1;
        }
        rows += got;
        if (got > 0 && status[0][got - 1] != readComplete) {
            --rows;  // the end, or a failure, is no row
            more = false;
        }
    }
    Line line;
    add(line, "identical: ");
    add(line, rows);
    add(line, " rows, ");
    add(line, static_cast<std::int64_t>(common.plainRows));
    add(line, " of them through the common-row read\n");
    std::fwrite(line.text, 1, line.length, stdout);
    return 0;
}
