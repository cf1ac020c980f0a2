// The free-form read: values taken in order out of line-oriented text, with
// blanks, tabs, commas and line ends between them, null values, the slash,
// repeat counts and quoted texts; and the two other reads of records, a
// record whole as text and the skip to the next text.
#include "textio/free_form.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "numbers/number_token.h"
#include "numbers/plain_number.h"
#include "stops/stops.h"
#include "textio/text_fields.h"

namespace {

// The next byte, not consumed, or -1 when the source has no more.
int peekByte(RecordSource& source) {
    if (source.pos == source.end && !refillSource(source)) return -1;
    return static_cast<unsigned char>(*source.pos);
}

// The byte after the next one, not consumed, or -1.
int peekSecondByte(RecordSource& source) {
    if (source.end - source.pos < 2 && !refillSource(source)) return -1;
    if (source.end - source.pos < 2) return -1;
    return static_cast<unsigned char>(source.pos[1]);
}

// Consumes the next byte, which must be buffered, keeping track of record
// starts and line numbers.
void consumeByte(RecordSource& source) {
    bool lineEnd = *source.pos == '\n';
    source.atRecordStart = lineEnd;
    source.line += lineEnd;
    ++source.pos;
}

// Consumes the rest of the current record, its line end included, without
// holding it. Returns false only when the system refused a read.
bool skipRecord(RecordSource& source) {
    for (;;) {
        std::size_t unread = static_cast<std::size_t>(source.end - source.pos);
        if (const void* lf = std::memchr(source.pos, '\n', unread)) {
            source.pos = static_cast<char*>(const_cast<void*>(lf)) + 1;
            source.atRecordStart = true;
            ++source.line;
            return true;
        }
        source.pos = source.end;
        if (!refillSource(source)) {
            source.atRecordStart = true;
            return !source.failed;
        }
    }
}

// One value as scanned, before it is converted to its item (or items, under a
// repeat count): its characters as text, and its analysis as a number.
struct ValueToken {
    enum class Form { plain, quoted, pair } form = Form::plain;
    std::size_t length = 0;  // characters of the value, stored up to textValueLimit
    bool tooLong = false;
    double pairValue = 0.0;  // a pair's first number
    NumberToken number;
    char text[textValueLimit];
};

// The state of one read: where it stands in the source, whether the last
// thing it took was a value with no separator after it yet, and where it
// found its values.
struct Scanner {
    RecordSource& source;
    bool thresholdText;  // the source is the threshold's fixed text, whose logical forms are numbers
    bool afterValue = false;
    ReadLines lines;
};

void consumeByte(Scanner& scan) { consumeByte(scan.source); }

// True when the next bytes are a line end: LF, or a CR directly before LF.
bool atLineEnd(Scanner& scan, int c) { return c == '\n' || (c == '\r' && peekSecondByte(scan.source) == '\n'); }

bool endsToken(Scanner& scan, int c) {
    return c < 0 || c == ' ' || c == '\t' || c == ',' || c == '/' || atLineEnd(scan, c);
}

// Status of a read that met the end of its source: a refused read or the end.
int endStatus(const Scanner& scan) { return scan.source.failed ? errRead : readEnd; }


void storeChar(ValueToken& value, char c) {
    if (value.length < textValueLimit) {
        value.text[value.length] = c;
    } else {
        value.tooLong = true;
    }
    ++value.length;
}

// A quoted value from its opening delimiter on; a doubled delimiter stands for
// one, and a line end inside adds nothing. Returns 0, 59 or 39.
int scanQuoted(Scanner& scan, ValueToken& value) {
    value.form = ValueToken::Form::quoted;
    char delimiter = *scan.source.pos;
    consumeByte(scan);
    for (;;) {
        int c = peekByte(scan.source);
        if (c < 0) return scan.source.failed ? errRead : errSyntax;  // the source ends inside the quotes
        if (c == delimiter) {
            consumeByte(scan);
            if (peekByte(scan.source) != delimiter) return 0;
        } else if (c == '\r' && peekSecondByte(scan.source) == '\n') {
            consumeByte(scan);
            continue;
        }
        if (peekByte(scan.source) < 0) return scan.source.failed ? errRead : errSyntax;
        c = *scan.source.pos;
        consumeByte(scan);
        if (c == '\n') continue;
        storeChar(value, static_cast<char>(c));
        if (value.tooLong) return errSyntax;
    }
}

// An unquoted token up to its end. With `numeric`, a closing parenthesis ends
// it too. With `repeatAllowed`, digits followed by an asterisk end it as a
// repeat count: then `repeat` is set and the asterisk consumed.
int scanPlain(Scanner& scan, ValueToken& value, bool numeric, bool repeatAllowed, bool& repeat) {
    value.form = ValueToken::Form::plain;
    bool onlyDigits = true;
    repeat = false;
    for (;;) {
        int c = peekByte(scan.source);
        if (endsToken(scan, c)) break;
        if (numeric && c == ')' && !numberTakesParen(value.number)) break;
        if (c == '*' && repeatAllowed && onlyDigits && value.length > 0) {
            consumeByte(scan);
            repeat = true;
            return 0;
        }
        onlyDigits = onlyDigits && c >= '0' && c <= '9';
        consumeByte(scan);
        feedNumber(value.number, static_cast<char>(c));
        storeChar(value, static_cast<char>(c));
        if (value.tooLong && !numeric) return errSyntax;  // text values end long before
    }
    return scan.source.failed ? errRead : 0;
}

// Skips blanks and line ends inside a parenthesised pair; false at the end.
bool skipInPair(Scanner& scan) { return skipToText(scan.source) >= 0; }

// One number of a parenthesised pair into `value`'s analysis. Returns its
// conversion status, or 59 when there is no number at all.
int scanPairNumber(Scanner& scan, ValueToken& part, double& number) {
    bool repeat = false;
    resetNumber(part.number);
    part.length = 0;
    if (int error = scanPlain(scan, part, true, false, repeat)) return error;
    if (part.length == 0) return errSyntax;
    return convertReal(part.number, scan.thresholdText, number);
}

// A parenthesised pair (a, b) for a double item, from its opening parenthesis
// on: gives a; b is checked and dropped.
int scanPair(Scanner& scan, ValueToken& value) {
    value.form = ValueToken::Form::pair;
    consumeByte(scan);
    ValueToken part;
    double dropped = 0.0;
    if (!skipInPair(scan)) return endStatus(scan) == errRead ? errRead : errSyntax;
    if (int error = scanPairNumber(scan, part, value.pairValue)) return error;
    if (!skipInPair(scan) || peekByte(scan.source) != ',') return errSyntax;
    consumeByte(scan);
    if (!skipInPair(scan)) return errSyntax;
    if (int error = scanPairNumber(scan, part, dropped)) return error;
    if (!skipInPair(scan) || peekByte(scan.source) != ')') return errSyntax;
    consumeByte(scan);
    return 0;
}

// Converts a scanned value into `item`. Returns 0 or the error number.
int assignValue(const Scanner& scan, const ValueToken& value, const ReadItem& item) {
    switch (item.kind) {
    case ItemKind::text:
        if (value.form == ValueToken::Form::pair || value.tooLong) return errSyntax;
        setField(item.text, item.length, value.text, value.length);
        return 0;
    case ItemKind::real:
        switch (value.form) {
        case ValueToken::Form::quoted:
            return errConversion;
        case ValueToken::Form::pair:
            *item.real = value.pairValue;
            return 0;
        case ValueToken::Form::plain:
            return convertReal(value.number, scan.thresholdText, *item.real);
        }
        return errSyntax;
    case ItemKind::integer:
        switch (value.form) {
        case ValueToken::Form::quoted:
            return errConversion;
        case ValueToken::Form::pair:
            return errSyntax;
        case ValueToken::Form::plain:
            return convertInteger(value.number, scan.thresholdText, *item.integer);
        }
        return errSyntax;
    }
    return errSyntax;
}

// The repeat count of a token of digits, saturated. Zero counts are refused.
std::size_t repeatCount(const ValueToken& value) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < value.length && i < textValueLimit; ++i) {
        count = count * 10 + static_cast<std::size_t>(value.text[i] - '0');
        if (count > 1000000) count = 1000000;  // more than any read has items
    }
    return count;
}

