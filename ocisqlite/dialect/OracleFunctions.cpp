#include "OracleFunctions.h"

#include "DateFormat.h"
#include "Rowid.h"
#include "Translator.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace ocisqlite {

namespace {

bool isNull(sqlite3_value* v) {
    const int t = sqlite3_value_type(v);
    // '' is NULL in Oracle, also when a stored or computed value slipped through as an empty text.
    return t == SQLITE_NULL || (t == SQLITE_TEXT && sqlite3_value_bytes(v) == 0);
}

void resultText(sqlite3_context* ctx, const std::string& s) {
    if (s.empty())
        sqlite3_result_null(ctx);
    else
        sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void resultValue(sqlite3_context* ctx, sqlite3_value* v) {
    if (isNull(v))
        sqlite3_result_null(ctx);
    else
        sqlite3_result_value(ctx, v);
}

void resultError(sqlite3_context* ctx, const OraError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
}

// Oracle prints numbers without a leading zero before the decimal point (0.5 -> .5).
std::string numberText(double d) {
    char buf[64];
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(d));
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.15g", d);
    std::string s = buf;
    if (s.rfind("0.", 0) == 0)
        s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
        s.erase(1, 1);
    return s;
}

std::string valueText(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return numberText(sqlite3_value_double(v));
    default: {
        const auto* p = static_cast<const char*>(sqlite3_value_blob(v));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
    }
    }
}

// Text to number as Oracle converts it; ORA-01722 when it is not one.
double valueNumber(sqlite3_value* v) {
    const int t = sqlite3_value_type(v);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT)
        return sqlite3_value_double(v);
    const std::string s = valueText(v);
    const char* begin = s.c_str();
    char* end = nullptr;
    const double d = std::strtod(begin, &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    bool hasDigit = false;
    for (const char* p = begin; p < end; ++p)
        hasDigit = hasDigit || (*p >= '0' && *p <= '9');
    if (!hasDigit || end == begin || *end != '\0' || std::strpbrk(begin, "xXnN"))
        throw OraError(1722, "ORA-01722: invalid number");
    return d;
}

bool isNumeric(sqlite3_value* v) {
    const int t = sqlite3_value_type(v);
    return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

// ---- the functions

void fnDecode(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        if (argc < 3) {
            sqlite3_result_error(ctx, "ORA-00938: not enough arguments for function", -1);
            return;
        }
        sqlite3_value* subject = argv[0];
        // The first search value decides how DECODE compares: as numbers or as texts.
        const bool numeric = isNumeric(argv[1]);
        int i = 1;
        for (; i + 1 < argc; i += 2) {
            sqlite3_value* search = argv[i];
            bool match;
            if (isNull(subject) || isNull(search))
                match = isNull(subject) && isNull(search); // DECODE: NULL matches NULL
            else if (numeric)
                match = valueNumber(subject) == valueNumber(search);
            else
                match = valueText(subject) == valueText(search);
            if (match) {
                resultValue(ctx, argv[i + 1]);
                return;
            }
        }
        if (i < argc)
            resultValue(ctx, argv[i]); // the default
        else
            sqlite3_result_null(ctx);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnNvl(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultValue(ctx, isNull(argv[0]) ? argv[1] : argv[0]);
}

void fnConcat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string s;
    for (int i = 0; i < argc; ++i)
        s += valueText(argv[i]);
    resultText(ctx, s);
}

// Length in characters of UTF-8 text, and the byte offset of a character index.
std::size_t charCount(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::size_t byteOffset(const std::string& s, std::size_t chars) {
    std::size_t i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == 0)
                return i;
            --chars;
        }
    }
    return s.size();
}

void fnSubstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && isNull(argv[2]))) {
            sqlite3_result_null(ctx);
            return;
        }
        const std::string s = valueText(argv[0]);
        const auto len = static_cast<long long>(charCount(s));
        // Positions and lengths are truncated to whole numbers.
        long long start = static_cast<long long>(std::trunc(valueNumber(argv[1])));
        if (start == 0)
            start = 1;
        if (start < 0)
            start = len + start + 1;
        if (start < 1 || start > len) {
            sqlite3_result_null(ctx);
            return;
        }
        long long count = len - start + 1;
        if (argc > 2) {
            const double n = std::trunc(valueNumber(argv[2]));
            if (n < 1) {
                sqlite3_result_null(ctx);
                return;
            }
            if (n < static_cast<double>(count))
                count = static_cast<long long>(n);
        }
        const std::size_t b = byteOffset(s, static_cast<std::size_t>(start - 1));
        const std::size_t e = byteOffset(s, static_cast<std::size_t>(start - 1 + count));
        resultText(ctx, s.substr(b, e - b));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnToChar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        if (isNull(argv[0]) || (argc > 1 && isNull(argv[1]))) {
            sqlite3_result_null(ctx);
            return;
        }
        if (isNumeric(argv[0])) {
            if (argc > 1)
                throw OraError(1481, "ORA-01481: invalid number format model");
            resultText(ctx, valueText(argv[0]));
            return;
        }
        const std::string text = valueText(argv[0]);
        const auto date = fromStorage(text);
        if (!date) {
            // TO_CHAR of a character value is that value; with a format Oracle wants a number.
            if (argc > 1)
                throw OraError(1722, "ORA-01722: invalid number");
            resultText(ctx, text);
            return;
        }
        resultText(ctx, formatDate(*date, argc > 1 ? valueText(argv[1]) : std::string(kDefaultDateFormat)));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnToDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        if (isNull(argv[0]) || (argc > 1 && isNull(argv[1]))) {
            sqlite3_result_null(ctx);
            return;
        }
        const std::string text = valueText(argv[0]);
        if (argc == 1) {
            // A DATE value passed to TO_DATE stays itself.
            if (const auto d = fromStorage(text); d && text.size() == 19) {
                resultText(ctx, toStorage(*d));
                return;
            }
        }
        const OraDate d = parseDate(text, argc > 1 ? valueText(argv[1]) : std::string(kDefaultDateFormat));
        resultText(ctx, toStorage(d));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnToNumber(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        if (isNull(argv[0])) {
            sqlite3_result_null(ctx);
            return;
        }
        if (isNumeric(argv[0])) {
            sqlite3_result_value(ctx, argv[0]);
            return;
        }
        const double d = valueNumber(argv[0]);
        if (d == std::floor(d) && std::fabs(d) < 9.2e18)
            sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(d));
        else
            sqlite3_result_double(ctx, d);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnSysdate(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, toStorage(currentDate()));
}

void fnRowid(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto object = static_cast<std::uint32_t>(sqlite3_value_int64(argv[0]));
    char text[kRowidLength + 1];
    encodeRowid(object, sqlite3_value_int64(argv[1]), text);
    text[kRowidLength] = 0;
    // Handed over with its terminator (length -1): otherwise every read of the column as text makes
    // SQLite grow and copy the value once more to terminate it.
    sqlite3_result_text(ctx, text, -1, SQLITE_TRANSIENT);
}

void fnEmptyNull(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultValue(ctx, argv[0]);
}

// Case mapping of UTF-8 text for ASCII, Latin-1 letters and Cyrillic (SQLite's own is ASCII only).
std::string mapCase(const std::string& s, bool toUpper) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        unsigned cp;
        int len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else {
            out += s[i++]; // longer sequences have no case here
            continue;
        }
        unsigned m = cp;
        if (toUpper) {
            if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) ||
                (cp >= 0x430 && cp <= 0x44F))
                m = cp - 0x20;
            else if (cp >= 0x450 && cp <= 0x45F)
                m = cp - 0x50;
        } else {
            if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) ||
                (cp >= 0x410 && cp <= 0x42F))
                m = cp + 0x20;
            else if (cp >= 0x400 && cp <= 0x40F)
                m = cp + 0x50;
        }
        if (m < 0x80) {
            out += static_cast<char>(m);
        } else {
            out += static_cast<char>(0xC0 | (m >> 6));
            out += static_cast<char>(0x80 | (m & 0x3F));
        }
        i += static_cast<std::size_t>(len);
    }
    return out;
}

void fnUpper(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        sqlite3_result_null(ctx);
    else
        resultText(ctx, mapCase(valueText(argv[0]), true));
}

void fnLower(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        sqlite3_result_null(ctx);
    else
        resultText(ctx, mapCase(valueText(argv[0]), false));
}

// ---- numbers

void resultNumber(sqlite3_context* ctx, double d) {
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e15)
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(d));
    else
        sqlite3_result_double(ctx, d);
}

