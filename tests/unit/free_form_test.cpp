// Tests of the free-form read: separators, nulls, the slash, repeat counts,
// quoted texts, the number, integer and text forms, record handling, the end
// of a source, and the run-time error messages that uncaught failures print.
// Files are real temporary files; standard input shares the file code and is
// left to the end-to-end runs.

#include "stops/stops.h"
#include "textio/free_form.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double unset = -0x1.5p+7;  // what an item holds before the read
constexpr int anyError = 1000;       // expected status: some error number
constexpr std::int32_t int32Min = std::numeric_limits<std::int32_t>::min();

// Same double bit for bit (so the sign of a zero counts); any NaN matches a NaN.
::testing::AssertionResult sameDouble(double expected, double actual)
{
    bool same = std::isnan(expected)
                    ? std::isnan(actual)
                    : std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << std::hexfloat << expected << ", got " << actual;
}

bool statusMatches(int expected, int actual) { return expected == anyError ? actual > 0 : expected == actual; }

// A temporary file holding `content`, open as a record source; removed at the end.
struct TextFile {
    std::string path;
    RecordSource source;

    explicit TextFile(const std::string& content, int unit = seriesUnit, const char* messageName = nullptr)
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path = ::testing::TempDir() + "free_form_" + test->name() + "_" +
               std::to_string(std::hash<std::string>{}(content));
        OpenResult out = openFileByName(path.c_str(), FileUse::writing);
        EXPECT_EQ(out.error, 0) << path;
        EXPECT_EQ(writeFileBytes(out.file, content.data(), content.size()), 0);
        EXPECT_EQ(truncateFileHere(out.file), 0);
        closeFileHandle(out.file);
        OpenResult in = openFileByName(path.c_str(), FileUse::reading);
        source = fileSource(in.file, unit, messageName ? messageName : path.c_str());
    }
    ~TextFile()
    {
        closeFileHandle(source.file);
        std::remove(path.c_str());
    }
};

struct Reals {
    int status = 0;
    std::vector<double> values;
};

// One read of `count` double items that all start as `unset`.
Reals readReals(RecordSource& source, std::size_t count, bool catchEnd = true, bool catchError = true)
{
    Reals result{0, std::vector<double>(count, unset)};
    std::vector<ReadItem> items;
    for (double& v : result.values) items.push_back(realItem(v));
    result.status = readFreeForm(source, items, catchEnd, catchError);
    return result;
}

// One double from a fixed text, as the threshold is read (but with both flags).
Reals readFixed(const std::string& text)
{
    RecordSource source = fixedTextSource(text.data(), text.size());
    return readReals(source, 1);
}

Reals readFileReal(const std::string& content)
{
    TextFile file(content + "\n");
    return readReals(file.source, 1);
}

void expectReals(const Reals& actual, int status, const std::vector<double>& values)
{
    EXPECT_TRUE(statusMatches(status, actual.status)) << "status " << actual.status << ", expected " << status;
    for (std::size_t i = 0; i < values.size() && i < actual.values.size(); ++i) {
        // after a failure only the items set before the failing one are defined
        if (status <= 0 || values[i] != unset) {
            EXPECT_TRUE(sameDouble(values[i], actual.values[i])) << "item " << i;
        }
    }
}

// The threshold read exactly as the run does it: 32 characters, neither flag.
void readThreshold(const char* text)
{
    std::string field(32, ' ');
    field.replace(0, std::strlen(text), text);
    RecordSource source = fixedTextSource(field.data(), field.size());
    double value = 100000.0;
    ReadItem item = realItem(value);
    readFreeForm(source, {&item, 1}, false, false);
}

// Exact decimal digits of `digits` (a decimal integer) times factor^count.
std::string timesPower(std::string digits, int factor, int count)
{
    for (int k = 0; k < count; ++k) {
        int carry = 0;
        for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
            int d = (*it - '0') * factor + carry;
            *it = static_cast<char>('0' + d % 10);
            carry = d / 10;
        }
        for (; carry > 0; carry /= 10) digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
    }
    return digits;
}

// ---------------------------------------------------------------- separators

struct RowCase {
    const char* input;
    int status;
    std::vector<double> values;
};

void expectRowCases(const std::vector<RowCase>& cases)
{
    for (const RowCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.input)));
        TextFile file(c.input);
        expectReals(readReals(file.source, c.values.size()), c.status, c.values);
    }
}