// Scans the value at the current byte in the form that its first character
// gives: quoted, a parenthesised pair (double items only) or plain. With
// `repeatAllowed`, digits followed by an asterisk end it as a repeat count,
// which sets `repeat`. Returns 0 or the error number.
int scanForm(Scanner& scan, ValueToken& value, const ReadItem& item, bool repeatAllowed, bool& repeat) {
    bool numeric = item.kind != ItemKind::text;
    repeat = false;
    int c = peekByte(scan.source);
    if (c == '"' || c == '\'') return numeric ? errConversion : scanQuoted(scan, value);  // no text for a number
    if (c == '(' && item.kind == ItemKind::real) return scanPair(scan, value);
    return scanPlain(scan, value, numeric, repeatAllowed, repeat);
}

// Scans one value at the current byte (not a comma or slash) and assigns it to
// items[next] and, under a repeat count, to the items after it. Advances `next`.
int scanValue(Scanner& scan, std::span<const ReadItem> items, std::size_t& next, ValueToken& value) {
    std::size_t copies = 1;
    bool repeat = false;
    int status = scanForm(scan, value, items[next], true, repeat);
    if (status == 0 && repeat) {
        copies = repeatCount(value);
        if (copies == 0) return errSyntax;
        value = ValueToken{};
        if (endsToken(scan, peekByte(scan.source))) {
            // r* alone stands for r null values
            std::size_t left = items.size() - next;
            next += copies < left ? copies : left;
            return scan.source.failed ? errRead : 0;
        }
        status = scanForm(scan, value, items[next], false, repeat);
    }
    if (status != 0) return status;
    for (; copies > 0 && next < items.size(); --copies, ++next) {
        if (int error = assignValue(scan, value, items[next])) return error;
    }
    return 0;
}

