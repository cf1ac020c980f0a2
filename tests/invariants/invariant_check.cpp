// invariant_check: two properties checked on random data.
//
// 1. Reading. For random valid rows (two numbers in every form the free-form
//    read takes: plain, with an exponent letter E, D or Q of either case,
//    with a sign-only exponent, with a leading sign, with blanks, tabs or a
//    comma between them, LF or CR LF line ends, a comment after them), the
//    doubles that the series reader's row read gives (the common-row read,
//    then the general read) and those of the general free-form read alone are
//    bit for bit std::from_chars of the same token after the exponent is
//    normalised (D and Q become E, a sign-only exponent gets an E, a leading
//    plus is dropped).
// 2. Rendering. For random doubles, the E12.4 and F10.3 fields hold the
//    value rounded to the field's digits, worked out here from the exact
//    decimal expansion of the double (ties to even), and the free-form read
//    of the field gives back std::from_chars of those digits: at most half a
//    unit of the field's last digit away from the double, plus the rounding
//    of that decimal to a double.
//
//   invariant_check [ROWS [DOUBLES [SEED]]]   (defaults 200000, 200000, 1)
//
// Prints a summary; exit status 1 at the first differences (up to 10 shown).
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "report/report.h"
#include "rows/rows.h"
#include "textio/free_form.h"

namespace {

int failures = 0;

void report(const std::string& what) {
    if (++failures <= 10) std::printf("DIFFERENT: %s\n", what.c_str());
}

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

std::string hex(double v) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::hex);
    return std::string(text, result.ptr);
}

// ------------------------------------------------------------ 1. reading

struct Token {
    std::string text;        // as written in the row
    std::string normalised;  // the form std::from_chars takes
    double value = 0.0;
};

std::string digits(std::mt19937_64& random, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('0' + random() % 10);
    return s;
}

// A random valid number token whose value std::from_chars can give (not
// beyond the double range).
Token randomToken(std::mt19937_64& random) {
    for (;;) {
        Token token;
        static const char* const signs[] = {"", "+", "-"};
        std::string sign = signs[random() % 3];
        int whole = static_cast<int>(random() % 12);
        int fraction = static_cast<int>(random() % 12);
        if (random() % 8 == 0) whole += 15;  // more digits than a double holds
        if (whole + fraction == 0) whole = 1;
        std::string mantissa = digits(random, whole);
        if (fraction > 0 || random() % 4 == 0) mantissa += "." + digits(random, fraction);
        std::string written = sign + mantissa;
        std::string normal = (sign == "-" ? "-" : "") + mantissa;
        std::string exponent = digits(random, 1 + static_cast<int>(random() % 3));
        std::string expSign = signs[random() % 3];
        switch (random() % 4) {
            case 0:  // none
                break;
            case 1:  // a letter
                written += "EeDdQq"[random() % 6] + expSign + exponent;
                normal += "e" + expSign + exponent;
                break;
            case 2:  // a sign alone
                if (expSign.empty()) expSign = "-";
                written += expSign + exponent;
                normal += "e" + expSign + exponent;
                break;
            default:  // a short exponent, to stay near the common values
                written += "E" + expSign + exponent.substr(0, 1);
                normal += "e" + expSign + exponent.substr(0, 1);
                break;
        }
        auto result = std::from_chars(normal.data(), normal.data() + normal.size(), token.value);
        if (result.ec != std::errc{} || result.ptr != normal.data() + normal.size()) continue;
        token.text = written;
        token.normalised = normal;
        return token;
    }
}

// A row line holding `first` and `second`, with random separators and ends.
std::string randomRow(std::mt19937_64& random, const Token& first, const Token& second) {
    static const char* const leads[] = {"", "", " ", "   ", "\t"};
    static const char* const separators[] = {" ", "   ", "\t", ",", " , ", "\t,\t", ", ", " \t"};
    static const char* const tails[] = {"", "", "", " ", " 3.0", ", 7", " # comment", "\t/ rest", ","};
    std::string line = leads[random() % 5] + first.text + separators[random() % 8] + second.text + tails[random() % 9];
    line += random() % 4 == 0 ? "\r\n" : "\n";
    return line;
}

struct Rows {
    std::vector<Token> first, second;
    std::string text;
};