TEST(FreeFormSeparators, BlanksCommasTabsAndNulls)
{
    expectRowCases({
        {"1.0 2.0\n", 0, {1.0, 2.0}},
        {"   1.0     2.0   \n", 0, {1.0, 2.0}},
        {"1.0,2.0\n", 0, {1.0, 2.0}},
        {"1.0 ,  2.0\n", 0, {1.0, 2.0}},
        {"1.0\t2.0\n", 0, {1.0, 2.0}},
        {"1.0\t,\t2.0\r\n", 0, {1.0, 2.0}},
        {"1.0\r2.0\n", 59, {unset, unset}},   // a CR not before LF is a character of the token
        {"1,5 2,5\n", 0, {1.0, 5.0}},           // the comma is no decimal mark
        {"1.0,,2.0\n", 0, {1.0, unset}},
        {"1.0 ,  , 2.0\n", 0, {1.0, unset}},
        {",2.0\n", 0, {unset, 2.0}},
        {"   , 2.0\n", 0, {unset, 2.0}},
        {",,\n", 0, {unset, unset}},
        {",,5\n", 0, {unset, unset, 5.0}},
        {"1.0\n,2.0\n", 0, {1.0, 2.0}},         // a line end is no separator of its own
        {"1.0\n\n  ,2.0\n", 0, {1.0, 2.0}},
        {"1.0,\n,2.0\n", 0, {1.0, unset}},      // the previous line ended in a comma
        {"1.0,  \n  ,2.0\n", 0, {1.0, unset}},
        {"1.0\n,,2.0\n", 0, {1.0, unset, 2.0}},
        {",\n2.0\n", 0, {unset, 2.0}},
        {"\n\n   \n1.0\n\n2.0\n", 0, {1.0, 2.0}},
        {"1.0 2.0 # note\n", 0, {1.0, 2.0}},
        {"1.0 2.0 3.0\n", 0, {1.0, 2.0}},
        {"1.0 2.0 'never closed (x, +-\n", 0, {1.0, 2.0}},  // never examined
        {"1.0 abc\n", 59, {1.0, unset}},
        {"0.0;12.5\n", 59, {unset, unset}},
        {"# header\n1 2\n", 59, {unset, unset}},
        {"\xEF\xBB\xBF" "1.0 2.0\n", 59, {unset, unset}},  // byte-order mark
        {"Time Flow\n", 64, {unset, unset}},
        {"Hours Flow\n", 59, {unset, unset}},
        {"(1.5\n, 2.5) 3\n", 0, {1.5, 3.0}},   // a pair, with a line end around its comma
        {"(1.5,\n2.5),3\n", 0, {1.5, 3.0}},
        {"(1.5,2.5)\n", readEnd, {1.5, unset}},
    });
}

TEST(FreeFormSlash, EndsTheReadLeavingLaterItems)
{
    expectRowCases({
        {"/\n", 0, {unset, unset}},
        {"   /  1.0 2.0\n", 0, {unset, unset}},
        {"1.0/2.0\n", 0, {1.0, unset}},
        {"1.0 / 2.0\n", 0, {1.0, unset}},
        {"1.0,/\n", 0, {1.0, unset}},
        {"1.0\n/\n2.0\n", 0, {1.0, unset}},
        {"2*/\n", 0, {unset, unset}},
    });
    // the threshold: a lone slash or a lone comma leaves the value as it was
    expectReals(readFixed(std::string("/") + std::string(31, ' ')), 0, {unset});
    expectReals(readFixed(std::string(",") + std::string(31, ' ')), 0, {unset});
    expectReals(readFixed(std::string("1,5") + std::string(29, ' ')), 0, {1.0});
}

TEST(FreeFormRepeat, CopiesAndNullValues)
{
    expectRowCases({
        {"2*3.5\n", 0, {3.5, 3.5}},
        {"2*\n", 0, {unset, unset}},
        {"2*\r\n5\n", 0, {unset, unset}},
        {"2* 1.0\n", 0, {unset, unset}},
        {"1*,2.0\n", 0, {unset, 2.0}},
        {"2*,5\n", 0, {unset, unset, 5.0}},
        {"1*5 6\n", 0, {5.0, 6.0}},
        {"1.0 3*2.5\n", 0, {1.0, 2.5, 2.5}},
        {"2*-inf\n", 0, {-inf, -inf}},
        {"2*(1.5,9)\n", 0, {1.5, 1.5}},
        {"3*1.5\n7 8\n", 0, {1.5, 1.5}},   // the third copy is dropped
        {"0*5 6\n", 59, {unset, unset}},   // a count of zero is refused
        {"2*abc\n", 59, {unset, unset}},
        {"1.5*2 3\n", 59, {unset, unset}},
    });
    TextFile file("3*abc 2*'a b'\n");
    char texts[5][3];
    std::memset(texts, '?', sizeof texts);
    std::vector<ReadItem> items;
    for (auto& t : texts) items.push_back(textItem(t, 3));
    EXPECT_EQ(readFreeForm(file.source, items, true, true), 0);
    EXPECT_EQ(std::string(&texts[0][0], 15), "abcabcabca ba b");
}

