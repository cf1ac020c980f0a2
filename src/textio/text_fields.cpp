// Fixed-length text fields: blank-padded on the right, cut on the right.
#include <cstring>

#include "textio/text_fields.h"

void setField(char* field, std::size_t length, const char* text, std::size_t n) {
    if (n > length) n = length;
    std::memcpy(field, text, n);
    std::memset(field + n, ' ', length - n);
}

std::size_t trimmedLength(const char* field, std::size_t length) {
    while (length > 0 && field[length - 1] == ' ') --length;
    return length;
}

void trimmedCopy(const char* field, std::size_t length, char* out) {
    std::size_t n = trimmedLength(field, length);
    std::memcpy(out, field, n);
    out[n] = '\0';
}