// Writes `content` to `path` through the platform layer, replacing the file.
bool writeWholeFile(const std::string& path, const std::string& content) {
    std::filesystem::remove(path);
    OpenResult out = openFileByName(path.c_str(), FileUse::writing);
    if (out.error != 0) return false;
    bool ok = writeFileBytes(out.file, content.data(), content.size()) == 0;
    closeFileHandle(out.file);
    return ok;
}

// The rows of the file at `path` read as the series reader reads them
// (`viaCommonRows`) or through the general read alone. Returns the doubles
// of `count` rows, or fewer when a read failed (`plain` counts the rows the
// common-row read took).
std::vector<double> readRows(const std::string& path, std::size_t count, bool viaCommonRows, std::size_t& plain) {
    std::vector<double> values(2 * count, -1.0);
    OpenResult in = openFileByName(path.c_str(), FileUse::reading);
    if (in.error != 0) return {};
    RecordSource source = fileSource(in.file, seriesUnit, path.c_str());
    // Blocks smaller than the file, so that rows are parsed ahead too.
    RowReader reader = startRowReader(source, 1 << 16);
    std::vector<double> time(count), rate(count);
    std::size_t n = 0;
    plain = 0;
    while (n < count) {
        if (viaCommonRows) {
            RowSpan span = readPlainRows(reader, source, static_cast<std::int64_t>(count - n));
            auto got = static_cast<std::size_t>(span.count);
            std::copy(span.time, span.time + got, time.begin() + static_cast<std::ptrdiff_t>(n));
            std::copy(span.rate, span.rate + got, rate.begin() + static_cast<std::ptrdiff_t>(n));
            plain += got;
            n += got;
            if (got > 0) continue;  // only an empty run leaves a row to the general read
        }
        time[n] = rate[n] = 0.0;
        const ReadItem row[] = {realItem(time[n]), realItem(rate[n])};
        if (readFreeForm(source, row, true, true) != readComplete) break;
        ++n;
    }
    reader.reset();
    closeFileHandle(source.file);
    values.resize(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        values[2 * i] = time[i];
        values[2 * i + 1] = rate[i];
    }
    return values;
}

void checkReading(std::mt19937_64& random, std::size_t rowCount, const std::string& path) {
    constexpr std::size_t batch = 20000;
    std::size_t plainTotal = 0;
    for (std::size_t done = 0; done < rowCount;) {
        std::size_t count = std::min(batch, rowCount - done);
        Rows rows;
        for (std::size_t i = 0; i < count; ++i) {
            rows.first.push_back(randomToken(random));
            rows.second.push_back(randomToken(random));
            rows.text += randomRow(random, rows.first.back(), rows.second.back());
        }
        if (!writeWholeFile(path, rows.text)) {
            report("cannot write " + path);
            return;
        }
        for (bool viaCommonRows : {true, false}) {
            std::size_t plain = 0;
            std::vector<double> values = readRows(path, count, viaCommonRows, plain);
            plainTotal += plain;
            const char* way = viaCommonRows ? "reader" : "general read";
            if (values.size() != 2 * count) {
                std::size_t row = values.size() / 2;
                report(std::string(way) + ": row read failed: " + rows.first[row].text + " " + rows.second[row].text);
                continue;
            }
            for (std::size_t i = 0; i < 2 * count; ++i) {
                const Token& token = i % 2 == 0 ? rows.first[i / 2] : rows.second[i / 2];
                if (sameBits(values[i], token.value)) continue;
                report(std::string(way) + ": token " + token.text + " (as " + token.normalised + ") read as " +
                       hex(values[i]) + ", from_chars gives " + hex(token.value));
            }
        }
        done += count;
    }
    std::printf("reading: %zu random rows read both ways, %zu of them by the common-row read\n", rowCount, plainTotal);
}

// ---------------------------------------------------------- 2. rendering

// The exact decimal expansion of a finite nonzero |v|: its digits (the first
// nonzero) and the exponent e of the first one, value = 0.d1d2... x 10^e.
struct Expansion {
    std::string digits;
    int exponent = 0;
};

Expansion expand(double v) {
    // 800 significant digits hold every double exactly (at most 767 are not zero).
    char text[850];
    auto result = std::to_chars(text, text + sizeof text, std::fabs(v), std::chars_format::scientific, 800);
    std::string s(text, result.ptr);
    std::size_t e = s.find('e');
    Expansion x;
    x.digits = s.substr(0, 1) + s.substr(2, e - 2);
    x.exponent = std::stoi(s.substr(e + 1)) + 1;
    return x;
}

