// Number tokens of the free-form read: the grammar, checked as characters
// arrive, and the correctly rounded conversion of what it accepted.
#include "numbers/number_token.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "errors/errors.h"

// Exponents saturate here, far beyond any that gives a finite nonzero double,
// so that a token of any length cannot overflow the arithmetic.
constexpr std::int64_t exponentCap = 1000000000;

static bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }
static bool isExponentLetter(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q'; }
static bool isLogicalLetter(char c) { return c == 'T' || c == 't' || c == 'F' || c == 'f'; }
static bool isWordLetter(char c) { return c == 'I' || c == 'i' || c == 'N' || c == 'n'; }

static void addMantissaDigit(NumberToken& token, char c) {
    if (token.mantissaDigits < exponentCap) ++token.mantissaDigits;
    if (token.digitCount == 0 && c == '0') {
        // a leading zero is not significant; after the point it shifts the value
        if (token.pointSeen && token.pointExponent > -exponentCap) --token.pointExponent;
        return;
    }
    if (token.digitCount < keptDigits) {
        token.digits[token.digitCount++] = c;
    } else if (c != '0') {
        token.sticky = true;
    }
    if (!token.pointSeen && token.pointExponent < exponentCap) ++token.pointExponent;
}

static void addExponentDigit(NumberToken& token, char c) {
    token.exponent = token.exponent * 10 + (c - '0');
    if (token.exponent > exponentCap) token.exponent = exponentCap;
}

static void addWordLetter(NumberToken& token, char c) {
    if (token.wordLength == 8) {
        token.wordTooLong = true;
        return;
    }
    token.word[token.wordLength++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

void resetNumber(NumberToken& token) {
    token.state = NumberState::start;
    token.negative = false;
    token.pointSeen = false;
    token.signExponent = false;
    token.expNegative = false;
    token.logicalTrue = false;
    token.logicalAfterPoint = false;
    token.mantissaDigits = 0;
    token.digitCount = 0;
    token.sticky = false;
    token.pointExponent = 0;
    token.exponent = 0;
    token.wordLength = 0;
    token.wordTooLong = false;
}

// The stages of a token, each a function of the states it covers. First the
// token's start: a sign, a leading point, the letter of a logical form, or
// the first digit or word letter.
static void feedStart(NumberToken& token, char c) {
    if (token.state == NumberState::start) {
        if (c == '+' || c == '-') {
            token.negative = c == '-';
            token.state = NumberState::afterSign;
        } else if (c == '.') {
            token.state = NumberState::pointStart;
        } else if (isLogicalLetter(c)) {
            token.logicalTrue = c == 'T' || c == 't';
            token.state = NumberState::logical;
        } else if (isDecimalDigit(c) || isWordLetter(c)) {
            token.state = NumberState::afterSign;
            feedStart(token, c);
        } else {
            token.state = NumberState::invalid;
        }
    } else if (token.state == NumberState::afterSign) {
        if (isDecimalDigit(c)) {
            token.state = NumberState::mantissa;
            addMantissaDigit(token, c);
        } else if (c == '.') {
            token.pointSeen = true;
            token.state = NumberState::mantissa;
        } else if (isWordLetter(c)) {
            token.state = NumberState::word;
            addWordLetter(token, c);
        } else {
            token.state = NumberState::invalid;  // a second sign, or no number at all
        }
    } else {  // pointStart: a point first, then a digit or a logical letter
        if (isLogicalLetter(c)) {
            token.logicalTrue = c == 'T' || c == 't';
            token.logicalAfterPoint = true;
            token.state = NumberState::logical;
        } else if (isDecimalDigit(c)) {
            token.pointSeen = true;
            token.state = NumberState::mantissa;
            addMantissaDigit(token, c);
        } else {
            token.state = NumberState::invalid;
        }
    }
}

// The mantissa: digits and at most one point, until an exponent begins with
// a letter or a bare sign.
static void feedMantissa(NumberToken& token, char c) {
    if (isDecimalDigit(c)) {
        addMantissaDigit(token, c);
    } else if (c == '.' && !token.pointSeen) {
        token.pointSeen = true;
    } else if (token.mantissaDigits > 0 && isExponentLetter(c)) {
        token.state = NumberState::expLetter;
    } else if (token.mantissaDigits > 0 && (c == '+' || c == '-')) {
        token.signExponent = true;
        token.expNegative = c == '-';
        token.state = NumberState::expSign;
    } else {
        token.state = NumberState::invalid;
    }
}

// The exponent: after its letter an optional sign, then digits.
static void feedExponent(NumberToken& token, char c) {
    if (token.state == NumberState::expLetter && (c == '+' || c == '-')) {
        token.expNegative = c == '-';
        token.state = NumberState::expSign;
    } else if (isDecimalDigit(c)) {
        token.state = NumberState::expDigits;
        addExponentDigit(token, c);
    } else {
        token.state = NumberState::invalid;
    }
}

// A word, INF, INFINITY or NAN, and the parenthesised suffix of NAN(...).
static void feedWord(NumberToken& token, char c) {
    if (token.state == NumberState::word) {
        if (c == '(' && !token.wordTooLong && token.wordLength == 3 && std::memcmp(token.word, "NAN", 3) == 0) {
            token.state = NumberState::wordSuffix;
        } else {
            addWordLetter(token, c);  // any other character makes it an unknown word
        }
    } else if (token.state == NumberState::wordSuffix) {
        if (c == ')') token.state = NumberState::wordClosed;
    } else {                       // wordClosed
        token.wordTooLong = true;  // nothing may follow NAN(...)
    }
}

void feedNumber(NumberToken& token, char c) {
    switch (token.state) {
    case NumberState::start:
    case NumberState::afterSign:
    case NumberState::pointStart:
        return feedStart(token, c);
    case NumberState::mantissa:
        return feedMantissa(token, c);
    case NumberState::expLetter:
    case NumberState::expSign:
    case NumberState::expDigits:
        return feedExponent(token, c);
    case NumberState::word:
    case NumberState::wordSuffix:
    case NumberState::wordClosed:
        return feedWord(token, c);
    case NumberState::logical:  // whatever follows a logical form is taken with it
    case NumberState::invalid:
        return;
    }
}

bool digitsToDouble(const char* digits, std::size_t count, std::int64_t exponent, double& value) {
    // The digits, then e and the exponent of the last digit: the form
    // std::from_chars accepts. 20 characters hold "e" and any exponent.
    char text[digitsToDoubleLimit + 20];
    assert(count <= digitsToDoubleLimit);
    std::memcpy(text, digits, count);
    if (exponent > exponentCap) exponent = exponentCap;  // beyond any double either way
    if (exponent < -exponentCap) exponent = -exponentCap;
    text[count] = 'e';
    char* end = std::to_chars(text + count + 1, text + sizeof text, exponent).ptr;
    double converted = 0.0;
    if (std::from_chars(text, end, converted).ec == std::errc::result_out_of_range) return false;
    value = converted;
    return true;
}

double decimalToDouble(const char* digits, int count, bool sticky, std::int64_t exponent10, bool negative) {
    // d1..dn with a trailing 1 for the sticky nonzero tail: the same double,
    // as no tie can lie between the kept digits and the tail.
    char text[keptDigits + 1];
    std::memcpy(text, digits, static_cast<std::size_t>(count));
    std::size_t length = static_cast<std::size_t>(count);
    if (sticky) text[length++] = '1';
    double value = 0.0;
    if (!digitsToDouble(text, length, exponent10 - static_cast<std::int64_t>(length), value)) {
        // beyond the range: overflow to infinity or underflow to zero, as IEEE rounding gives
        value = exponent10 > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

// Checks the final state of a numeric token. Returns 0, 59 or 64.
static int tokenError(const NumberToken& token) {
    switch (token.state) {
    case NumberState::mantissa:
        return token.mantissaDigits > 0 ? 0 : errSyntax;
    case NumberState::expDigits:
    case NumberState::logical:
        return 0;
    case NumberState::expLetter:
        return errConversion;  // an exponent letter without digits (1.5E)
    case NumberState::expSign:
        return token.signExponent ? errSyntax : errConversion;  // 5- against 2D+
    case NumberState::word:
    case NumberState::wordSuffix:
    case NumberState::wordClosed:
        return 0;  // the word itself is checked by the conversion
    case NumberState::start:
    case NumberState::afterSign:
    case NumberState::pointStart:
    case NumberState::invalid:
        return errSyntax;
    }
    return errSyntax;
}

static bool wordIs(const NumberToken& token, const char* word) {
    return !token.wordTooLong && static_cast<std::size_t>(token.wordLength) == std::strlen(word) &&
           std::memcmp(token.word, word, static_cast<std::size_t>(token.wordLength)) == 0;
}

int convertReal(const NumberToken& token, bool thresholdText, double& value) {
    if (int error = tokenError(token)) return error;
    switch (token.state) {
    case NumberState::word:
    case NumberState::wordSuffix:
    case NumberState::wordClosed: {
        bool closedNan = token.state == NumberState::wordClosed && !token.wordTooLong;
        if (token.state == NumberState::word && (wordIs(token, "INF") || wordIs(token, "INFINITY"))) {
            value = token.negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
            return 0;
        }
        if ((token.state == NumberState::word && wordIs(token, "NAN")) || closedNan) {
            value = std::copysign(std::numeric_limits<double>::quiet_NaN(), token.negative ? -1.0 : 1.0);
            return 0;
        }
        return errConversion;
    }
    case NumberState::logical:
        if (!thresholdText) return errConversion;
        if (!token.logicalAfterPoint) return errSyntax;  // T or F in the threshold is no number
        value = token.logicalTrue ? -1.0 : 0.0;
        return 0;
    case NumberState::mantissa:
    case NumberState::expDigits:
        break;  // a number: converted below
    case NumberState::start:
    case NumberState::afterSign:
    case NumberState::pointStart:
    case NumberState::expLetter:
    case NumberState::expSign:
    case NumberState::invalid:
        return errSyntax;  // refused by tokenError already
    }
    if (token.digitCount == 0) {
        value = token.negative ? -0.0 : 0.0;
        return 0;
    }
    std::int64_t exponent = token.expNegative ? -token.exponent : token.exponent;
    value =
        decimalToDouble(token.digits, token.digitCount, token.sticky, token.pointExponent + exponent, token.negative);
    return 0;
}

int convertInteger(const NumberToken& token, bool thresholdText, std::int32_t& value) {
    if (int error = tokenError(token)) return error;
    bool plainInteger = token.state == NumberState::mantissa && !token.pointSeen;
    if (token.state == NumberState::word || token.state == NumberState::wordSuffix ||
        token.state == NumberState::wordClosed || (token.signExponent && !token.pointSeen)) {
        return errConversion;  // no integer, nor a number with a point or exponent letter
    }
    if (!plainInteger) {
        double real = 0.0;
        if (int error = convertReal(token, thresholdText, real)) return error;
        // truncation toward zero; a NaN or a value outside the range gives the smallest int32
        if (!(real > -2147483649.0 && real < 2147483648.0)) {
            value = std::numeric_limits<std::int32_t>::min();
        } else {
            value = static_cast<std::int32_t>(real);
        }
        return 0;
    }
    if (token.pointExponent > 10) return errConversion;
    std::uint64_t magnitude = 0;
    for (int i = 0; i < token.digitCount; ++i)
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(token.digits[i] - '0');
    std::uint64_t limit = token.negative ? 2147483648u : 2147483647u;
    if (magnitude > limit) return errConversion;
    value = token.negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                           : static_cast<std::int32_t>(magnitude);
    return 0;
}
