// Tests of runs that meet a failed allocation: a buffer that a run cannot do
// without ends it in run-time error 41, and the blocks parsed ahead, which
// it can do without, leave it reading straight on with the same rows.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <string>

#include "rows/rows.h"

namespace {

// Allocations by the nothrow array form whose size lies in [failFrom,
// failTo] fail; failures counts them.
std::size_t failFrom = std::numeric_limits<std::size_t>::max();
std::size_t failTo = 0;
int failures = 0;

void failSizes(std::size_t from, std::size_t to) {
    failFrom = from;
    failTo = to;
}

const char memoryMessage[] = "^tarnlib: severe \\(41\\): insufficient virtual memory\r?\n";

}  // namespace

// The nothrow array form, which the programs use for every buffer, as the
// library's own behaves (the throwing form, its failure caught), but for the
// sizes set to fail.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (size >= failFrom && size <= failTo) {
        ++failures;
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

TEST(AllocationDeathTest, BuffersARunNeedsEndItInError41) {
    // Standard input's buffer of 2 KiB, a file's of 256 KiB.
    EXPECT_EXIT(
        {
            failSizes(1 << 11, 1 << 20);
            standardInputSource();
        },
        testing::ExitedWithCode(errMemory), memoryMessage);
    EXPECT_EXIT(
        {
            failSizes(1 << 18, 1 << 20);
            fileSource(FileHandle{0}, seriesUnit, "rows");
        },
        testing::ExitedWithCode(errMemory), memoryMessage);
    // The row reader's own rows, 4096 doubles each.
    EXPECT_EXIT(
        {
            RecordSource source = fixedTextSource("", 0);
            failSizes(4096 * sizeof(double), 4096 * sizeof(double));
            startRowReader(source);
        },
        testing::ExitedWithCode(errMemory), memoryMessage);
}

TEST(Allocation, WithoutMemoryForBlocksTheRowsAreReadStraightOn) {
    std::string path = (std::filesystem::temp_directory_path() / "allocation_blocks.txt").string();
    constexpr int rowCount = 100000;  // 1.2 MB: several blocks of 256 KiB
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < rowCount; ++i) out << i << ' ' << 2 * i << ".5\n";
    }
    for (int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        OpenResult opened = openFileByName(path.c_str(), FileUse::reading);
        ASSERT_EQ(opened.error, 0);
        RecordSource source = fileSource(opened.file, seriesUnit, "rows");
        failures = 0;
        failSizes(1 << 17, std::numeric_limits<std::size_t>::max());  // a block's text or rows
        RowReader reader = startRowReader(source, 0, threads);
        failSizes(std::numeric_limits<std::size_t>::max(), 0);
        EXPECT_GT(failures, 0);
        std::int64_t read = 0;
        for (RowSpan span = readPlainRows(reader, source, rowCount); span.count > 0;
             span = readPlainRows(reader, source, rowCount)) {
            for (std::int64_t i = 0; i < span.count; ++i, ++read) {
                ASSERT_EQ(span.time[i], static_cast<double>(read));
                ASSERT_EQ(span.rate[i], 2.0 * static_cast<double>(read) + 0.5);
            }
        }
        EXPECT_EQ(read, rowCount);
        EXPECT_TRUE(stopRowReader(reader));
        closeFileHandle(source.file);
    }
    std::remove(path.c_str());
}

}  // namespace