// Rounds the digit string `d` to its first `keep` digits, ties to even.
// Returns true when the rounding carried out of the first digit (all nines).
bool roundDigits(std::string& d, std::size_t keep) {
    bool up = false;
    if (d.size() > keep) {
        char next = d[keep];
        bool restZero = d.find_first_not_of('0', keep + 1) == std::string::npos;
        up = next > '5' || (next == '5' && (!restZero || (keep > 0 && (d[keep - 1] - '0') % 2 == 1)));
    }
    d.resize(keep, '0');
    for (std::size_t i = keep; up && i > 0; --i) {
        if (d[i - 1] == '9') {
            d[i - 1] = '0';
        } else {
            ++d[i - 1];
            up = false;
        }
    }
    return up;
}

std::string rightAligned(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string nonFinite(double v) {
    if (std::isnan(v)) return "NaN";
    return v > 0 ? "Infinity" : "-Infinity";
}

// The E12.4 field of `v` worked out from its exact decimal expansion.
std::string expectedE124(double v, std::string& decimal) {
    if (!std::isfinite(v)) return rightAligned(nonFinite(v), 12);
    if (v == 0.0) {
        decimal = "0";
        return rightAligned("0.0000E+00", 12);
    }
    Expansion x = expand(v);
    if (roundDigits(x.digits, 4)) {
        x.digits = "1000";
        ++x.exponent;
    }
    std::string sign = v < 0 ? "-" : "";
    int magnitude = std::abs(x.exponent);
    std::string exponent = std::to_string(magnitude);
    exponent = std::string(magnitude > 99 ? 3 - exponent.size() : 2 - exponent.size(), '0') + exponent;
    std::string expSign = x.exponent < 0 ? "-" : "+";
    decimal = sign + "0." + x.digits + "e" + expSign + exponent;
    return rightAligned(sign + "0." + x.digits + (magnitude <= 99 ? "E" : "") + expSign + exponent, 12);
}

// The F10.3 field of `v` worked out from its exact decimal expansion;
// ten asterisks when the rounded text needs more than ten characters.
std::string expectedF103(double v, std::string& decimal) {
    if (!std::isfinite(v)) return rightAligned(nonFinite(v), 10);
    std::string sign = v < 0 ? "-" : "";  // a negative zero compares equal to 0
    // Fixed-point digits with 1100 decimals are exact for every double.
    std::vector<char> text(1500);
    auto result = std::to_chars(text.data(), text.data() + text.size(), std::fabs(v), std::chars_format::fixed, 1100);
    std::string s(text.data(), result.ptr);
    std::size_t point = s.find('.');
    std::string all = s.substr(0, point) + s.substr(point + 1);
    std::size_t keep = point + 3;
    if (roundDigits(all, keep)) all = "1" + all;
    std::string whole = all.substr(0, all.size() - 3);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    std::string field = sign + whole + "." + all.substr(all.size() - 3);
    decimal = field;
    if (field.size() > 10) return std::string(10, '*');
    return rightAligned(field, 10);
}

// The double that the free-form read takes from a field's text.
bool readField(const char* field, std::size_t width, double& value) {
    RecordSource source = fixedTextSource(field, width);
    const ReadItem item[] = {realItem(value)};
    return readFreeForm(source, item, true, true) == readComplete;
}

// std::from_chars of a decimal text; beyond the double range, the infinity
// that the free-form read gives there.
double decimalValue(const std::string& decimal) {
    double value = 0.0;
    auto result = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = decimal[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return value;
}

bool sameValue(double a, double b) { return std::isnan(a) ? std::isnan(b) : sameBits(a, b); }

// Checks both fields of `v`; counts how many F10.3 fields overflowed.
void checkRendering(double v, std::size_t& overflowed) {
    char e[e124Width];
    renderE124(e, v);
    std::string decimal;
    std::string want = expectedE124(v, decimal);
    std::string got(e, e124Width);
    double back = 0.0;
    if (got != want) {
        report("E12.4 of " + hex(v) + " is '" + got + "', expected '" + want + "'");
    } else if (!readField(e, e124Width, back)) {
        report("E12.4 field '" + got + "' does not read back");
    } else if (!sameValue(back, std::isfinite(v) ? decimalValue(decimal) : v)) {
        report("E12.4 field '" + got + "' reads back as " + hex(back));
    } else if (std::isfinite(v) && v != 0 && std::isfinite(back)) {
        // half a unit of the fourth digit, and the rounding of that decimal to a double
        double unit = std::pow(10.0, expand(v).exponent - 4);
        if (std::isnormal(unit) && std::fabs(back - v) > 0.5 * unit * (1 + 1e-12) + std::fabs(back) * 0x1p-52)
            report("E12.4 field '" + got + "' is farther than half a unit from " + hex(v));
    }

    char f[f103Width];
    bool fits = renderF103(f, v);
    want = expectedF103(v, decimal);
    got.assign(f, f103Width);
    if (got != want || fits != (want[0] != '*')) {
        report("F10.3 of " + hex(v) + " is '" + got + "', expected '" + want + "'");
    } else if (!fits) {
        ++overflowed;
    } else if (!readField(f, f103Width, back)) {
        report("F10.3 field '" + got + "' does not read back");
    } else if (!sameValue(back, std::isfinite(v) ? decimalValue(decimal) : v)) {
        report("F10.3 field '" + got + "' reads back as " + hex(back));
    } else if (std::isfinite(v) && std::fabs(back - v) > 0.0005 * (1 + 1e-12) + std::fabs(back) * 0x1p-52) {
        report("F10.3 field '" + got + "' is farther than half a unit from " + hex(v));
    }
}

// A random double: any bit pattern, a decimal magnitude, a value near the
// fields' rounding points and limits, or an exact binary fraction (ties).
double randomDouble(std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(1.0, 10.0);
    double sign = random() % 2 ? -1.0 : 1.0;
    switch (random() % 5) {
        case 0:
            return std::bit_cast<double>(random());
        case 1:
            return sign * unit(random) * std::pow(10.0, static_cast<int>(random() % 640) - 325);
        case 2:
            return sign * unit(random) * std::pow(10.0, static_cast<int>(random() % 14) - 6);
        case 3: {
            // next to a rounding point: d.ddd5 x 10^k for E12.4, n.nnn5 for F10.3
            double tie = random() % 2 ? (static_cast<double>(random() % 9000 + 1000) + 0.5) * std::pow(10.0, static_cast<int>(random() % 40) - 20)
                                      : (static_cast<double>(random() % 1000000000) + 0.5) / 1000.0;
            int step = static_cast<int>(random() % 3) - 1;
            return sign * (step == 0 ? tie : std::nextafter(tie, step * 1e300));
        }
        default:
            // k / 2^m: exact doubles, many of them ties at three decimals
            return sign * static_cast<double>(random() % 2000000) / static_cast<double>(1u << (4 + random() % 8));
    }
}

void checkAllRendering(std::mt19937_64& random, std::size_t count) {
    const double fixed[] = {0.0, -0.0, 0.0625, 0.1875, 2.0625, 2.1875, 3600.0, -7200.0, 999999.9995, 999999.999,
                            -99999.9995, -99999.999, 1e7, -0.0001, 0.0005, -0.0005, 0x1p-1074, -0x1p-1074,
                            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::min(), 9.99995e99, 9.99995e-100, 1e100, 1e-100,
                            std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    std::size_t overflowed = 0;
    for (double v : fixed) checkRendering(v, overflowed);
    for (std::size_t i = 0; i < count; ++i) {
        double v = randomDouble(random);
        if (std::isnan(v)) v = std::numeric_limits<double>::quiet_NaN();
        checkRendering(v, overflowed);
    }
    std::printf("rendering: %zu doubles through E12.4 and F10.3 and back (%zu F10.3 fields overflowed)\n",
                count + std::size(fixed), overflowed);
}

std::size_t argument(int argc, char** argv, int index, std::size_t fallback) {
    if (argc <= index) return fallback;
    std::size_t value = fallback;
    std::from_chars(argv[index], argv[index] + std::strlen(argv[index]), value);
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t rows = argument(argc, argv, 1, 200000);
    std::size_t doubles = argument(argc, argv, 2, 200000);
    std::mt19937_64 random(argument(argc, argv, 3, 1));
    std::string path = (std::filesystem::temp_directory_path() / "invariant_check_rows").string();
    path += std::to_string(std::random_device{}());
    checkReading(random, rows, path);
    std::filesystem::remove(path);
    checkAllRendering(random, doubles);
    if (failures > 0) {
        std::printf("invariant_check: %d differences\n", failures);
        return 1;
    }
    std::printf("invariant_check: no differences\n");
    return 0;
}
