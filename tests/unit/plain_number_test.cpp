// Tests of the plain-number scan beyond what conversion_check proves of its
// values: where a number ends (the caller judges that character), what it
// leaves to the general read, and that the two ways of finding digits agree.

#include "textio/textio.h"

#include <gtest/gtest.h>

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
        {std::string(65, '1').c_str(), -1, 0},
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

// Every byte value at every position of the sixteen, among digits and among
// blanks, so that a carry or borrow between bytes would show.
TEST(PlainNumber, BothDigitFindersAgree)
{
    for (const char* background : {"0123456789012345", "                ", "9999999999999999"}) {
        for (int position = 0; position < 16; ++position) {
            for (int byte = 0; byte < 256; ++byte) {
                char text[16];
                std::memcpy(text, background, 16);
                text[position] = static_cast<char>(byte);
                std::uint32_t expected = 0;
                for (int i = 0; i < 16; ++i) expected |= std::uint32_t{text[i] >= '0' && text[i] <= '9'} << i;
                ASSERT_EQ(plainDigitBits(text), expected) << "byte " << byte << " at " << position;
                ASSERT_EQ(plainDigitBitsPortable(text), expected) << "byte " << byte << " at " << position;
            }
        }
    }
}

}  // namespace