// ---------------------------------------------------------------- numbers

struct NumberCase {
    const char* text;
    int status;
    double value;
};

TEST(FreeFormNumbers, FormsExponentsWordsAndPairs)
{
    const NumberCase cases[] = {
        {"1.5e3", 0, 1500.0},     {"1.5E3", 0, 1500.0},     {"1.5D3", 0, 1500.0},
        {"1.5d3", 0, 1500.0},     {"1.5q3", 0, 1500.0},     {"1.5Q3", 0, 1500.0},
        {"1.5+3", 0, 1500.0},     {"1.5E+3", 0, 1500.0},    {"15e-1", 0, 1.5},
        {"15D-01", 0, 1.5},       {"25-2", 0, 0.25},        {"1.0+5", 0, 100000.0},
        {"5e2", 0, 500.0},        {".5", 0, 0.5},           {"5.", 0, 5.0},
        {".5+1", 0, 5.0},         {"1.e5", 0, 100000.0},    {"5.E3", 0, 5000.0},
        {".5E1", 0, 5.0},         {"1E00000000000000000000000005", 0, 100000.0},
        {"3E-324", 0, 0x1p-1074}, {"1E-324", 0, 0.0},
        {"-.5", 0, -0.5},         {"+5", 0, 5.0},           {"0", 0, 0.0},
        {"-0", 0, -0.0},          {"-0.0E5", 0, -0.0},      {"+0.", 0, 0.0},
        {"0000000000000000000001.5", 0, 1.5},
        {"000.000000000000000000000000000015e29", 0, 1.5},
        {"1.5)", 0, 1.5},         // a number also ends at a closing parenthesis
        {"inf", 0, inf},          {"INF", 0, inf},          {"-Infinity", 0, -inf},
        {"+iNfInItY", 0, inf},    {"NaN", 0, nan},          {"-nan", 0, nan},
        {"nan(0x7ff)", 0, nan},   {"NAN()", 0, nan},
        {"(1.5,2.5)", 0, 1.5},    {"( -2.5 , nan(q) )", 0, -2.5},
        {"(1.5,-inf)", 0, 1.5},
        {"1E400", 0, inf},        {"-1E400", 0, -inf},      {"1E-400", 0, 0.0},
        {"-1E-400", 0, -0.0},     {"1E99999999999999999999", 0, inf},
        {"0E99999999999999999999", 0, 0.0},
        {".", 59, 0},             {"-", 59, 0},             {"+.", 59, 0},
        {"E5", 59, 0},            {"-.E1", 59, 0},          {"+-5", 59, 0},
        {"1.2.3", 59, 0},         {"1E5E3", 59, 0},         {"1E5D3", 59, 0},
        {"1+E5", 59, 0},          {"1e+-5", 59, 0},         {"5-", 59, 0},
        {"1INF", 59, 0},          {"0x1p3", 59, 0},         {"1#", 59, 0},
        {"1!", 59, 0},            {"1:", 59, 0},            {"12a", 59, 0},
        {"abc", 59, 0},           {"Hours", 59, 0},         {"--inf", 59, 0},
        {"Infinit", 64, 0},       {"INFINITYX", 64, 0},     {"NANO", 64, 0},
        {"Nonsense", 64, 0},      {"I", 64, 0},             {"-N", 64, 0},
        {"1.5E", 64, 0},          {"2D+", 64, 0},           {"1.5e-", 64, 0},
        {"(1.5 2.5)", 59, 0},     {"(1.5,2.5", 59, 0},      {"(1.5,abc)", 59, 0},
        {"(abc,1)", 59, 0},       {"(1.5;2)", 59, 0},
        {"'1.5'", 64, 0},         {"\"1.5\"", 64, 0},       // a quoted text
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text);
        double value = c.status == 0 ? c.value : unset;
        expectReals(readFixed(c.text), c.status, {value});
        expectReals(readFileReal(c.text), c.status, {value});
        // A second value through the general grammar starts afresh: nothing
        // of the first (its sign, point, exponent, word) carries over.
        if (c.status == 0 && std::string(c.text).find_first_of("()") == std::string::npos) {
            std::string two = std::string(c.text) + " 7";
            RecordSource source = fixedTextSource(two.data(), two.size());
            expectReals(readReals(source, 2), 0, {c.value, 7.0});
        }
    }
    // the NaN is a quiet one
    Reals r = readFixed("NaN");
    EXPECT_NE(std::bit_cast<std::uint64_t>(r.values[0]) & (std::uint64_t{1} << 51), 0u);
}

