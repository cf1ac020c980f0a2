// Tests of the common-row read shared with a partner thread: whatever the
// lines, the split point and the number of rows asked for, it must read the
// same rows, bit for bit, and leave the source where the common-row read of
// one thread leaves it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "double_checks.h"
#include "textio/textio.h"

namespace {

// A source over `text`, held whole in its buffer as a file source holds a
// block.
RecordSource memorySource(const std::string& text) {
    RecordSource source = fileSource(FileHandle{}, seriesUnit, "memory");
    source.capacity = text.size();
    source.storage.reset(new char[text.size()]);
    std::memcpy(source.storage.get(), text.data(), text.size());
    source.pos = source.storage.get();
    source.end = source.pos + text.size();
    source.exhausted = true;  // nothing is ever read from the (absent) file
    return source;
}

// Every row of a text and how it was read.
struct Rows {
    std::vector<double> time;
    std::vector<double> rate;
    std::vector<int> status;
    std::vector<std::int64_t> runs;  // rows of each run of common rows
    bool shared = false;             // a partner thread was started
};

// Reads rows the way the series reader does, asking for at most `run` rows at
// a time: common rows, two threads (`shareFrom`) or one, then the general
// read for a row that ends a run, to the end of the text.
Rows readRows(const std::string& text, std::int64_t run, bool inPairs, std::size_t shareFrom) {
    RecordSource source = memorySource(text);
    RowPartner partner;
    Rows rows;
    std::vector<double> time(static_cast<std::size_t>(run));
    std::vector<double> rate(static_cast<std::size_t>(run));
    for (;;) {
        std::int64_t n = inPairs ? readPlainRowsInPairs(source, partner, time.data(), rate.data(), run, shareFrom)
                                 : readPlainRows(source, time.data(), rate.data(), run);
        rows.runs.push_back(n);
        rows.time.insert(rows.time.end(), time.begin(), time.begin() + n);
        rows.rate.insert(rows.rate.end(), rate.begin(), rate.begin() + n);
        rows.status.insert(rows.status.end(), static_cast<std::size_t>(n), readComplete);
        if (n == run) continue;
        double t = 0.0;
        double r = 0.0;
        const ReadItem row[] = {realItem(t), realItem(r)};
        int status = readFreeForm(source, row, true, true);
        rows.time.push_back(t);
        rows.rate.push_back(r);
        rows.status.push_back(status);
        if (status != readComplete) break;
    }
    rows.shared = partner != nullptr;
    return rows;
}

void expectSameRows(const Rows& expected, const Rows& actual) {
    ASSERT_EQ(expected.status, actual.status);
    ASSERT_EQ(expected.runs, actual.runs);
    for (std::size_t i = 0; i < expected.time.size(); ++i) {
        ASSERT_PRED_FORMAT2(sameDouble, expected.time[i], actual.time[i]) << "row " << i + 1;
        ASSERT_PRED_FORMAT2(sameDouble, expected.rate[i], actual.rate[i]) << "row " << i + 1;
    }
}

// Common rows in every layout the common-row read takes.
std::string commonRows(int count) {
    static const char* const layouts[] = {
        "  %d.25   1234.5678\n", "%d.5\t-1.2345E+03\r\n", "%d,  6.02e23\n",     "%d 7 / a comment\n",
        "  %d  -0.0  , x\n",     "%d.125 1e-5   \n",      "+%d.0,\t2.5E-3\r\n", "%d 3\t'text' 9\n",
    };
    std::string text;
    char line[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, layouts[i % 8], i);
        text += line;
    }
    return text;
}

// Lines that only the general read takes, each in the midst of common rows.
const char* const otherRows[] = {
    "1.5D0 2\n",                   // D exponent
    "3*1.0\n",                     // repeat count
    "4.0\n5.0\n",                  // a row over two lines
    "\n6 7\n",                     // an empty record first
    "'8' 9\n",                     // a quoted value
    "1, , 2\n",                    // a null value
    "99999999999999999999.5 1\n",  // more digits than the common read keeps
    "1 2",                         // the last line, without a line feed
};

// Rows asked for at a time: from one row to more than the text holds, and
// as many as end in the midst of the partner's lines (2000).
const std::int64_t runs[] = {1, 3, 64, 2000, 1000000};
const std::size_t shares[] = {2, 40, 1000};

