// Tests of the series reader: the kind decision, `.txt` rows and their limit,
// `.xys` headers, and the stops for rows and headers that cannot be read.
// Each test works in a temporary directory of its own, which is also the
// current directory, so that series names are relative and the only dots in a name
// are the test's own.

#include "input/series_reader.h"
#include "textio/text_fields.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A series as read: its name, its count and every row.
struct SeriesRows {
    char name[32];
    std::int32_t count = 0;
    std::vector<double> time, rate;
};

// The blank-padded input path field for `name`.
std::string inputField(const std::string& name)
{
    return name + std::string(pathLength - name.size(), ' ');
}

// `text` with the characters that a regular expression gives a meaning escaped.
std::string regexLiteral(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (std::string(".[]()*+?{}|^$\\").find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

const char pausePrompt[] = "Tarn Pause - Enter command<CR> or <CR> to continue.\n";

// An empty standard input for a child that pauses. On Windows, GoogleTest
// reads captured standard error back in text mode, so a CR LF arrives as LF.
#ifdef _WIN32
const char emptyInput[] = "NUL";
const char capturedLineEnd[] = "\n";
const char capturedLineEndPattern[] = "\r?\n";
#else
const char emptyInput[] = "/dev/null";
const char capturedLineEnd[] = "\r\n";
const char capturedLineEndPattern[] = "\r\n";
#endif

class SeriesReader : public testing::Test {
protected:
    // The directory is named after the test and the starting directory, so
    // that a death-test child that runs the test anew (Windows) finds the
    // directory of its parent.
    void SetUp() override
    {
        saved_ = fs::current_path();
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::size_t tree = std::hash<std::string>{}(saved_.string());
        dir_ = fs::temp_directory_path() /
               ("series_reader_" + std::string(test->name()) + "_" + std::to_string(tree));
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override
    {
        fs::current_path(saved_);
        fs::remove_all(dir_);
    }
    static void writeFile(const std::string& name, const std::string& content)
    {
        fs::path path(name);
        if (path.has_parent_path()) fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string readFile(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The name that messages give the file: its full path.
    std::string fullPath(const std::string& name) const { return (fs::current_path() / name).lexically_normal().string(); }

    // Reads the whole series named `name` as the driver does, run by run.
    static SeriesRows read(const std::string& name)
    {
        ::SeriesReader series = openSeries(inputField(name).c_str());
        SeriesRows all;
        for (RowSpan rows = readSeriesRows(series); rows.count > 0; rows = readSeriesRows(series)) {
            all.time.insert(all.time.end(), rows.time, rows.time + rows.count);
            all.rate.insert(all.rate.end(), rows.rate, rows.rate + rows.count);
        }
        std::memcpy(all.name, series.name, sizeof all.name);
        all.count = series.count;
        return all;
    }

private:
    fs::path saved_;
    fs::path dir_;
};

using SeriesReaderDeathTest = SeriesReader;

// The values as hexadecimal texts, so that vectors compare bit for bit
// (the sign of a zero included) and a mismatch shows the exact values.
std::vector<std::string> hexTexts(const double* values, std::int32_t count)
{
    std::vector<std::string> texts;
    for (std::int32_t i = 0; i < count; ++i) {
        char buffer[40];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, values[i], std::chars_format::hex);
        texts.emplace_back(buffer, result.ptr);
    }
    return texts;
}

std::vector<std::string> hexTexts(const std::vector<double>& values)
{
    return hexTexts(values.data(), static_cast<std::int32_t>(values.size()));
}

std::vector<std::string> times(const SeriesRows& s) { return hexTexts(s.time); }

std::vector<std::string> rates(const SeriesRows& s) { return hexTexts(s.rate); }

std::string nameOf(const SeriesRows& s) { return std::string(s.name, sizeof s.name); }

std::string padded32(const std::string& text) { return text + std::string(32 - text.size(), ' '); }

// ------------------------------------------------------------ kind decision

struct NameCase {
    const char* name;
    bool xys;
    bool warns = false;  // read as .txt although the file's own name ends in .xys
};

TEST(IsXysName, TheTextAfterTheFirstDotDecides)
{
    const NameCase cases[] = {
        {"flow.xys", true},
        {"flow.XYS", false},
        {"flow.Xys", false},
        {"C:\\my.data\\flow.xys", false},
        {"C:\\data.v2\\flow.xys", false},
        {"data.v2/flow.xys", false},
        {".\\flow.xys", false},
        {"xys", true},
        {"XYS", false},
        {".xys", true},
        {"C:\\runs\\flow.xys", true},
        {"my flow.xys", true},
        {"flow.xys.bak", false},
        {"flow.xy", false},
        {"flow.xysx", false},
        {"flow. xys", false},
        {"flow.txt", false},
        {"flow", false},
        {"", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string field = inputField(c.name);  // trailing blanks do not count
        EXPECT_EQ(isXysName(field.c_str(), pathLength), c.xys);
        std::string exact = c.name;
        EXPECT_EQ(isXysName(exact.c_str(), exact.size()), c.xys);
    }
}

TEST_F(SeriesReader, KindDecisionSelectsTheFormat)
{
    // As `.xys`: header "0" 1 2 "3", then rows (4, 5), (6, 7).
    // As `.txt`: rows (0, 1), (4, 5), (6, 7).
    const std::string content = "0 1 2 3\n4 5\n6 7\n";
    const NameCase cases[] = {
        {"flow.xys", true},
        {"flow.XYS", false, true},
#ifndef _WIN32
        // a file of this name in the current directory (on Windows, a path on drive C:)
        {"C:\\my.data\\flow.xys", false, true},
#endif
        {"data.v2/flow.xys", false, true},
        {".\\flow.xys", false, true},
        {"./flow.Xys", false, true},
        {"xys", true},
        {"flow.xys.bak", false},
        {"flowxys", false},
        {"data.xys/flow.txt", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.name, content);
        testing::internal::CaptureStderr();
        SeriesRows s = read(c.name);
        std::string warning = c.warns ? "tarnlib: warning: read as a .txt series, not .xys (the text after the first "
                                        "dot of the path is not exactly xys), unit 22, file " +
                                            fullPath(c.name) + capturedLineEnd
                                      : "";
        EXPECT_EQ(testing::internal::GetCapturedStderr(), warning);
        if (c.xys) {
            EXPECT_EQ(s.count, 2);
            EXPECT_EQ(nameOf(s), padded32("3"));
            EXPECT_EQ(times(s), hexTexts({4, 6}));
            EXPECT_EQ(rates(s), hexTexts({5, 7}));
        } else {
            EXPECT_EQ(s.count, 3);
            EXPECT_EQ(nameOf(s), padded32(""));
            EXPECT_EQ(times(s), hexTexts({0, 4, 6}));
            EXPECT_EQ(rates(s), hexTexts({1, 5, 7}));
        }
    }
}

// ------------------------------------------------------------ .txt series

struct RowsCase {
    const char* what;
    const char* content;
    std::vector<double> t, q;
    const char* spill = "";  // "row R continues on line L", when a row spills over
};

TEST_F(SeriesReader, TxtRows)
{
    const RowsCase cases[] = {
        {"empty file", "", {}, {}},
        {"only blank lines", "\n   \n\t\n\r\n", {}, {}},
        {"separators: blanks, tab, commas with and without blanks",
         "1 2\n3     4\n5\t6\n7,8\n9 , 10\n11, 12\n13 ,14\n15\t,\t16\n",
         {1, 3, 5, 7, 9, 11, 13, 15}, {2, 4, 6, 8, 10, 12, 14, 16}},
        {"a comma is no decimal mark", "1,5 2,5\n", {1}, {5}},
        {"blank lines between rows", "1 2\n\n\n3 4\n   \n5 6\n\n", {1, 3, 5}, {2, 4, 6}},
        {"CR LF line ends, no LF at the end", "1 2\r\n3 4\r\n5 6", {1, 3, 5}, {2, 4, 6}},
        {"three columns: the third is skipped", "1 2 3\n4 5 6\n", {1, 4}, {2, 5}},
        {"a comment after the values", "1 2 # gauge A\n3 4\n", {1, 3}, {2, 4}},
        {"last row with one value is dropped", "1 2\n3 4\n5\n", {1, 3}, {2, 4}},
        {"a lone time takes its rate from the next line", "1.0\n2.0 3.0\n4.0 5.0\n", {1, 4}, {2, 5},
         "row 1 continues on line 2"},
        {"an empty last cell shifts every later row; said once", "0,1\n24,\n48,2\n72,\n\n96,3\n",
         {0, 24, 72}, {1, 48, 96}, "row 2 continues on line 3"},
        {"number forms", "1.5e3 -2.5D-1\n.5 5.\n1.0+2 25-1\n-0.0 -0\n", {1500, 0.5, 100, -0.0}, {-0.25, 5, 2.5, -0.0}},
        {"correctly rounded values", "0.1 0.3\n4.35 8.5e-5\n9007199254740993 9007199254740995\n"
         "12345678901234567890123 1e30\n",
         {0x1.999999999999ap-4, 0x1.1666666666666p+2, 0x1p+53, 0x1.4ea15b273b38ap+73},
         {0x1.3333333333333p-2, 0x1.64840e1719f8p-14, 0x1.0000000000002p+53, 0x1.93e5939a08ceap+99}},
        {"rows of plain and other forms mixed", "1 2\n3D0 4\n5 6\n7\n8\n9 10\n2*11\n12 13/\n14 15\n",
         {1, 3, 5, 7, 9, 11, 12, 14}, {2, 4, 6, 8, 10, 11, 13, 15}, "row 4 continues on line 5"},
        {"null values and a slash leave a defined value, and no row continues",
         "1,,2\n,3\n4 /\n5 6\n7,\n,8\n", {1, 0, 4, 5, 7}, {0, 3, 0, 6, 0}},
    };
    for (const RowsCase& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile("flow.txt", c.content);
        testing::internal::CaptureStderr();
        SeriesRows s = read("flow.txt");
        std::string spill = *c.spill ? std::string("tarnlib: warning: ") + c.spill + ", unit 22, file " +
                                           fullPath("flow.txt") + capturedLineEnd
                                     : "";
        EXPECT_EQ(testing::internal::GetCapturedStderr(), spill);
        EXPECT_EQ(s.count, static_cast<std::int32_t>(c.t.size()));
        EXPECT_EQ(times(s), hexTexts(c.t));
        EXPECT_EQ(rates(s), hexTexts(c.q));
        EXPECT_EQ(nameOf(s), padded32(""));
    }
}

// Rows 1..n, row i holding the time i and the rate -i, then `tail`. With
// `mixed`, some rows take other forms: an exponent letter D (with values
// after the row that must stay unread), the rate on a later line, a repeat
// count.
std::string numberedRows(int n, const std::string& tail, bool mixed = false)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(n) * 16 + tail.size());
    for (int i = 1; i <= n; ++i) {
        std::string t = std::to_string(i);
        std::string q = "-" + t;
        if (!mixed || i % 5 != 0) {
            text += t + " " + q + "\n";
        } else if (i % 3 == 0) {
            text += t + "D0 " + q + " 8 9\n";
        } else if (i % 3 == 1) {
            text += t + "\n\n" + q + "\r\n";
        } else {
            text += "1*" + t + "," + q + "\n";
        }
    }
    return text + tail;
}

// How many rows differ from those of numberedRows (the file is larger than
// one read block, so some row crosses a block boundary).
int wrongRows(const SeriesRows& s)
{
    int wrong = 0;
    if (s.time.size() != static_cast<std::size_t>(s.count)) return -1;
    for (std::size_t i = 0; i < s.time.size(); ++i) {
        double row = static_cast<double>(i + 1);
        if (s.time[i] != row || s.rate[i] != -row) ++wrong;
    }
    return wrong;
}

struct LimitCase {
    const char* what;
    int rows;
    const char* tail;
    bool warning;
};

TEST_F(SeriesReader, TxtRowLimit)
{
    const LimitCase cases[] = {
        {"exactly 100000 rows", 100000, "", false},
        {"100000 rows, then blank lines", 100000, "\n  \r\n\t\n", false},
        {"100001 rows", 100001, "", true},
        {"100000 rows, then a lone value", 100000, "7\n", true},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile("long.txt", numberedRows(c.rows, c.tail));
        testing::internal::CaptureStderr();
        SeriesRows s = read("long.txt");
        std::string warning = testing::internal::GetCapturedStderr();
        ASSERT_EQ(s.count, 100000);
        EXPECT_EQ(wrongRows(s), 0);
        EXPECT_EQ(warning, c.warning ? "tarnlib: warning: series truncated after 100000 rows, unit 22, file " +
                                           fullPath("long.txt") + capturedLineEnd
                                     : "");
    }
}

// Rows in the common form and in others, alternating, over several read blocks.
TEST_F(SeriesReader, MixedRowFormsAcrossReadBlocks)
{
    writeFile("mixed.txt", numberedRows(99999, "", true));
    writeFile("mixed.xys", "XYS 1 99999 'Mixed'\n" + numberedRows(99999, "", true));
    for (const char* name : {"mixed.txt", "mixed.xys"}) {
        SCOPED_TRACE(name);
        SeriesRows s = read(name);
        ASSERT_EQ(s.count, 99999);
        EXPECT_EQ(wrongRows(s), 0);
    }
}

// Values after the second on the 100000th line belong to that row, which is
// complete: nothing was cut off.
TEST_F(SeriesReader, TxtRowLimitWithThreeColumnsIsNoTruncation)
{
    std::string text;
    for (int i = 1; i <= 100000; ++i) text += std::to_string(i) + " 2 3\n";
    writeFile("three.txt", text);
    testing::internal::CaptureStderr();
    SeriesRows s = read("three.txt");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(s.count, 100000);
}

// ------------------------------------------------------------ .xys series

struct XysCase {
    const char* what;
    const char* content;
    std::int32_t count;
    const char* name;
    std::vector<double> t, q;
};

TEST_F(SeriesReader, XysHeaderAndRows)
{
    const XysCase cases[] = {
        {"quoted name; rows after the N-th ignored", "XYS 1 3 'Run A'\n0 1\n1 2\n2 3\n3 4\n4 5\n", 3, "Run A",
         {0, 1, 2}, {1, 2, 3}},
        {"unquoted name ends at the blank; the rest of the line is skipped", "XYS 1 3 Run A\n0 1\n1 2\n2 3\n", 3,
         "Run", {0, 1, 2}, {1, 2, 3}},
        {"N = 0", "XYS 1 0 'Empty'\n1 2\n", 0, "Empty", {}, {}},
        {"negative N", "XYS 1 -4 'Neg'\n1 2\n", -4, "Neg", {}, {}},
        {"a name longer than 32 characters is cut",
         "XYS 1 1 'abcdefghijklmnopqrstuvwxyz0123456789'\n5 6\n", 1, "abcdefghijklmnopqrstuvwxyz012345", {5}, {6}},
        {"doubled apostrophe", "XYS 1 1 'It''s'\n5 6\n", 1, "It's", {5}, {6}},
        {"header over two lines, N = 2.5 truncated", "XYS, 1,\n2.5, \"Two lines\"\n1 2\n3 4\n", 2, "Two lines",
         {1, 3}, {2, 4}},
        {"a row over two lines", "XYS 1 2 'A'\n1\n2\n\n3 4\n", 2, "A", {1, 3}, {2, 4}},
        {"no line end after the last row", "XYS 1 2 'A'\r\n1 2\r\n3 4", 2, "A", {1, 3}, {2, 4}},
    };
    for (const XysCase& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile("flow.xys", c.content);
        SeriesRows s = read("flow.xys");
        EXPECT_EQ(s.count, c.count);
        EXPECT_EQ(nameOf(s), padded32(c.name));
        EXPECT_EQ(times(s), hexTexts(c.t));
        EXPECT_EQ(rates(s), hexTexts(c.q));
    }
}

// More rows than a read block holds; the rows after the N-th are ignored
// without a message.
TEST_F(SeriesReader, XysLongSeries)
{
    writeFile("long.xys", "XYS 1 100000 'Long'\n" + numberedRows(100001, "garbage\n"));
    testing::internal::CaptureStderr();
    SeriesRows s = read("long.xys");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(s.count, 100000);
    EXPECT_EQ(wrongRows(s), 0);
}

// ------------------------------------------------------------ stops

struct ReadErrorCase {
    const char* what;
    const char* file;
    std::string content;
    int status;
    const char* text;  // the message text up to the file name
    int line;          // where the failing value starts
    const char* warning = "";  // a warning of the read before the failure, such as a spilled row
};

// The read-error stop: a message that names the file and the line of the
// failing value on standard error; the free-form line and the pause prompt on
// standard output; the read's error number as exit status. Standard input is
// empty, so the pause ends at once.
TEST_F(SeriesReaderDeathTest, UnreadableRowEndsInTheReadErrorStop)
{
    const char* syntax = "list-directed I/O syntax error, unit 22, file ";
    const char* conversion = "input conversion error, unit 22, file ";
    const ReadErrorCase cases[] = {
        {"column header Time Flow", "flow.txt", "Time Flow\n0 1\n", 64, conversion, 1},
        {"column header Hours Flow", "flow.txt", "Hours Flow\n0 1\n", 59, syntax, 1},
        {"a semicolon between the values", "flow.txt", "0.0;12.5\n", 59, syntax, 1},
        {"a byte-order mark", "flow.txt", "\xEF\xBB\xBF" "0 1\n1 2\n", 59, syntax, 1},
        {"a later row after blank lines", "flow.txt", "0 1\n1 2\n\r\n  \n\nNone 3\n", 64, conversion, 6},
        {"a rate on a later line", "flow.txt", "0 1\r\n2\n\n#3\n", 59, syntax, 4},
        {"an .xys header read as a row", "flow.XYS", "XYS 1 1 'Flow'\n0 1\n", 59, syntax, 1,
         "read as a .txt series, not .xys (the text after the first dot of the path is not exactly xys)"},
        {"an .xys row after a header over two lines", "flow.xys", "XYS 1\n2 'A'\n0 1\nabc 2\n", 59, syntax, 4},
        {"row 100000 of a .txt, after a row over three lines", "flow.txt",
         "0\n\n0\n" + numberedRows(99998, "\n\n1e5 x\n"), 59, syntax, 100004, "row 1 continues on line 3"},
    };
    for (const ReadErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(c.file, c.content);
        std::remove("stdout.txt");
        std::string warning = *c.warning ? "tarnlib: warning: " + regexLiteral(c.warning) + ", unit 22, file " +
                                               regexLiteral(fullPath(c.file)) + capturedLineEndPattern
                                         : "";
        std::string message = "^" + warning + "tarnlib: error \\(" + std::to_string(c.status) + "\\): " + regexLiteral(c.text) +
                              regexLiteral(fullPath(c.file)) + ", line " + std::to_string(c.line) +
                              capturedLineEndPattern + "$";
        EXPECT_EXIT(
            {
                std::freopen(emptyInput, "r", stdin);
                std::freopen("stdout.txt", "w", stdout);
                read(c.file);
            },
            testing::ExitedWithCode(c.status), message);
        EXPECT_EQ(readFile("stdout.txt"), std::string(" Error reading input file\r\n") + pausePrompt);
    }
}

struct RunTimeErrorCase {
    const char* what;
    const char* content;
    int number;
    const char* text;    // the message text up to the file name
    bool withFileName;
};

TEST_F(SeriesReaderDeathTest, XysFailuresEndInTheRunTimeErrorStop)
{
    const RunTimeErrorCase cases[] = {
        {"N larger than the rows present", "XYS 1 3 'A'\n1 2\n3 4\n", 24,
         "end-of-file during read, unit 22, file ", true},
        {"a last row without its rate", "XYS 1 2 'A'\n1 2\n3\n", 24, "end-of-file during read, unit 22, file ", true},
        {"an empty file", "", 24, "end-of-file during read, unit 22, file ", true},
        {"the second value not a number", "XYS one 2 'A'\n", 59, "list-directed I/O syntax error, unit 22, file ", true},
        {"N of logical form", "XYS 1 T 'A'\n", 64, "input conversion error, unit 22, file ", true},
        // refused before anything is allocated
        {"N = 536870912", "XYS 1 536870912 'Big'\n1 2\n", 179,
         "Cannot allocate array - overflow on array size calculation.", false},
        {"N = 2147483647", "XYS 1 2147483647 'Big'\n1 2\n", 179,
         "Cannot allocate array - overflow on array size calculation.", false},
    };
    for (const RunTimeErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile("flow.xys", c.content);
        std::string message = "^tarnlib: severe \\(" + std::to_string(c.number) + "\\): " + regexLiteral(c.text) +
                              (c.withFileName ? regexLiteral(fullPath("flow.xys")) : "") +
                              capturedLineEndPattern + "Image  ";
        EXPECT_EXIT(
            {
                std::freopen(emptyInput, "r", stdin);
                read("flow.xys");
            },
            testing::ExitedWithCode(c.number), message);
    }
}

}  // namespace
