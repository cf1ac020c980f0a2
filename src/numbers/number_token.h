// The number grammar of the free-form read, scanned one character at a time
// so that a token of any length is checked and converted in bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Significant digits kept of a mantissa. Correct rounding to a double never
// depends on more than 768 of them; the rest only tell whether any is nonzero.
constexpr int keptDigits = 800;

enum class NumberState {
    start,       // nothing yet
    afterSign,   // a leading sign
    pointStart,  // a leading decimal point
    mantissa,    // digits and at most one decimal point
    expLetter,   // an exponent letter E, D or Q
    expSign,     // the sign of an exponent
    expDigits,   // exponent digits
    word,        // a word that begins with I or N
    wordSuffix,  // inside the parentheses of NAN(...)
    wordClosed,  // after the closing parenthesis of NAN(...)
    logical,     // T, F, .T or .F and whatever follows
    invalid,     // a syntax error has been found
};

struct NumberToken {
    NumberState state = NumberState::start;
    bool negative = false;
    bool pointSeen = false;
    bool signExponent = false;  // exponent written as a bare sign (1.0+5)
    bool expNegative = false;
    bool logicalTrue = false;
    bool logicalAfterPoint = false;  // .T or .F rather than T or F
    std::int64_t mantissaDigits = 0;
    int digitCount = 0;              // significant digits kept
    bool sticky = false;             // a nonzero digit beyond the kept ones
    std::int64_t pointExponent = 0;  // value = 0.d1 d2 ... x 10^pointExponent x 10^exponent
    std::int64_t exponent = 0;       // saturates far beyond the double range
    char word[9] = {};               // upper-cased, "INFINITY" at most
    int wordLength = 0;
    bool wordTooLong = false;
    char digits[keptDigits];
};

// Makes `token` a fresh one, as NumberToken{} would, without clearing its
// digits, of which only the first digitCount are ever read.
void resetNumber(NumberToken& token);

// Feeds the next character of the token.
void feedNumber(NumberToken& token, char c);

// True while a closing parenthesis belongs to the token (inside NAN(...)).
inline bool numberTakesParen(const NumberToken& token) { return token.state == NumberState::wordSuffix; }

// Converts a complete token for a double item. `thresholdText` selects the
// logical forms of the threshold text. Returns 0, 59 or 64.
int convertReal(const NumberToken& token, bool thresholdText, double& value);

// Converts a complete token for an int32 item: decimal integers exactly,
// other numbers truncated toward zero. Returns 0, 59 or 64.
int convertInteger(const NumberToken& token, bool thresholdText, std::int32_t& value);

// The most digits that digitsToDouble takes: the kept ones and a sticky one.
constexpr std::size_t digitsToDoubleLimit = keptDigits + 1;

// The double nearest to the integer of the `count` decimal digits at
// `digits` times 10^exponent, the one conversion of digits to a double.
// Returns false, leaving `value`, when that lies beyond the double range
// (an overflow, or an underflow to zero).
bool digitsToDouble(const char* digits, std::size_t count, std::int64_t exponent, double& value);

// The double nearest to the decimal 0.d1 d2 ... dn x 10^exponent10 (digits as
// characters '0'..'9', d1 nonzero), with the given sign; an infinity or a zero
// where the value lies beyond the double range.
double decimalToDouble(const char* digits, int count, bool sticky, std::int64_t exponent10, bool negative);