TEST(PairedRows, ReadEveryCommonRowAsOneThreadDoes) {
    std::string text = commonRows(3000);
    for (std::int64_t run : runs) {
        for (std::size_t share : shares) {
            SCOPED_TRACE(testing::Message() << "run " << run << ", shared from " << share);
            Rows alone = readRows(text, run, false, share);
            Rows paired = readRows(text, run, true, share);
            expectSameRows(alone, paired);
            ASSERT_EQ(alone.status.size(), 3001u);  // and the end
            if (std::thread::hardware_concurrency() >= 2 && run >= 2000) {
                EXPECT_TRUE(paired.shared);
            }
        }
    }
}

TEST(PairedRows, StopAtARowInAnotherFormInEitherHalf) {
    for (const char* other : otherRows) {
        for (int before : {0, 1, 250, 499, 500, 501, 998}) {
            std::string text = commonRows(before) + other;
            if (other[std::strlen(other) - 1] == '\n') text += commonRows(1000 - before);
            for (std::int64_t run : runs) {
                SCOPED_TRACE(testing::Message() << "row " << before + 1 << " is " << other << "run " << run);
                expectSameRows(readRows(text, run, false, 40), readRows(text, run, true, 40));
            }
        }
    }
}

// Rows read from a file through a buffer of `capacity` bytes, all in one
// call asking for every row; elements that no row set stay NaN.
Rows readFileRows(const std::string& path, std::size_t capacity, std::int64_t count, bool inPairs) {
    OpenResult in = openFileByName(path.c_str(), FileUse::reading);
    EXPECT_EQ(in.error, 0) << path;
    RecordSource source = fileSource(in.file, seriesUnit, path.c_str());
    source.capacity = capacity;
    source.storage.reset(new char[capacity]);
    source.pos = source.end = source.storage.get();
    Rows rows;
    rows.time.assign(static_cast<std::size_t>(count), std::nan(""));
    rows.rate.assign(static_cast<std::size_t>(count), std::nan(""));
    RowPartner partner;
    std::int64_t n = inPairs ? readPlainRowsInPairs(source, partner, rows.time.data(), rows.rate.data(), count, 64)
                             : readPlainRows(source, rows.time.data(), rows.rate.data(), count);
    rows.runs.push_back(n);
    rows.shared = partner != nullptr;
    closeFileHandle(source.file);
    return rows;
}

// The memory ahead of the rows read is written while both threads read:
// rows of the fewest bytes a common row can take, after longer ones that
// make the rows ahead look few, must all come through untouched, over many
// buffers.
TEST(PairedRows, ReadTheShortestRowsOverManyBuffers) {
    std::string text = commonRows(2000);
    char line[16];
    for (int i = 0; i < 200000; ++i) {
        std::snprintf(line, sizeof line, "%d %d\n", i % 10, i / 10 % 10);
        text += line;
    }
    std::string path = ::testing::TempDir() + "paired_rows_shortest.txt";
    OpenResult out = openFileByName(path.c_str(), FileUse::writing);
    ASSERT_EQ(out.error, 0) << path;
    ASSERT_EQ(writeFileBytes(out.file, text.data(), text.size()), 0);
    ASSERT_EQ(truncateFileHere(out.file), 0);
    closeFileHandle(out.file);
    for (std::size_t capacity : {std::size_t{4096}, std::size_t{65536}}) {
        SCOPED_TRACE(testing::Message() << "buffer of " << capacity << " bytes");
        Rows alone = readFileRows(path, capacity, 202000, false);
        Rows paired = readFileRows(path, capacity, 202000, true);
        ASSERT_EQ(alone.runs, std::vector<std::int64_t>{202000});
        expectSameRows(alone, paired);
        if (std::thread::hardware_concurrency() >= 2) {
            EXPECT_TRUE(paired.shared);
        }
    }
    std::remove(path.c_str());
}

TEST(PairedRows, ReadAloneBelowTheSharingSize) {
    std::string text = commonRows(100);
    Rows paired = readRows(text, 1000, true, text.size() + 1);
    EXPECT_FALSE(paired.shared);
    expectSameRows(readRows(text, 1000, false, 2), paired);
}

}  // namespace
