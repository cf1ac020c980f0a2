// Tests of the row reader: whatever the block size, the number of threads and
// the rows asked for at a time, the rows it reads, together with the general
// read of the rows it leaves, must be those of the general read alone, bit
// for bit, with the same statuses and line numbers. Small blocks put block
// boundaries inside rows, inside runs of rows in other forms and inside
// lines longer than a block.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "double_checks.h"
#include "rows/rows.h"
#include "textio/free_form.h"

namespace {

// Every row of a file and how it was read.
struct Rows {
    std::vector<double> time;
    std::vector<double> rate;
    std::vector<int> status;
    std::vector<std::int64_t> lines;  // the source's line after each row of the general read
    std::int64_t failedLine = 0;
};

// The general read of one row, its items 0.0 beforehand as in the reader.
int readGeneralRow(RecordSource& source, Rows& rows) {
    double t = 0.0;
    double r = 0.0;
    const ReadItem row[] = {realItem(t), realItem(r)};
    ReadLines lines;
    int status = readFreeForm(source, row, true, true, &lines);
    rows.time.push_back(t);
    rows.rate.push_back(r);
    rows.status.push_back(status);
    rows.lines.push_back(source.line);
    if (status > 0) rows.failedLine = lines.failure;
    return status;
}

// Reads every row of `path` as the series reader does when `blockBytes` is
// positive (the row reader, then the general read for each row it leaves,
// at most `run` rows at a time), or by the general read alone.
Rows readFile(const std::string& path, std::int64_t blockBytes, int threads, std::int64_t run) {
    OpenResult opened = openFileByName(path.c_str(), FileUse::reading);
    EXPECT_EQ(opened.error, 0);
    RecordSource source = fileSource(opened.file, seriesUnit, "rows");
    Rows rows;
    {
        RowReader reader = blockBytes > 0 ? startRowReader(source, blockBytes, threads) : nullptr;
        for (;;) {
            RowSpan span = reader ? readPlainRows(reader, source, run) : RowSpan{};
            for (std::int64_t i = 0; i < span.count; ++i) {
                rows.time.push_back(span.time[i]);
                rows.rate.push_back(span.rate[i]);
                rows.status.push_back(readComplete);
                rows.lines.push_back(-1);  // a run may pass over the blank lines after it
            }
            if (span.count > 0) continue;
            if (readGeneralRow(source, rows) != readComplete) break;
        }
    }
    closeFileHandle(source.file);
    return rows;
}

void expectSameRows(const Rows& expected, const Rows& actual) {
    ASSERT_EQ(expected.status, actual.status);
    for (std::size_t i = 0; i < expected.time.size(); ++i) {
        ASSERT_PRED_FORMAT2(sameDouble, expected.time[i], actual.time[i]) << "row " << i + 1;
        ASSERT_PRED_FORMAT2(sameDouble, expected.rate[i], actual.rate[i]) << "row " << i + 1;
        if (actual.lines[i] >= 0) {
            ASSERT_EQ(expected.lines[i], actual.lines[i]) << "line after row " << i + 1;
        }
    }
    EXPECT_EQ(expected.failedLine, actual.failedLine);
}

// Rows in every form, drawn by a fixed seed: common rows of all lengths and
// line ends, blank lines, and now and then a row the common read leaves (a
// repeat count, a slash, a null, a rate on the next line, a word), a line
// longer than the blocks, and a last line without a line end.
std::string mixedRows(unsigned seed, int rows, int otherEvery) {
    std::mt19937 random(seed);
    std::string text;
    for (int i = 1; i <= rows; ++i) {
        std::string t = std::to_string(i) + (random() % 2 ? ".25" : "");
        std::string q = (random() % 3 == 0 ? "-" : "") + std::to_string(random() % 100000) + "." +
                        std::to_string(random() % 1000) + (random() % 4 == 0 ? "D-2" : "");
        const char* end = random() % 5 == 0 ? "\r\n" : "\n";
        switch (otherEvery > 0 && i % otherEvery == 0 ? random() % 6 : 9) {
        case 0:
            text += "2*" + t + end;
            break;
        case 1:
            text += t + " /" + end;
            break;
        case 2:
            text += t + ",," + q + end;
            break;
        case 3:
            text += t + end + std::string(random() % 3, '\n') + q + end;
            break;
        case 4:
            text += t + " " + q + " " + std::string(5000 + random() % 3000, '#') + end;
            break;
        case 5:
            text += std::string(random() % 7, ' ') + "\n\t\n";
            text += t + "\t" + q + end;
            break;
        default:
            text += std::string(random() % 4, ' ') + t + (random() % 2 ? " , " : " ") + q + end;
            break;
        }
    }
    return text;
}

class RowReaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        path_ = (std::filesystem::temp_directory_path() /
                 ("row_reader_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt"))
                    .string();
    }
    void TearDown() override { std::remove(path_.c_str()); }
    void write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

    // Reads the file every way and compares each with the general read.
    void expectEveryWaySame() const
    {
        Rows expected = readFile(path_, 0, 1, 1);
        for (std::int64_t blockBytes : {16, 37, 100, 4096, 1 << 18}) {
            for (int threads : {1, 2}) {
                for (std::int64_t run : {1, 3, 1000000}) {
                    SCOPED_TRACE("block " + std::to_string(blockBytes) + ", threads " + std::to_string(threads) +
                                 ", run " + std::to_string(run));
                    expectSameRows(expected, readFile(path_, blockBytes, threads, run));
                }
            }
        }
    }

    std::string path_;
};

