#include "OracleFunctions.h"

#include "DateFormat.h"
#include "Rowid.h"
#include "Translator.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    resultText(ctx, encodeRowid(object, sqlite3_value_int64(argv[1])));
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
        {"ora_concat", 2, fnConcat, true},
        {"to_char", 1, fnToChar, true},
        {"to_char", 2, fnToChar, true},
        {"to_date", 1, fnToDate, true},
        {"to_date", 2, fnToDate, true},
        {"to_number", 1, fnToNumber, true},
        {"ora_sysdate", 0, fnSysdate, false},
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
