// Fixed-length text fields: blank-padded on the right, cut on the right.
#include <cstdint>
#include <cstring>

#include "textio/text_fields.h"

void setField(char* field, std::size_t length, const char* text, std::size_t n) {
    if (n > length) n = length;
    std::memcpy(field, text, n);
    std::memset(field + n, ' ', length - n);
}

std::size_t trimmedLength(const char* field, std::size_t length) {
    // A path field is mostly blanks: 32 at a time, then one at a time
    // within the last 32 that hold something else.
    constexpr std::uint64_t eightBlanks = 0x2020202020202020u;
    for (std::uint64_t w[4]; length >= 32; length -= 32) {
        std::memcpy(w, field + length - 32, 32);
        if (((w[0] ^ eightBlanks) | (w[1] ^ eightBlanks) | (w[2] ^ eightBlanks) | (w[3] ^ eightBlanks)) != 0) break;
    }
    while (length > 0 && field[length - 1] == ' ') --length;
    return length;
}

void trimmedCopy(const char* field, std::size_t length, char* out) {
    std::size_t n = trimmedLength(field, length);
    std::memcpy(out, field, n);
    out[n] = '\0';
}