// v rounded (or cut) to scale decimal places as a decimal number: 1.005 rounds to 1.01 although the double
// holding it is a little less, because Oracle's NUMBER holds exactly 1.005. Halves round away from zero.
double roundDecimal(double v, int scale, bool cut) {
    if (!std::isfinite(v) || v == 0)
        return v;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v)); // d.dddddddddddddde+XX: 15 significant digits
    std::string digits(1, buf[0]);
    digits.append(buf + 2, 14);
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    const long keep = static_cast<long>(exponent) + 1 + scale;
    if (keep >= 15)
        return v;
    if (keep < 0)
        return 0;
    std::string kept = digits.substr(0, static_cast<std::size_t>(keep));
    if (!cut && digits[static_cast<std::size_t>(keep)] >= '5') {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9')
            kept[static_cast<std::size_t>(i--)] = '0';
        if (i < 0)
            kept.insert(kept.begin(), '1');
        else
            ++kept[static_cast<std::size_t>(i)];
    }
    if (kept.empty())
        return 0;
    const long shift = exponent + 1 - keep;
    const double r = std::strtod((kept + "e" + std::to_string(shift)).c_str(), nullptr);
    return v < 0 ? -r : r;
}

// A number argument: NULL stays NULL (false), text converts or raises ORA-01722.
bool numberArg(sqlite3_value* v, double& out) {
    if (isNull(v))
        return false;
    if (sqlite3_value_type(v) == SQLITE_BLOB)
        throw OraError(1722, "ORA-01722: invalid number");
    out = valueNumber(v);
    return true;
}

void fnNum(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        if (isNull(argv[0])) {
            sqlite3_result_null(ctx);
        } else if (isNumeric(argv[0])) {
            sqlite3_result_value(ctx, argv[0]);
        } else {
            double d = 0;
            numberArg(argv[0], d);
            resultNumber(ctx, d);
        }
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// a / b / c ...: exact division as Oracle's (7/2 is 3.5); a zero divisor is ORA-01476.
void fnDiv(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        std::vector<double> values(static_cast<std::size_t>(argc));
        bool null = false;
        for (int i = 0; i < argc; ++i)
            if (!numberArg(argv[i], values[static_cast<std::size_t>(i)]))
                null = true;
        if (null) {
            sqlite3_result_null(ctx);
            return;
        }
        for (int i = 1; i < argc; ++i)
            if (values[static_cast<std::size_t>(i)] == 0)
                throw OraError(1476, "ORA-01476: divisor is equal to zero");
        if (argc == 2 && sqlite3_value_type(argv[0]) == SQLITE_INTEGER &&
            sqlite3_value_type(argv[1]) == SQLITE_INTEGER) {
            const sqlite3_int64 a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
            if (b != -1 && a % b == 0) {
                sqlite3_result_int64(ctx, a / b);
                return;
            }
        }
        double r = values[0];
        for (int i = 1; i < argc; ++i)
            r /= values[static_cast<std::size_t>(i)];
        resultNumber(ctx, r);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// MOD(m, n): m - n * TRUNC(m / n), the sign of m; MOD(m, 0) is m.
void fnMod(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        double m = 0, n = 0;
        const bool hasM = numberArg(argv[0], m), hasN = numberArg(argv[1], n);
        if (!hasM || !hasN) {
            sqlite3_result_null(ctx);
            return;
        }
        if (n == 0) {
            resultNumber(ctx, m);
            return;
        }
        if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_INTEGER &&
            sqlite3_value_int64(argv[1]) != -1) {
            sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) % sqlite3_value_int64(argv[1]));
            return;
        }
        resultNumber(ctx, std::fmod(m, n));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void roundOrCut(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool cut) {
    double v = 0, places = 0;
    if (!numberArg(argv[0], v) || (argc > 1 && !numberArg(argv[1], places))) {
        sqlite3_result_null(ctx);
        return;
    }
    if (places > 1000)
        places = 1000;
    if (places < -1000)
        places = -1000;
    resultNumber(ctx, roundDecimal(v, static_cast<int>(std::trunc(places)), cut));
}

void fnRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        roundOrCut(ctx, argc, argv, false);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnTruncNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        roundOrCut(ctx, argc, argv, true);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// ocisqlite_store_number(value, scale): the value a NUMBER(p, scale) column holds (rounded to the scale).
void fnStoreNumber(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        double v = 0;
        if (!numberArg(argv[0], v)) {
            sqlite3_result_null(ctx);
            return;
        }
        const int scale = sqlite3_value_int(argv[1]);
        if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && scale >= 0) {
            sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
            return;
        }
        resultNumber(ctx, roundDecimal(v, scale, false));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// ocisqlite_pad(value, n): a CHAR(n) value, blank-padded to n characters.