struct WordCase {
    const char* text;
    int fileStatus;
    int fixedStatus;
    double fixedValue;
};

TEST(FreeFormNumbers, LogicalFormsDependOnTheSource)
{
    const WordCase cases[] = {
        {"T", 64, 59, 0},          {"true", 64, 59, 0},       {"F", 64, 59, 0},
        {"false", 64, 59, 0},      {"Time", 64, 59, 0},       {"f1", 64, 59, 0},
        {".true.", 64, 0, -1.0},   {".TRUE.", 64, 0, -1.0},   {".T", 64, 0, -1.0},
        {".t", 64, 0, -1.0},       {".Tx", 64, 0, -1.0},      {".false.", 64, 0, 0.0},
        {".F", 64, 0, 0.0},        {".f", 64, 0, 0.0},        {"-.T", 59, 59, 0},
    };
    for (const WordCase& c : cases) {
        SCOPED_TRACE(c.text);
        expectReals(readFileReal(c.text), c.fileStatus, {unset});
        std::string threshold = std::string(c.text) + std::string(32 - std::strlen(c.text), ' ');
        expectReals(readFixed(threshold), c.fixedStatus, {c.fixedStatus == 0 ? c.fixedValue : unset});
    }
}

// ---------------------------------------------------------------- rounding

