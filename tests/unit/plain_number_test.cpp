// Tests of the plain-number scan beyond what conversion_check proves of its
// values: where a number ends (the caller judges that character), what it
// leaves to the general read, and that the two ways of finding digits agree.

#include "numbers/plain_number.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Scans `text` from a padded copy; returns how many characters the number
// took, or -1 when the scan refused it.
int scannedLength(const std::string& text, double& value)
{
    std::string padded = text;
    padded.append(textPadding, '\0');
    const char* end = scanPlainNumber(padded.data(), value);
    return end == nullptr ? -1 : static_cast<int>(end - padded.data());
}

struct EndCase {
    const char* text;
    int length;  // -1: refused
    double value;
};

TEST(PlainNumber, EndsAtTheFirstCharacterThatCannotContinueIt)
{
    const EndCase cases[] = {
        {"1.5 2", 3, 1.5},
        {"1.5)", 3, 1.5},
        {"2*3.5", 1, 2},
        {"12 13/", 2, 12},
        {"13/", 2, 13},
        {"1e5x", 3, 1e5},
        {"-7,8", 2, -7},
        {"1.5D3\r\n", 5, 1500},
        {"1.5q-3\n", 6, 0.0015},
        {"2.0-1 x", 5, 0.2},
        {"+.5\t", 3, 0.5},
        {"5.\n", 2, 5},
        {"1.2.3", 3, 1.2},
        // past the sixteen bytes seen at once
        {"123456789012.5678 ", 17, 123456789012.5678},
        {"0.000000000000000001e18 ", 23, 1},
        {"1234567812345678\n", 16, 1234567812345678},
        // left to the general read
        {"5-", -1, 0},
        {"1.5E", -1, 0},
        {"2D+ ", -1, 0},
        {"1e123456", -1, 0},
        {".", -1, 0},
        {"-", -1, 0},
        {"+.e1", -1, 0},
        {"1e400", -1, 0},
        {"inf", -1, 0},
        {"11111111111111111111111111111111111111111111111111111111111111111", -1, 0},  // 65 digits
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.text);
        double value = -3.25;
        int length = scannedLength(c.text, value);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(value, length < 0 ? -3.25 : c.value);
    }
}

TEST(PlainNumber, NegativeZeroKeepsItsSign)
{
    for (const char* text : {"-0", "-0.000", "-0e99999", "-.0D-5", "-00000000000000000000.0"}) {
        SCOPED_TRACE(text);
        double value = 1.0;
        ASSERT_EQ(scannedLength(text, value), static_cast<int>(std::strlen(text)));
        EXPECT_TRUE(value == 0.0 && std::signbit(value));
    }
}

// The scan of 64-bit words, which processors without SSE2 run, against the
// SSE2 scan: the same end and the same bits for every byte value at every
// place of numbers of every form, so that a fault in either shows.
TEST(PlainNumber, BothScansAgree)
{
    const char* const forms[] = {"1234.5678E+03 5", "-0.000012345,1", "12345678.25\n", "7.5D-3/2", "+.5 ",
                                 "166666.650000\r\n", "9007199254740993 ", "1.5+3)", "0000000000000001.5 "};
    for (const char* form : forms) {
        std::string text = form;
        text.resize(24, ' ');
        for (std::size_t at = 0; at < 20; ++at) {
            for (int byte = 0; byte < 256; ++byte) {
                std::string changed = text;
                changed[at] = static_cast<char>(byte);
                changed.append(textPadding, '\0');
                double sse = -3.25;
                double words = -3.25;
                const char* sseEnd = scanPlainNumber(changed.data(), sse);
                const char* wordsEnd = scanPlainNumberPortable(changed.data(), words);
                ASSERT_EQ(sseEnd, wordsEnd) << form << ", byte " << byte << " at " << at;
                ASSERT_EQ(std::bit_cast<std::uint64_t>(sse), std::bit_cast<std::uint64_t>(words))
                    << form << ", byte " << byte << " at " << at;
            }
        }
    }
}

}  // namespace