void fnPad(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string s = valueText(argv[0]);
    const auto n = static_cast<std::size_t>(std::max(0, sqlite3_value_int(argv[1])));
    const std::size_t have = charCount(s);
    if (have < n)
        s.append(n - have, ' ');
    resultText(ctx, s);
}

void fnLengthb(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        sqlite3_result_null(ctx);
    else
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(valueText(argv[0]).size()));
}

// INSTR(s, sub [, position [, occurrence]]) in characters; a negative position searches backwards from
// that many characters before the end.
void fnInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        for (int i = 0; i < argc; ++i)
            if (isNull(argv[i])) {
                sqlite3_result_null(ctx);
                return;
            }
        const std::string s = valueText(argv[0]), sub = valueText(argv[1]);
        const auto position = static_cast<long long>(std::trunc(argc > 2 ? valueNumber(argv[2]) : 1));
        const auto occurrence = static_cast<long long>(std::trunc(argc > 3 ? valueNumber(argv[3]) : 1));
        if (occurrence <= 0)
            throw OraError(1428, "ORA-01428: argument '" + std::to_string(occurrence) + "' is out of range");
        if (position == 0) {
            sqlite3_result_int(ctx, 0);
            return;
        }
        // Character start offsets of s, so that positions count characters.
        std::vector<std::size_t> starts;
        for (std::size_t i = 0; i < s.size(); ++i)
            if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
                starts.push_back(i);
        const auto length = static_cast<long long>(starts.size());
        auto matchesAt = [&](long long index) {
            return s.compare(starts[static_cast<std::size_t>(index)], sub.size(), sub) == 0;
        };
        long long found = 0;
        if (position > 0) {
            for (long long i = position - 1; i < length; ++i)
                if (matchesAt(i) && ++found == occurrence) {
                    sqlite3_result_int64(ctx, i + 1);
                    return;
                }
        } else {
            for (long long i = length + position; i >= 0; --i)
                if (i < length && matchesAt(i) && ++found == occurrence) {
                    sqlite3_result_int64(ctx, i + 1);
                    return;
                }
        }
        sqlite3_result_int(ctx, 0);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// ---- dates

// A DATE argument: the stored text, or text in the session's date format.
bool dateArg(sqlite3_value* v, OraDate& out) {
    if (isNull(v))
        return false;
    if (isNumeric(v))
        throw OraError(932, "ORA-00932: inconsistent datatypes: expected DATE got NUMBER");
    const std::string text = valueText(v);
    if (const auto d = fromStorage(text); d && text.size() == 19) {
        out = *d;
        return true;
    }
    out = parseDate(text, kDefaultDateFormat);
    return true;
}

void resultDate(sqlite3_context* ctx, const OraDate& d) {
    resultText(ctx, toStorage(d));
}

