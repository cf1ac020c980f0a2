// The numeric field kinds I6, F10.3 and E12.4 of the fixed-layout lines.
//
// Digits come from std::to_chars, which is locale-independent, neither throws
// nor allocates, and with a precision rounds the exact binary value of the
// double to nearest, ties to even: the field rounding rule itself.

#include "report/report.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

// Writes `text` right-aligned into the `width` characters at `out`.
static void rightAlign(char* out, std::size_t width, std::string_view text) {
    assert(text.size() <= width);
    std::memset(out, ' ', width - text.size());
    std::memcpy(out + (width - text.size()), text.data(), text.size());
}

// Fills the `width` characters at `out` with asterisks: the overflow mark.
static void fillAsterisks(char* out, std::size_t width) { std::memset(out, '*', width); }

// The text of NaN or an infinity; empty for a finite value.
static std::string_view nonFiniteText(double value) {
    if (std::isnan(value)) return "NaN";  // whatever its sign bit
    if (std::isinf(value)) return value > 0.0 ? "Infinity" : "-Infinity";
    return {};
}

bool renderI6(char* out, std::int32_t value) {
    // Converting into exactly the field's width fails just when the text
    // (digits and minus sign) needs more: above 999999 or below -99999.
    char text[i6Width];
    std::to_chars_result result = std::to_chars(text, text + i6Width, value);
    if (result.ec != std::errc{}) {
        fillAsterisks(out, i6Width);
        return false;
    }
    rightAlign(out, i6Width, std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
    return true;
}

bool renderF103(char* out, double value) {
    std::string_view nonFinite = nonFiniteText(value);
    if (!nonFinite.empty()) {
        rightAlign(out, f103Width, nonFinite);
        return true;
    }
    if (value == 0.0) value = 0.0;  // a negative zero is written without its sign
    // From 1e7 on the integer part alone has 8 digits, so the text is at least
    // 12 characters; below it the rounded text is at most "-10000000.000"
    // (13). The exact limits (999999.9995 and -99999.9995 are not doubles)
    // are left to the length of the rounded text.
    if (std::fabs(value) >= 1e7) {
        fillAsterisks(out, f103Width);
        return false;
    }
    char text[16];
    std::to_chars_result result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    assert(result.ec == std::errc{});
    std::size_t length = static_cast<std::size_t>(result.ptr - text);
    if (length > f103Width) {
        fillAsterisks(out, f103Width);
        return false;
    }
    rightAlign(out, f103Width, std::string_view(text, length));
    return true;
}

// Appends the exponent part of E12.4 for the decimal exponent `x`
// (-323..309 for a nonzero double) at `out`; returns the end.
static char* putExponent(char* out, int x) {
    unsigned magnitude = static_cast<unsigned>(x < 0 ? -x : x);
    if (magnitude <= 99) *out++ = 'E';  // a three-digit exponent leaves no room for the letter
    *out++ = x < 0 ? '-' : '+';
    if (magnitude > 99) *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
    return out;
}

void renderE124(char* out, double value) {
    std::string_view nonFinite = nonFiniteText(value);
    if (!nonFinite.empty()) {
        rightAlign(out, e124Width, nonFinite);
        return;
    }
    if (value == 0.0) {
        rightAlign(out, e124Width, "0.0000E+00");  // either sign
        return;
    }
    // d.ddde±y carries 4 significant digits already rounded, a carry to the
    // next power of ten included; 0.dddd times 10^(y+1) is the same value.
    // Longest form: "-1.798e+308", 11 characters.
    char scientific[16];
    std::to_chars_result result =
        std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific, 3);
    assert(result.ec == std::errc{});
    const char* p = scientific;
    char text[e124Width];  // at most "-0.1798+309", 11 characters
    char* q = text;
    if (*p == '-') *q++ = *p++;
    *q++ = '0';
    *q++ = '.';
    *q++ = p[0];  // p[1] is the decimal point
    std::memcpy(q, p + 2, 3);
    q += 3;
    assert(p[5] == 'e');
    bool negativeExponent = p[6] == '-';
    int y = 0;
    for (const char* digit = p + 7; digit != result.ptr; ++digit) y = y * 10 + (*digit - '0');
    q = putExponent(q, (negativeExponent ? -y : y) + 1);
    rightAlign(out, e124Width, std::string_view(text, static_cast<std::size_t>(q - text)));
}
