// Checks of doubles for the unit tests: bit for bit, with NaN matching NaN,
// and failures shown as hexadecimal floating-point texts.
#pragma once

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

inline std::string hexText(double value)
{
    char buffer[40];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::hex);
    return std::string(buffer, result.ptr);
}

// Equal bit patterns, or both NaN. For EXPECT_PRED_FORMAT2.
inline testing::AssertionResult sameDouble(const char* expectedText, const char* actualText, double expected,
                                           double actual)
{
    if ((std::isnan(expected) && std::isnan(actual)) ||
        std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << actualText << " is " << hexText(actual) << ", expected "
                                       << expectedText << " = " << hexText(expected);
}