TEST(FreeFormRounding, HardCasesAgainstExactArithmetic)
{
    const std::string mid53 = "1." + std::string(15, '0') + timesPower("1", 5, 53);      // 1 + 2^-53
    const std::string halfTiny = "0." + std::string(323, '0') + timesPower("1", 5, 1075);  // 2^-1075
    const std::string topMid = timesPower("18014398509481983", 2, 970);                    // 2^1024 - 2^970
    std::string topBelow = topMid;
    topBelow.back() = static_cast<char>(topBelow.back() - 1);
    std::string halfTinyBelow = halfTiny;
    halfTinyBelow.back() = static_cast<char>(halfTinyBelow.back() - 1);
    const std::string longTie = "9007199254740993." + std::string(99982, '0') + "1";  // 100000 characters
    ASSERT_EQ(longTie.size(), 100000u);
    ASSERT_EQ(mid53, "1.00000000000000011102230246251565404236316680908203125");
    struct Case {
        std::string text;
        double value;
    };
    const Case cases[] = {
        {"9007199254740993", 0x1p53},  // a tie goes to the even neighbour
        {"9007199254740995", 0x1.0000000000002p53},
        {"9007199254740994.9999999999", 0x1.0000000000001p53},
        {longTie, 0x1.0000000000001p53},  // the last of 100000 digits breaks the tie
        {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},
        {"2.2250738585072014e-308", 0x1p-1022},
        {"4.9406564584124654e-324", 0x1p-1074},
        {"2.4703282292062327e-324", 0.0},  // just below half the smallest subnormal
        {"2.4703282292062328e-324", 0x1p-1074},
        {"-2.4703282292062327e-324", -0.0},
        {halfTiny, 0.0},  // exactly half: ties to the even zero
        {halfTinyBelow, 0.0},
        {halfTiny + "1", 0x1p-1074},
        {halfTiny + std::string(900, '0') + "1", 0x1p-1074},  // beyond 800 digits
        {"1.7976931348623157e308", 0x1.fffffffffffffp1023},
        {"1.7976931348623158e308", 0x1.fffffffffffffp1023},
        {"1.7976931348623159e308", inf},
        {topMid, inf},  // the tie above the largest double overflows
        {topBelow, 0x1.fffffffffffffp1023},
        {mid53, 1.0},
        {mid53 + "000000001", 0x1.0000000000001p0},
        {"1.000000000000000111022302462515654042363", 1.0},                 // 40 digits
        {"1.000000000000000111022302462515654042364", 0x1.0000000000001p0},  // 40 digits
        {"0." + std::string(2999, '0') + "15E3000", 1.5},  // no length limit for numbers
        {"0." + std::string(400, '0') + "1E401", 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        expectReals(readFixed(c.text), 0, {c.value});
    }
    expectReals(readFileReal(longTie), 0, {0x1.0000000000001p53});
}

// ---------------------------------------------------------------- int32

struct IntegerCase {
    const char* text;
    int status;
    std::int32_t value;
};

TEST(FreeFormInteger, DecimalsTruncationAndRange)
{
    const IntegerCase cases[] = {
        {"12", 0, 12},                   {"-12", 0, -12},               {"+7", 0, 7},
        {"-0", 0, 0},                    {"0000000000000000000042", 0, 42},
        {"2147483647", 0, 2147483647},   {"-2147483648", 0, int32Min},
        {"2147483648", 64, 0},           {"-2147483649", 64, 0},        {"99999999999999999999", 64, 0},
        {"12.5", 0, 12},                 {"-12.9", 0, -12},             {"-0.5", 0, 0},
        {"1E3", 0, 1000},                {"1.0", 0, 1},                 {"2.5d1", 0, 25},
        {"1.5+3", 0, 1500},              {"2147483647.9", 0, 2147483647},
        {"-2147483648.9", 0, int32Min},  {"2147483648.0", 0, int32Min}, {"3e9", 0, int32Min},
        {"-3e9", 0, int32Min},           {"1E400", 0, int32Min},        {"1E-400", 0, 0},
        {"1-2", anyError, 0},            {"T", 64, 0},                  {"Hours", 59, 0},
        {"12x", 59, 0},                  {"1.5E", 64, 0},               {"'12'", 64, 0},
        {"(1,2)", 59, 0},                {"-0000", 0, 0},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(c.text);
        TextFile file(std::string(c.text) + "\n");
        std::int32_t value = -77;
        ReadItem item = integerItem(value);
        int status = readFreeForm(file.source, {&item, 1}, true, true);
        EXPECT_TRUE(statusMatches(c.status, status)) << "status " << status;
        if (c.status == 0) {
            EXPECT_EQ(value, c.value);
        }
    }
}

// ---------------------------------------------------------------- texts

struct HeaderCase {
    const char* input;
    int status;
    const char* tag;
    std::int32_t one;
    std::int32_t count;
    const char* name;  // before padding to 32
};

// The series header: text of 3, int32, int32, text of 32, both flags set.
TEST(FreeFormText, HeaderQuotingCuttingAndPadding)
{
    const HeaderCase cases[] = {
        {"XYS, 1, 12.5, 'Flow A'\n", 0, "XYS", 1, 12, "Flow A"},
        {"XYS 1 12.5 Flow A\n", 0, "XYS", 1, 12, "Flow"},
        {"XYS 1 3 'It''s'\n", 0, "XYS", 1, 3, "It's"},
        {"XYS 1 3 \"say \"\"hi\"\"\"\n", 0, "XYS", 1, 3, "say \"hi\""},
        {"XYS 1 3 'a \"b\", c/d'\n", 0, "XYS", 1, 3, "a \"b\", c/d"},
        {"XYS 1 3 'Run\nA'\n", 0, "XYS", 1, 3, "RunA"},   // a line end adds nothing
        {"XYS 1 3 'Run\r\nA'\n", 0, "XYS", 1, 3, "RunA"},
        {"XYS 1 3 'Run \n A'\n", 0, "XYS", 1, 3, "Run  A"},
        {"XYS 1 3 ''\n", 0, "XYS", 1, 3, ""},
        {"XYS 1 3 'abcdefghijklmnopqrstuvwxyz0123456789'\n", 0, "XYS", 1, 3, "abcdefghijklmnopqrstuvwxyz012345"},
        {"XYSZ 1 3 x\n", 0, "XYS", 1, 3, "x"},
        {"'X' 1 3 x\n", 0, "X  ", 1, 3, "x"},
        {"XYS\n1\n\n3\nname\n", 0, "XYS", 1, 3, "name"},
        {"XYS 1 3 C:/data 9\n", 0, "XYS", 1, 3, "C:"},
        {"XYS 1 3 data,v2.txt\n", 0, "XYS", 1, 3, "data"},
        {"XYS 1 3 a\rb\n", 0, "XYS", 1, 3, "a\rb"},   // a CR before anything but LF is a character
        {"XYS 1 3 ab\r\r\n", 0, "XYS", 1, 3, "ab\r"},
        {"XYS 1 3 name\r\n", 0, "XYS", 1, 3, "name"},
        {"XYS 1 3 a)b\tc\n", 0, "XYS", 1, 3, "a)b"},
        {"XYS 1 3,,\n", 0, "XYS", 1, 3, "????????????????????????????????"},
        {"XYS 1 3 'never closed\n", 59, "XYS", 1, 3, ""},
        {"XYS 'a' 3 n\n", 64, "XYS", -77, -77, ""},
        {"XYS 1 Time n\n", 64, "XYS", 1, -77, ""},
        {"XYS 1 12x n\n", 59, "XYS", 1, -77, ""},
        {"XYS 1 3\n", readEnd, "XYS", 1, 3, "????????????????????????????????"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.input)));
        TextFile file(c.input);
        char tag[3];
        char name[32];
        std::memset(tag, '?', sizeof tag);
        std::memset(name, '?', sizeof name);
        std::int32_t one = -77;
        std::int32_t count = -77;
        const ReadItem items[] = {textItem(tag, 3), integerItem(one), integerItem(count), textItem(name, 32)};
        int status = readFreeForm(file.source, items, true, true);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(std::string(tag, 3), c.tag);
        if (c.one != -77 || status == 0) {
            EXPECT_EQ(one, c.one);
        }
        if (c.count != -77 || status == 0) {
            EXPECT_EQ(count, c.count);
        }
        std::string expectedName = c.name;
        expectedName.resize(32, ' ');
        if (status == 0 || status == readEnd) {
            EXPECT_EQ(std::string(name, 32), expectedName);
        }
    }
}