TEST_F(RowReaderTest, CommonRowsOnly) {
    write(mixedRows(1, 3000, 0));
    expectEveryWaySame();
}

TEST_F(RowReaderTest, RowsLeavingAndRejoiningTheFastPath) {
    write(mixedRows(2, 3000, 7));
    expectEveryWaySame();
}

TEST_F(RowReaderTest, EveryRowInAnotherForm) {
    write(mixedRows(3, 400, 1));
    expectEveryWaySame();
}

TEST_F(RowReaderTest, EndsWithoutALineEndOrInAnUnreadableRow) {
    write(mixedRows(4, 2000, 11) + "7 8");
    expectEveryWaySame();
    write(mixedRows(5, 2000, 11) + "\n\n9 Hours\n1 2\n");
    expectEveryWaySame();
}

// The worked example of row_reader.cpp, blocks of 32 bytes: a caller asking
// for fewer rows than a segment holds, a line in another form between two
// segments, and a row whose line crosses into the next block. Each call
// gives exactly the rows a straight reading gives there, and leaves the
// source where they end.
TEST_F(RowReaderTest, TheWorkedExampleCallByCall) {
    write("0 1\n1 2\n2 3 /\n3*4\n4 5\n5 6\n6 7.25\n7 8\n" + std::string(40, '\n') + "8 9\n");
    for (int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        OpenResult opened = openFileByName(path_.c_str(), FileUse::reading);
        ASSERT_EQ(opened.error, 0);
        RecordSource source = fileSource(opened.file, seriesUnit, "rows");
        {
            RowReader reader = startRowReader(source, 32, threads);
            auto take = [&](std::int64_t count) {
                RowSpan span = readPlainRows(reader, source, count);
                std::vector<double> values;
                for (std::int64_t i = 0; i < span.count; ++i) {
                    values.push_back(span.time[i]);
                    values.push_back(span.rate[i]);
                }
                return values;
            };
            EXPECT_EQ(take(2), (std::vector<double>{0, 1, 1, 2}));
            EXPECT_EQ(sourceOffset(source), 8);
            EXPECT_EQ(take(100), (std::vector<double>{2, 3}));
            EXPECT_EQ(sourceOffset(source), 14);
            EXPECT_EQ(take(100), std::vector<double>{});  // "3*4" is the general read's
            EXPECT_EQ(source.line, 4);
            Rows general;
            EXPECT_EQ(readGeneralRow(source, general), readComplete);
            EXPECT_EQ(general.time, std::vector<double>{4});
            EXPECT_EQ(general.rate, std::vector<double>{4});
            EXPECT_EQ(take(100), (std::vector<double>{4, 5, 5, 6, 6, 7.25}));
            EXPECT_EQ(sourceOffset(source), 33);
            EXPECT_EQ(take(100), (std::vector<double>{7, 8}));  // block 1's segment, with its blank lines
            EXPECT_EQ(take(100), (std::vector<double>{8, 9}));
            EXPECT_EQ(source.line, 50);
            EXPECT_EQ(take(100), std::vector<double>{});
            EXPECT_TRUE(stopRowReader(reader));
        }
        closeFileHandle(source.file);
    }
}

}  // namespace