void dateAdd(sqlite3_context* ctx, sqlite3_value** argv, double sign) {
    OraDate d;
    double days = 0;
    if (!dateArg(argv[0], d) || !numberArg(argv[1], days)) {
        sqlite3_result_null(ctx);
        return;
    }
    const double seconds = std::round(sign * days * 86400.0);
    if (std::fabs(seconds) > 4e11)
        throw OraError(1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    resultDate(ctx, fromSeconds(toSeconds(d) + static_cast<std::int64_t>(seconds)));
}

// date + days (fractions are parts of a day: 1/24 is an hour).
void fnDateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        dateAdd(ctx, argv, 1);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

void fnDateSub(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        dateAdd(ctx, argv, -1);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// date - date: the days between them, with the fraction of a day.
void fnDateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        OraDate a, b;
        if (!dateArg(argv[0], a) || !dateArg(argv[1], b)) {
            sqlite3_result_null(ctx);
            return;
        }
        const std::int64_t seconds = toSeconds(a) - toSeconds(b);
        if (seconds % 86400 == 0)
            sqlite3_result_int64(ctx, seconds / 86400);
        else
            sqlite3_result_double(ctx, static_cast<double>(seconds) / 86400.0);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// ADD_MONTHS: the same day n months on; the last day of a month (or a day the new month lacks) gives the
// last day of the new month.
void fnAddMonths(sqlite3_context* ctx, int, sqlite3_value** argv) {
    try {
        OraDate d;
        double n = 0;
        if (!dateArg(argv[0], d) || !numberArg(argv[1], n)) {
            sqlite3_result_null(ctx);
            return;
        }
        const bool lastDay = d.day == daysInMonth(d.year, d.month);
        const long long months =
            static_cast<long long>(d.year) * 12 + (d.month - 1) + static_cast<long long>(std::trunc(n));
        if (months < 12 || months >= 10000LL * 12)
            throw OraError(1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
        d.year = static_cast<int>(months / 12);
        d.month = static_cast<int>(months % 12) + 1;
        const int last = daysInMonth(d.year, d.month);
        if (lastDay || d.day > last)
            d.day = last;
        resultDate(ctx, d);
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// Day of the week, 0 = Sunday.
int weekday(const OraDate& d) {
    const std::int64_t days =
        toSeconds(OraDate{d.year, d.month, d.day, 0, 0, 0}) / 86400; // 0001-01-01 was a Monday
    return static_cast<int>((days + 1) % 7);
}

OraDate truncDate(OraDate d, const std::string& formatIn) {
    std::string f;
    for (char c : formatIn)
        f += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto dayStart = [](OraDate x) {
        x.hour = x.minute = x.second = 0;
        return x;
    };
    auto minusDays = [](const OraDate& x, int n) {
        return fromSeconds(toSeconds(x) - std::int64_t(n) * 86400);
    };
    if (f == "DD" || f == "DDD" || f == "J")
        return dayStart(d);
    if (f == "MM" || f == "MON" || f == "MONTH" || f == "RM")
        return OraDate{d.year, d.month, 1, 0, 0, 0};
    if (f == "YYYY" || f == "SYYYY" || f == "YEAR" || f == "SYEAR" || f == "YYY" || f == "YY" || f == "Y" ||
        f == "IYYY" || f == "IYY" || f == "IY" || f == "I")
        return OraDate{d.year, 1, 1, 0, 0, 0};
    if (f == "Q")
        return OraDate{d.year, (d.month - 1) / 3 * 3 + 1, 1, 0, 0, 0};
    if (f == "HH" || f == "HH12" || f == "HH24")
        return OraDate{d.year, d.month, d.day, d.hour, 0, 0};
    if (f == "MI")
        return OraDate{d.year, d.month, d.day, d.hour, d.minute, 0};
    if (f == "CC" || f == "SCC")
        return OraDate{(d.year - 1) / 100 * 100 + 1, 1, 1, 0, 0, 0};
    if (f == "D" || f == "DY" || f == "DAY") // the week starts on Sunday (territory AMERICA)
        return minusDays(dayStart(d), weekday(d));
    if (f == "IW") // ISO weeks start on Monday
        return minusDays(dayStart(d), (weekday(d) + 6) % 7);
    if (f == "WW") { // weeks counted from the first day of the year
        const OraDate first{d.year, 1, 1, 0, 0, 0};
        return minusDays(dayStart(d), (weekday(d) - weekday(first) + 7) % 7);
    }
    if (f == "W") { // weeks counted from the first day of the month
        const OraDate first{d.year, d.month, 1, 0, 0, 0};
        return minusDays(dayStart(d), (weekday(d) - weekday(first) + 7) % 7);
    }
    throw OraError(1821, "ORA-01821: date format not recognized");
}

void fnTruncDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        OraDate d;
        if (!dateArg(argv[0], d) || (argc > 1 && isNull(argv[1]))) {
            sqlite3_result_null(ctx);
            return;
        }
        resultDate(ctx, truncDate(d, argc > 1 ? valueText(argv[1]) : std::string("DD")));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

// TRUNC of a value whose type the statement does not tell (a bind): a stored DATE is cut as a date.
void fnTrunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        const std::string text = valueText(argv[0]);
        if (const auto d = fromStorage(text); d && text.size() == 19) {
            fnTruncDate(ctx, argc, argv);
            return;
        }
    }
    fnTruncNumber(ctx, argc, argv);
}

// ora_rownum_limit(op1, v1, op2, v2 ...): how many rows "ROWNUM op1 v1 AND ROWNUM op2 v2 ..." lets through.
// ROWNUM is given to a row as it passes, so the first row is number 1 and a failed bound stops all rows:
// ROWNUM > 1 and ROWNUM = 2 pass none, ROWNUM <= 3 passes three. -1: no limit.
void fnRownumLimit(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        double limit = -1;
        for (int i = 0; i + 1 < argc; i += 2) {
            const std::string op = valueText(argv[i]);
            double v = 0;
            if (!numberArg(argv[i + 1], v)) {
                sqlite3_result_int(ctx, 0);
                return;
            }
            const bool firstPasses = op == "<="   ? 1 <= v
                                     : op == "<"  ? 1 < v
                                     : op == "="  ? v == 1
                                     : op == ">=" ? 1 >= v
                                                  : 1 > v;
            if (!firstPasses) {
                sqlite3_result_int(ctx, 0);
                return;
            }
            double upTo = -1;
            if (op == "<=")
                upTo = std::floor(v);
            else if (op == "<")
                upTo = std::ceil(v) - 1;
            else if (op == "=")
                upTo = 1;
            if (upTo >= 0 && (limit < 0 || upTo < limit))
                limit = upTo;
        }
        sqlite3_result_int64(ctx, limit < 0 || limit > 9e18 ? -1 : static_cast<sqlite3_int64>(limit));
    } catch (const OraError& e) {
        resultError(ctx, e);
    }
}

} // namespace

int registerOracleFunctions(sqlite3* db) {
    struct Def {
        const char* name;
        int args;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
        bool deterministic;
    };
    static const Def kDefs[] = {
        {"decode", -1, fnDecode, true},
        {"nvl", 2, fnNvl, true},
        {"substr", 2, fnSubstr, true},
        {"substr", 3, fnSubstr, true},
        {"ora_concat", -1, fnConcat, true},
        {"ora_num", 1, fnNum, true},
        {"ora_div", -1, fnDiv, true},
        {"ora_mod", 2, fnMod, true},
        {"ora_round", 1, fnRound, true},
        {"ora_round", 2, fnRound, true},
        {"ora_trunc", 1, fnTrunc, true},
        {"ora_trunc", 2, fnTrunc, true},
        {"ora_trunc_number", 1, fnTruncNumber, true},
        {"ora_trunc_number", 2, fnTruncNumber, true},
        {"ora_trunc_date", 1, fnTruncDate, true},
        {"ora_trunc_date", 2, fnTruncDate, true},
        {"ora_date_add", 2, fnDateAdd, true},
        {"ora_date_sub", 2, fnDateSub, true},
        {"ora_date_diff", 2, fnDateDiff, true},
        {"ora_add_months", 2, fnAddMonths, true},
        {"ora_lengthb", 1, fnLengthb, true},
        {"ora_instr", 2, fnInstr, true},
        {"ora_instr", 3, fnInstr, true},
        {"ora_instr", 4, fnInstr, true},
        {"ora_rownum_limit", -1, fnRownumLimit, true},
        {"ocisqlite_store_number", 2, fnStoreNumber, true},
        {"ocisqlite_pad", 2, fnPad, true},
        {"to_char", 1, fnToChar, true},
        {"to_char", 2, fnToChar, true},
        {"to_date", 1, fnToDate, true},
        {"to_date", 2, fnToDate, true},
        {"to_number", 1, fnToNumber, true},
        // Deterministic, so SQLite computes it once per statement: SYSDATE is one time for the whole
        // statement.
        {"ora_sysdate", 0, fnSysdate, true},
        {"ora_rowid", 2, fnRowid, true},
        {"ora_empty_null", 1, fnEmptyNull, true},
        {"upper", 1, fnUpper, true},
        {"lower", 1, fnLower, true},
    };
    for (const Def& d : kDefs) {
        const int flags = SQLITE_UTF8 | (d.deterministic ? SQLITE_DETERMINISTIC : 0);
        const int rc =
            sqlite3_create_function_v2(db, d.name, d.args, flags, nullptr, d.fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    // Oracle's LIKE is case-sensitive, and "x" is always an identifier, never a string.
    int rc = sqlite3_exec(db, "PRAGMA case_sensitive_like=ON", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // V$SESSION reads this table; RowLocks::fillSessionView fills it before such a statement runs.
    return sqlite3_exec(
        db,
        "CREATE TEMP TABLE IF NOT EXISTS \"ocisqlite\"\"v$session\" (SID NUMBER, USERNAME VARCHAR2(128), "
        "MODULE VARCHAR2(48), ACTION VARCHAR2(32), CLIENT_INFO VARCHAR2(64))",
        nullptr, nullptr, nullptr);
}

std::string oracleUpper(std::string_view text) {
    return mapCase(std::string(text), true);
}

int oraCodeOf(const char* message) {
    if (!message || std::strncmp(message, "ORA-", 4) != 0)
        return 0;
    int code = 0;
    int digits = 0;
    for (const char* p = message + 4; *p >= '0' && *p <= '9'; ++p, ++digits)
        code = code * 10 + (*p - '0');
    return digits == 5 ? code : 0;
}

} // namespace ocisqlite