// A plain number for a double item, taken whole from the buffer when it ends
// there: nearly every value of a series, read without the general number
// grammar. False, consuming nothing, when the value has another form or may
// go on past the bytes buffered.
bool readPlainValue(Scanner& scan, const ReadItem& item) {
    RecordSource& source = scan.source;
    if (item.kind != ItemKind::real || scan.thresholdText) return false;  // the fixed text has no padding
    double value;
    const char* end = scanPlainNumber(source.pos, value);
    if (end == nullptr || end + 1 >= source.end) return false;
    char c = *end;
    bool endsToken =
        c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c == ')' || (c == '\r' && end[1] == '\n');
    if (!endsToken) return false;
    *item.real = value;
    source.pos = const_cast<char*>(end);
    source.atRecordStart = false;
    return true;
}

// The items of one read, from a fresh record on. Returns the read status.
int readItems(Scanner& scan, std::span<const ReadItem> items) {
    if (peekByte(scan.source) < 0) return endStatus(scan);  // no record left
    if (items.empty()) return skipRecord(scan.source) ? readComplete : errRead;
    ValueToken value;
    std::size_t next = 0;
    while (next < items.size()) {
        int c = skipToText(scan.source);
        if (c < 0) return endStatus(scan);
        if (next == 0) scan.lines.firstItem = scan.source.line;
        if (c == ',') {
            consumeByte(scan);
            if (scan.afterValue) {
                scan.afterValue = false;  // the separator of the value before
            } else {
                ++next;  // a null value: the item keeps its content
            }
            continue;
        }
        if (c == '/') return readComplete;  // the rest of the record is skipped
        scan.lines.lastValue = scan.source.line;
        if (readPlainValue(scan, items[next])) {
            ++next;
            scan.afterValue = true;
            continue;
        }
        value.length = 0;
        value.tooLong = false;
        resetNumber(value.number);
        if (int error = scanValue(scan, items, next, value)) return error;
        scan.afterValue = true;
    }
    return readComplete;
}

}  // namespace

int readFreeForm(RecordSource& source, std::span<const ReadItem> items, bool catchEnd, bool catchError,
                 ReadLines* lines) {
    if (!source.atRecordStart && !skipRecord(source)) source.failed = true;
    Scanner scan{source, source.kind == SourceKind::fixedText, false, {}};
    int status = readItems(scan, items);
    // A value that cannot be read belongs to the line it starts on; a refused
    // read to the line being read.
    if (status > 0) scan.lines.failure = status == errRead ? source.line : scan.lines.lastValue;
    // Whatever the outcome, the next read starts on the record after the last
    // one this read looked at, even if it stopped at that record's first
    // character (a slash, say); on standard input this also leaves the rest
    // of the line to no one else. A read with no items has consumed its record.
    if (status != readEnd && !items.empty() && !skipRecord(source) && status == readComplete) {
        status = errRead;
        scan.lines.failure = source.line;
    }
    if (lines != nullptr) *lines = scan.lines;
    if (status == readEnd && !catchEnd) raiseRunTimeError(errEndOfFile, source.unit, source.name);
    if (status > 0 && !catchError) raiseRunTimeError(status, source.unit, source.name);
    return status;
}

std::ptrdiff_t readRecordText(RecordSource& source, char* out, std::size_t capacity) {
    assert(source.atRecordStart);
    std::size_t length = 0;
    bool seen = false;  // a byte of the record, its line end included
    bool cut = false;
    for (;;) {
        if (source.pos == source.end && !refillSource(source)) {
            // a last line without a line end is a record all the same
            return seen && !source.failed ? static_cast<std::ptrdiff_t>(length) : -1;
        }
        seen = true;
        std::size_t unread = static_cast<std::size_t>(source.end - source.pos);
        const void* lf = std::memchr(source.pos, '\n', unread);
        std::size_t n = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - source.pos) : unread;
        std::size_t keep = std::min(n, capacity - length);
        std::memcpy(out + length, source.pos, keep);
        length += keep;
        cut = cut || keep < n;
        if (lf) {
            // a CR before the LF belongs to the line end
            if (!cut && length > 0 && out[length - 1] == '\r') --length;
            advanceSource(source, n + 1, 1);
            return static_cast<std::ptrdiff_t>(length);
        }
        source.pos = source.end;
        source.atRecordStart = false;
    }
}

int skipToText(RecordSource& source) {
    for (;;) {
        int c = peekByte(source);
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return c;
        consumeByte(source);
    }
}