TEST(FreeFormText, ValueLimitOf2049Characters)
{
    const std::string a2048(2048, 'a');
    struct Case {
        std::string input;
        int status;
        std::string value;
    };
    const Case cases[] = {
        {a2048 + "b", 0, a2048 + "b"},
        {a2048 + "bc", 59, ""},
        {"'" + a2048 + "b'", 0, a2048 + "b"},
        {"'" + a2048 + "bc'", 59, ""},
        {"'" + std::string(2047, 'a') + "''''" + "'", 0, std::string(2047, 'a') + "''"},
        {"'" + std::string(2000, 'a') + "\n" + std::string(49, 'b') + "'", 0, std::string(2000, 'a') + std::string(49, 'b')},
        {"'" + std::string(2000, 'a') + "\r\n" + std::string(50, 'b') + "'", 59, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.size());
        TextFile file(c.input + "\n");
        std::string field(textValueLimit, '?');
        ReadItem item = textItem(field.data(), field.size());
        EXPECT_EQ(readFreeForm(file.source, {&item, 1}, true, true), c.status);
        if (c.status == 0) {
            EXPECT_EQ(field, c.value + std::string(textValueLimit - c.value.size(), ' '));
        }
    }
    // a longer value is cut to the field; a longer number is still a number
    TextFile file(std::string(2049, 'x') + " " + std::string(3000, '0') + "2.5\n");
    char field[200];
    double number = unset;
    const ReadItem items[] = {textItem(field, 200), realItem(number)};
    EXPECT_EQ(readFreeForm(file.source, items, true, true), 0);
    EXPECT_EQ(std::string(field, 200), std::string(200, 'x'));
    EXPECT_TRUE(sameDouble(2.5, number));
}

TEST(FreeFormText, PromptAnswerSkipsEmptyLines)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\n\n   'C:\\My Data\\x.txt'  \n", "C:\\My Data\\x.txt"},
        {"\r\n\"C:\\data/run1/flow.txt\"\r\n", "C:\\data/run1/flow.txt"},
        {"C:\\My Data\\x.txt\n", "C:\\My"},
        {"C:/data/series.txt\n", "C:"},
    };
    for (const auto& [input, answer] : cases) {
        SCOPED_TRACE(input);
        TextFile file(input, inputUnit, inputName);
        char finput[200];
        ReadItem item = textItem(finput, 200);
        EXPECT_EQ(readFreeForm(file.source, {&item, 1}, false, false), 0);
        std::string expected = answer;
        expected.resize(200, ' ');
        EXPECT_EQ(std::string(finput, 200), expected);
    }
}

// ---------------------------------------------------------------- records

TEST(FreeFormRecords, EveryReadStartsOnAFreshRecord)
{
    struct Case {
        const char* input;
        std::vector<Reals> reads;  // successive reads of two doubles
    };
    const Case cases[] = {
        {"1.0\n2.0 3.0\n4.0 5.0\n", {{0, {1, 2}}, {0, {4, 5}}, {-1, {unset, unset}}}},
        {"1 2 3\n4 5 6\n", {{0, {1, 2}}, {0, {4, 5}}, {-1, {unset, unset}}}},
        {"1 2\r\n3 4\r\n", {{0, {1, 2}}, {0, {3, 4}}, {-1, {unset, unset}}}},
        {"1 2\n3 4", {{0, {1, 2}}, {0, {3, 4}}, {-1, {unset, unset}}}},  // a last line without LF
        {"1 2\n\n  \n\n", {{0, {1, 2}}, {-1, {unset, unset}}, {-1, {unset, unset}}}},
        {"1 2\n3\n", {{0, {1, 2}}, {-1, {3, unset}}}},  // a last line with one value
        {"", {{-1, {unset, unset}}, {-1, {unset, unset}}}},
        {"abc 1\n3 4\n", {{59, {}}, {0, {3, 4}}}},
        {"1 2 'open\n3 4\n", {{0, {1, 2}}, {0, {3, 4}}}},
        {"3*1.5\n7 8\n", {{0, {1.5, 1.5}}, {0, {7, 8}}}},
        {"  /\n3 4\n", {{0, {unset, unset}}, {0, {3, 4}}}},
        {"/\n3 4\n", {{0, {unset, unset}}, {0, {3, 4}}}},
        {"1.0\n/\n5 6\n", {{0, {1, unset}}, {0, {5, 6}}}},
        {"'q' 1\n3 4\n", {{64, {}}, {0, {3, 4}}}},
        {")\n3 4\n", {{59, {}}, {0, {3, 4}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.input)));
        TextFile file(c.input);
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            SCOPED_TRACE(i);
            expectReals(readReals(file.source, 2), c.reads[i].status, c.reads[i].values);
        }
    }
}

