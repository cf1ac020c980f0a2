// Tests of the fixed-length text fields: the trailing blanks that never
// count, found 32 at a time and then one at a time.

#include "textio/text_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every split of a field of up to 80 characters into text and trailing
// blanks, the text ending in a blank inside it or not, and a text of blanks
// and one character at every place.
TEST(TextFields, TrimmedLengthAtEveryPlace) {
    for (std::size_t text = 0; text <= 80; ++text) {
        for (std::size_t field = text; field <= 80; ++field) {
            std::string inner = text == 0 ? "" : std::string(text - 1, 'x') + "y";
            if (text >= 3) inner[text / 2] = ' ';  // a blank inside counts
            std::string value = inner + std::string(field - text, ' ');
            SCOPED_TRACE("text " + std::to_string(text) + " in " + std::to_string(field));
            EXPECT_EQ(trimmedLength(value.data(), value.size()), text);
            std::string lone(field, ' ');
            if (text > 0) lone[text - 1] = 'z';
            EXPECT_EQ(trimmedLength(lone.data(), lone.size()), text);
        }
    }
}

}  // namespace
