// The long way for plain numbers: more digits than the quick scan turns
// into an integer at once, or a value that one exact operation does not
// round correctly, which the general read's conversion then takes from the
// digits.
#include "numbers/plain_number.h"

#include <cfloat>

#include "numbers/number_token.h"

// A correctly rounded result needs IEEE double operations without extended
// precision in between.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not use extended precision");

// Significant digits that a 64-bit mantissa holds, leading zeros included.
static constexpr int mantissaDigitLimit = 19;
// Digits of a number that this scan takes at most; the general read takes
// numbers of any length.
static constexpr int digitLimit = 64;

const char* scanLongPlainNumber(const char* p, double& value) {
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    // The significant digits, from the first nonzero one on.
    char text[digitLimit];
    int length = 0;
    int digits = 0;
    int exponent = 0;
    bool point = false;
    std::uint64_t mantissa = 0;
    for (;; ++p) {
        if (plain::isDigit(*p)) {
            if (++digits > digitLimit) return nullptr;
            if (length > 0 || *p != '0') text[length++] = *p;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');  // used only up to 19 digits
            exponent -= point;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return nullptr;
    p = plain::scanExponent(p, exponent);
    if (p == nullptr) return nullptr;
    if (digits <= mantissaDigitLimit && plain::exactValue(mantissa, exponent, negative, value)) return p;
    if (length == 0) {
        value = negative ? -0.0 : 0.0;
        return p;
    }
    double converted = 0.0;
    if (!digitsToDouble(text, static_cast<std::size_t>(length), exponent, converted))
        return nullptr;  // beyond the double range: the general read decides
    value = negative ? -converted : converted;
    return p;
}