TEST(FreeFormRecords, ReadWithoutItemsConsumesOneRecord)
{
    TextFile file("anything 'open (,/\n1 2\n");
    EXPECT_EQ(readFreeForm(file.source, {}, false, false), 0);
    expectReals(readReals(file.source, 2), 0, {1, 2});
    EXPECT_EQ(readFreeForm(file.source, {}, true, false), readEnd);

    std::string text = "1.5" + std::string(29, ' ');
    RecordSource fixed = fixedTextSource(text.data(), text.size());
    expectReals(readReals(fixed, 1), 0, {1.5});
    expectReals(readReals(fixed, 1), readEnd, {unset});  // the fixed text is one record only
    expectReals(readFixed(std::string(32, ' ')), readEnd, {unset});
    RecordSource pair = fixedTextSource(text.data(), text.size());
    expectReals(readReals(pair, 2), readEnd, {1.5, unset});
}

TEST(FreeFormRecords, LineEndsAndDelimitersAcrossReadBlocks)
{
    // files are taken in blocks of 1 MiB; put a CR LF and a doubled delimiter
    // across the first block boundary
    const std::pair<std::string, std::string> cases[] = {
        {std::string(1048572, ' ') + "abc\r\ndef\n", "abc     "},
        {std::string(1048573, ' ') + "'a''b'\ndef\n", "a'b     "},
    };
    for (const auto& [input, first] : cases) {
        TextFile file(input);
        char field[8];
        ReadItem item = textItem(field, 8);
        EXPECT_EQ(readFreeForm(file.source, {&item, 1}, true, true), 0);
        EXPECT_EQ(std::string(field, 8), first);
        EXPECT_EQ(readFreeForm(file.source, {&item, 1}, true, true), 0);
        EXPECT_EQ(std::string(field, 8), "def     ");
    }
}

TEST(FreeFormRecords, RefusedReadIsError39)
{
    RecordSource broken = fileSource(FileHandle{}, seriesUnit, "broken");
    expectReals(readReals(broken, 2), errRead, {});
}

// ---------------------------------------------------------------- stops

// `text` with the characters that a regular expression gives a meaning escaped.
static std::string regexLiteral(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (std::string(".[]()*+?{}|^$\\").find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

// On Windows, GoogleTest reads a death test's standard error back in text
// mode, so the message line's CR LF may arrive as LF.
#ifdef _WIN32
static const char messageLineEnd[] = "\r?\n";
#else
static const char messageLineEnd[] = "\r\n";
#endif

TEST(FreeFormDeathTest, UncaughtFailuresEndTheRun)
{
    EXPECT_EXIT(readThreshold("abc"), ::testing::ExitedWithCode(59),
                std::string("tarnlib: severe \\(59\\): list-directed I/O syntax error, unit -5, file Internal "
                            "List-Directed Read") +
                    messageLineEnd + "Image  ");
    EXPECT_EXIT(readThreshold(""), ::testing::ExitedWithCode(24),
                "tarnlib: severe \\(24\\): end-of-file during read, unit -5, file Internal List-Directed Read");
    EXPECT_EXIT(readThreshold("1.5E"), ::testing::ExitedWithCode(64),
                "tarnlib: severe \\(64\\): input conversion error, unit -5, file Internal List-Directed Read");
    {
        TextFile file("1.0 2.0\n3.0\n");
        const std::string message =
            "tarnlib: severe \\(24\\): end-of-file during read, unit 22, file " + regexLiteral(file.path);
        // an .xys row: only errors are caught, so a missing rate ends the run
        EXPECT_EXIT({ readReals(file.source, 2, false, true); readReals(file.source, 2, false, true); },
                    ::testing::ExitedWithCode(24), message);
    }
    {
        TextFile file("XYS 1 Time n\n");
        char tag[3];
        std::int32_t one = 0;
        std::int32_t count = 0;
        const ReadItem items[] = {textItem(tag, 3), integerItem(one), integerItem(count)};
        EXPECT_EXIT(readFreeForm(file.source, items, false, false), ::testing::ExitedWithCode(64),
                    "tarnlib: severe \\(64\\): input conversion error, unit 22, file " + regexLiteral(file.path));
    }
    {
        TextFile file("", inputUnit, inputName);  // the final wait at the end of input
        EXPECT_EXIT(readFreeForm(file.source, {}, false, false), ::testing::ExitedWithCode(24),
                    "tarnlib: severe \\(24\\): end-of-file during read, unit -4, file CONIN\\$");
    }
    RecordSource broken = fileSource(FileHandle{}, seriesUnit, "broken");
    EXPECT_EXIT(readReals(broken, 2, true, false), ::testing::ExitedWithCode(39),
                "tarnlib: severe \\(39\\): error during read, unit 22, file broken");
}

TEST(FreeFormMessages, MessageLineOfEveryErrorNumber)
{
    const std::string longName = "/" + std::string(255, 'n');
    struct Case {
        const char* severity;
        int number;
        int unit;
        std::string file;
        std::string line;
    };
    const Case cases[] = {
        {"severe", 9, 22, "/d/s.xys", "tarnlib: severe (9): permission to access file denied, unit 22, file /d/s.xys"},
        {"severe", 24, -4, "CONIN$", "tarnlib: severe (24): end-of-file during read, unit -4, file CONIN$"},
        {"severe", 29, 44, "/no/r.txt", "tarnlib: severe (29): file not found, unit 44, file /no/r.txt"},
        {"severe", 30, 44, "/r.txt", "tarnlib: severe (30): open failure, unit 44, file /r.txt"},
        {"severe", 38, -1, "CONOUT$", "tarnlib: severe (38): error during write, unit -1, file CONOUT$"},
        {"severe", 39, 22, "/s.txt", "tarnlib: severe (39): error during read, unit 22, file /s.txt"},
        {"severe", 42, 22, "Q:/s.txt", "tarnlib: severe (42): no such device, unit 22, file Q:/s.txt"},
        {"severe", 43, 22, longName, "tarnlib: severe (43): file name specification error, unit 22, file " + longName},
        {"severe", 47, 44, "/r.txt", "tarnlib: severe (47): write to READONLY file, unit 44, file /r.txt"},
        {"severe", 59, -5, thresholdName,
         "tarnlib: severe (59): list-directed I/O syntax error, unit -5, file Internal List-Directed Read"},
        {"severe", 64, 22, "/s.xys", "tarnlib: severe (64): input conversion error, unit 22, file /s.xys"},
        {"severe", 179, 22, "/s.xys", "tarnlib: severe (179): Cannot allocate array - overflow on array size calculation."},
        {"error", 63, 44, "/r.txt", "tarnlib: error (63): output conversion error, unit 44, file /r.txt"},
    };
    for (const Case& c : cases) {
        char out[messageLineSize];
        std::size_t n = formatRunTimeMessage(out, c.severity, c.number, c.unit, c.file.c_str());
        EXPECT_EQ(std::string(out, n), c.line + "\r\n");
    }
}

TEST(FreeFormMessages, StackListingHeaderAndRows)
{
    StackFrame frames[2];
    std::strcpy(frames[0].module, "qvolstat.exe");
    frames[0].pc = 0x0040A1B2;
    std::strcpy(frames[0].routine, "readFreeForm");
    frames[0].line = 1234;
    std::strcpy(frames[0].source, "free_form.cpp");
    std::strcpy(frames[1].module, "abcdefghijklmnopq");  // exactly 17
    frames[1].pc = 0xFFF;
    std::strcpy(frames[1].routine, "raiseRunTimeError");
    frames[1].line = 2147483647;  // exactly 10
    std::strcpy(frames[1].source, "stops.cpp");
    const std::string header = "Image              PC        Routine            Line        Source             \r\n";
    ASSERT_EQ(header.size(), 19u + 10u + 19u + 12u + 19u + 2u);
    const std::string expected = header +
        "qvolstat.exe       0040A1B2  readFreeForm             1234  free_form.cpp\r\n"
        "abcdefghijklmnopq  00000FFF  raiseRunTimeError  2147483647  stops.cpp\r\n";
    char out[1024];
    std::size_t n = formatStackListing(out, sizeof out, frames, 2);
    EXPECT_EQ(std::string(out, n), expected);
    n = formatStackListing(out, sizeof out, frames, 0);
    EXPECT_EQ(std::string(out, n), header);
    n = formatStackListing(out, 100, frames, 2);
    EXPECT_LE(n, 100u);
    EXPECT_EQ(std::string(out, header.size() <= n ? header.size() : n), header);
}

}  // namespace
