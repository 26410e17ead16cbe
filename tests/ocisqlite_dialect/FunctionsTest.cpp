// The registered functions on a real connection, TO_DATE/TO_CHAR vectors and errors, the 7-byte DATE
// and the ROWID text.
#include "DateFormat.h"
#include "TestDb.h"

#include <gtest/gtest.h>

using namespace ocisqlite;
using ocisqlite::test::TestDb;
using ocisqlite::test::Value;

namespace {

// Runs plain SQLite text (the functions as the translation calls them).
Value eval(TestDb& db, const std::string& sqliteExpr) {
    sqlite3_stmt* st = nullptr;
    const std::string sql = "SELECT " + sqliteExpr;
    if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.handle()));
    Value v;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL)
        v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW)
        throw OraError(oraCodeOf(sqlite3_errmsg(db.handle())), sqlite3_errmsg(db.handle()));
    return v;
}

std::string errorOf(TestDb& db, const std::string& sqliteExpr) {
    try {
        eval(db, sqliteExpr);
    } catch (const OraError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(OracleFunctions, SubstrDecodeNvlConcat) {
    TestDb db;
    const std::pair<const char*, Value> cases[] = {
        {"substr('abcdef', 0, 1)", "a"},
        {"substr('abcdef', 2, 20)", "bcdef"},
        {"substr('abcdef', -2)", "ef"},
        {"substr('abcdef', 2, 0)", std::nullopt},
        {"substr('abcdef', 2, -1)", std::nullopt},
        {"substr('abcdef', 7)", std::nullopt},
        {"substr(NULL, 1, 1)", std::nullopt},
        {"substr('Привет', 2, 3)", "рив"},
        {"substr(12345, 2, 2)", "23"},
        {"decode(NULL, NULL, 'NULL=NULL', 'no')", "NULL=NULL"},
        {"decode('1', '0', 'A', '1', 'B')", "B"},
        {"decode('7', '0', 'A', '1', 'B')", std::nullopt},
        {"decode('7', '0', 'A', 'Z')", "Z"},
        {"decode('01', 1, 'numeric', 'text')", "numeric"}, // the first search is a number
        {"decode(1, '01', 'text-equal', 'differs')", "differs"},
        {"decode('0', '0', '', 'x')", std::nullopt},
        {"nvl(NULL, 'x')", "x"},
        {"nvl('', 'x')", "x"},
        {"nvl('a', 'x')", "a"},
        {"ora_concat('a', NULL)", "a"},
        {"ora_concat(NULL, 'b')", "b"},
        {"ora_concat(NULL, NULL)", std::nullopt},
        {"ora_concat('x', 0.5)", "x.5"},
        {"upper('привет abc')", "ПРИВЕТ ABC"},
        {"lower('ЁЖ AB')", "ёж ab"},
        {"to_number(' 42 ')", "42"},
        {"ora_empty_null('')", std::nullopt},
    };
    for (const auto& [expr, expected] : cases) {
        SCOPED_TRACE(expr);
        EXPECT_EQ(eval(db, expr), expected);
    }
    EXPECT_EQ(errorOf(db, "decode('abc', 1, 'x')"), "ORA-01722: invalid number");
    EXPECT_EQ(errorOf(db, "to_number('12a')"), "ORA-01722: invalid number");
}

TEST(OracleFunctions, ToCharAndToDateVectors) {
    TestDb db;
    const std::pair<const char*, const char*> toChar[] = {
        {"2026-12-08 23:59:59", "23:59 08:12:26"},
        {"2001-02-03 04:05:06", "04:05 03:02:01"},
        {"2000-01-01 00:00:00", "00:00 01:01:00"},
    };
    for (const auto& [stored, shown] : toChar)
        EXPECT_EQ(eval(db, std::string("to_char('") + stored + "', 'HH24:MI DD:MM:YY')"), shown);
    EXPECT_EQ(eval(db, "to_char(NULL, 'HH24:MI DD:MM:YY')"), std::nullopt);
    EXPECT_EQ(eval(db, "to_char('2026-12-08 10:00:00')"), "08-DEC-26");
    EXPECT_EQ(eval(db, "to_char('2026-12-08 10:00:00', 'Mon YYYY')"), "Dec 2026");

    const char* const fmt = "'dd.mm.yyyy hh24:mi:ss'";
    const std::pair<const char*, const char*> toDate[] = {
        {"08.12.2026 23:59:59", "2026-12-08 23:59:59"}, {"8.12.2026 23:59:59", "2026-12-08 23:59:59"},
        {"08.12.2026", "2026-12-08 00:00:00"},          {"08122026", "2026-12-08 00:00:00"},
        {"08/12/2026 23-59-59", "2026-12-08 23:59:59"}, {"  08.12.2026 01:02:03", "2026-12-08 01:02:03"},
        {"29.02.2024 00:00:00", "2024-02-29 00:00:00"},
    };
    for (const auto& [input, stored] : toDate) {
        SCOPED_TRACE(input);
        EXPECT_EQ(eval(db, std::string("to_date('") + input + "', " + fmt + ")"), stored);
    }
    const std::pair<const char*, const char*> errors[] = {
        {"08.12.2026 23:59:59 x",
         "ORA-01830: date format picture ends before converting entire input string"},
        {"32.12.2026 00:00:00", "ORA-01847: day of month must be between 1 and last day of month"},
        {"31.04.2026 00:00:00", "ORA-01839: date not valid for month specified"},
        {"29.02.2025 00:00:00", "ORA-01839: date not valid for month specified"},
        {"08.13.2026 00:00:00", "ORA-01843: not a valid month"},
        {"xx.12.2026 00:00:00", "ORA-01858: a non-numeric character was found where a numeric was expected"},
        {"08a12.2026", "ORA-01861: literal does not match format string"},
        {"08.12", "ORA-01840: input value not long enough for date format"},
        {"08.12.2026 24:00:00", "ORA-01850: hour must be between 0 and 23"},
        {"08.12.2026 23:60:00", "ORA-01851: minutes must be between 0 and 59"},
        {"08.12.2026 23:59:60", "ORA-01852: seconds must be between 0 and 59"},
        {"08.12.0000 00:00:00", "ORA-01841: (full) year must be between -4713 and +9999, and not be 0"},
    };
    for (const auto& [input, error] : errors) {
        SCOPED_TRACE(input);
        EXPECT_EQ(errorOf(db, std::string("to_date('") + input + "', " + fmt + ")"), error);
    }
    EXPECT_EQ(eval(db, std::string("to_date(NULL, ") + fmt + ")"), std::nullopt);
    EXPECT_EQ(errorOf(db, "to_date('08.12.2026', 'dd.qq.yyyy')"), "ORA-01821: date format not recognized");
    EXPECT_EQ(errorOf(db, "to_date('08.12.2026', 'dd.mm.mm')"), "ORA-01810: format code appears twice");
}

TEST(OracleFunctions, NumbersAsOracleComputesThem) {
    TestDb db;
    const std::pair<const char*, Value> cases[] = {
        {"ora_div(7, 2)", "3.5"},
        {"ora_div(6, 3)", "2"},
        {"ora_div(-7, 2)", "-3.5"},
        {"ora_div(100, 2, 5)", "10"},
        {"ora_div(NULL, 0)", std::nullopt},
        {"ora_div('9', ' 3 ')", "3"},
        {"ora_num(' 12 ')", "12"},
        {"ora_num('1e3')", "1000"},
        {"ora_num('-.5')", "-0.5"},
        {"ora_mod(11, 4)", "3"},
        {"ora_mod(-11, 4)", "-3"},
        {"ora_mod(11, -4)", "3"},
        {"ora_mod(11, 0)", "11"},
        {"ora_mod(11.5, 4)", "3.5"},
        {"ora_round(1.005, 2)", "1.01"},
        {"ora_round(2.5)", "3"},
        {"ora_round(-2.5)", "-3"},
        {"ora_round(1250, -2)", "1300"},
        {"ora_round(0.5)", "1"},
        {"ora_round(0.05)", "0"},
        {"ora_round(999.96, 1)", "1000"},
        {"ora_trunc_number(15.79, 1)", "15.7"},
        {"ora_trunc_number(-15.79)", "-15"},
        {"ora_trunc_number(15.79, -1)", "10"},
        {"ocisqlite_store_number(1.5, 0)", "2"},
        {"ocisqlite_store_number(7, 2)", "7"},
        {"ocisqlite_pad('ab', 4)", "ab  "},
        {"ocisqlite_pad('Дом', 4)", "Дом "},
        {"ora_lengthb('Дом')", "6"},
        {"ora_instr('CORPORATE FLOOR', 'OR', 3, 2)", "14"},
        {"ora_instr('CORPORATE FLOOR', 'OR', -3, 2)", "2"},
        {"ora_instr('CORPORATE FLOOR', 'OR', -1, 1)", "14"},
        {"ora_instr('aaa', 'aa', 1, 2)", "2"},
        {"ora_instr('abc', 'x')", "0"},
        {"ora_instr('abc', 'b', 0)", "0"},
        {"ora_instr('Привет мир', 'мир')", "8"},
        {"ora_instr(NULL, 'a')", std::nullopt},
    };
    for (const auto& [expr, expected] : cases) {
        SCOPED_TRACE(expr);
        EXPECT_EQ(eval(db, expr), expected);
    }
    EXPECT_EQ(errorOf(db, "ora_div(1, 0)"), "ORA-01476: divisor is equal to zero");
    EXPECT_EQ(errorOf(db, "ora_div(1, 2, 0)"), "ORA-01476: divisor is equal to zero");
    EXPECT_EQ(errorOf(db, "ora_num('12a')"), "ORA-01722: invalid number");
    EXPECT_EQ(errorOf(db, "ora_num('inf')"), "ORA-01722: invalid number");
    EXPECT_EQ(errorOf(db, "ora_mod('x', 2)"), "ORA-01722: invalid number");
    EXPECT_EQ(errorOf(db, "ora_instr('abc', 'b', 1, 0)"), "ORA-01428: argument '0' is out of range");
}

TEST(OracleFunctions, RownumBoundsGiveTheRowsOraclePasses) {
    TestDb db;
    const std::pair<const char*, const char*> cases[] = {
        {"ora_rownum_limit('<=', 3)", "3"},
        {"ora_rownum_limit('<', 3)", "2"},
        {"ora_rownum_limit('<', 3.5)", "3"},
        {"ora_rownum_limit('<=', 2.9)", "2"},
        {"ora_rownum_limit('=', 1)", "1"},
        {"ora_rownum_limit('=', 2)", "0"},
        {"ora_rownum_limit('>', 1)", "0"},
        {"ora_rownum_limit('>', 0)", "-1"},
        {"ora_rownum_limit('>=', 1)", "-1"},
        {"ora_rownum_limit('>=', 2)", "0"},
        {"ora_rownum_limit('<=', 0)", "0"},
        {"ora_rownum_limit('<=', NULL)", "0"},
        {"ora_rownum_limit('>', 0, '<=', 5, '<', 4)", "3"},
    };
    for (const auto& [expr, expected] : cases) {
        SCOPED_TRACE(expr);
        EXPECT_EQ(eval(db, expr), expected);
    }
}

TEST(OracleFunctions, DateArithmeticAndTrunc) {
    TestDb db;
    const std::pair<const char*, Value> cases[] = {
        {"ora_date_add('2026-12-08 14:05:00', ora_div(1, 24))", "2026-12-08 15:05:00"},
        {"ora_date_add('2026-12-31 23:00:00', 0.5)", "2027-01-01 11:00:00"},
        {"ora_date_sub('2026-03-01 00:00:00', 1)", "2026-02-28 00:00:00"},
        {"ora_date_sub('2024-03-01 00:00:00', 60)", "2024-01-01 00:00:00"},
        {"ora_date_add('2026-12-08 00:00:00', ora_div(1, 86400))", "2026-12-08 00:00:01"},
        {"ora_date_add(NULL, 1)", std::nullopt},
        {"ora_date_diff('2026-12-09 12:00:00', '2026-12-08 00:00:00')", "1.5"},
        {"ora_date_diff('2026-01-01 00:00:00', '2025-01-01 00:00:00')", "365"},
        {"ora_date_diff('2026-12-08 00:00:00', '2026-12-09 00:00:00')", "-1"},
        {"ora_add_months('2026-01-31 10:00:00', 1)", "2026-02-28 10:00:00"},
        {"ora_add_months('2024-02-29 00:00:00', 12)", "2025-02-28 00:00:00"},
        {"ora_add_months('2025-02-28 00:00:00', 12)", "2026-02-28 00:00:00"},
        {"ora_add_months('2026-04-30 00:00:00', 1)", "2026-05-31 00:00:00"},
        {"ora_add_months('2026-03-15 00:00:00', -14)", "2025-01-15 00:00:00"},
        {"ora_trunc_date('2026-12-09 17:45:12')", "2026-12-09 00:00:00"},
        {"ora_trunc_date('2026-12-09 17:45:12', 'MM')", "2026-12-01 00:00:00"},
        {"ora_trunc_date('2026-12-09 17:45:12', 'YYYY')", "2026-01-01 00:00:00"},
        {"ora_trunc_date('2026-12-09 17:45:12', 'Q')", "2026-10-01 00:00:00"},
        {"ora_trunc_date('2026-12-09 17:45:12', 'HH24')", "2026-12-09 17:00:00"},
        {"ora_trunc_date('2026-12-09 17:45:12', 'mi')", "2026-12-09 17:45:00"},
        {"ora_trunc_date('2026-12-09 17:45:12', 'IW')", "2026-12-07 00:00:00"}, // a Wednesday: Monday
        {"ora_trunc_date('2026-12-09 17:45:12', 'D')", "2026-12-06 00:00:00"},  // Sunday
        {"ora_trunc_date('2026-12-09 17:45:12', 'WW')", "2026-12-03 00:00:00"}, // 2026 began on a Thursday
        {"ora_trunc_date('2026-12-09 17:45:12', 'W')", "2026-12-08 00:00:00"},  // December began on a Tuesday
        {"ora_trunc_date('2026-12-09 17:45:12', 'CC')", "2001-01-01 00:00:00"},
        {"ora_trunc_date('09-DEC-26')", "2026-12-09 00:00:00"},
        {"ora_trunc('2026-12-09 17:45:12')", "2026-12-09 00:00:00"},
        {"ora_trunc('15.79')", "15"},
        {"ora_trunc(15.79, 1)", "15.7"},
    };
    for (const auto& [expr, expected] : cases) {
        SCOPED_TRACE(expr);
        EXPECT_EQ(eval(db, expr), expected);
    }
    EXPECT_EQ(errorOf(db, "ora_trunc_date('2026-12-09 17:45:12', 'XX')"),
              "ORA-01821: date format not recognized");
    EXPECT_EQ(errorOf(db, "ora_date_add('2026-12-09 00:00:00', 'x')"), "ORA-01722: invalid number");
    EXPECT_EQ(errorOf(db, "ora_date_add('9999-12-31 00:00:00', 1)"),
              "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    EXPECT_EQ(errorOf(db, "ora_date_add(5, 1)"),
              "ORA-00932: inconsistent datatypes: expected DATE got NUMBER");
}

TEST(DateFormat, SevenByteDateAndStorageText) {
    unsigned char raw[7];
    toOciDate(OraDate{1992, 11, 30, 15, 17, 0}, raw);
    const unsigned char expected[7] = {119, 192, 11, 30, 16, 18, 1};
    EXPECT_EQ(std::vector<unsigned char>(raw, raw + 7), std::vector<unsigned char>(expected, expected + 7));
    EXPECT_EQ(fromOciDate(raw), (OraDate{1992, 11, 30, 15, 17, 0}));
    const unsigned char feb30[7] = {120, 126, 2, 30, 1, 1, 1};
    EXPECT_THROW(fromOciDate(feb30), OraError);

    EXPECT_EQ(toStorage(OraDate{26, 1, 2, 3, 4, 5}), "0026-01-02 03:04:05");
    EXPECT_EQ(fromStorage("2026-12-08 23:59:59"), (OraDate{2026, 12, 8, 23, 59, 59}));
    EXPECT_EQ(fromStorage("2026-12-08"), (OraDate{2026, 12, 8, 0, 0, 0}));
    EXPECT_FALSE(fromStorage("2026-02-30 00:00:00"));
    EXPECT_FALSE(fromStorage("08.12.2026"));
}

TEST(Rowid, RoundTripsAndRejectsMalformedText) {
    // Oracle's documented example: object 22472, file 5, block 82, row 27.
    const DecodedRowid known = decodeRowid("AAAFfIAAFAAAABSAAb");
    EXPECT_EQ(known.objectNumber, 22472u);
    EXPECT_EQ(known.rowid & ((std::int64_t{1} << 18) - 1), 27);
    EXPECT_EQ((known.rowid >> 18) & ((std::int64_t{1} << 36) - 1), 82);
    EXPECT_EQ(encodeRowid(known.objectNumber, known.rowid), "AAAFfIAAFAAAABSAAb");

    for (std::int64_t rid : {std::int64_t{1}, std::int64_t{262143}, std::int64_t{262144},
                             std::int64_t{1} << 53, INT64_MAX, std::int64_t{-1}}) {
        const std::string text = encodeRowid(70001, rid);
        ASSERT_EQ(text.size(), 18u);
        EXPECT_EQ(decodeRowid(text).rowid, rid);
        EXPECT_EQ(decodeRowid(text).objectNumber, 70001u);
    }
    EXPECT_EQ(encodeRowid(0, 1), "AAAAAAAABAAAAAAAAB");
    for (const char* bad :
         {"", "AAAAAAAABAAAAAAAA", "AAAAAAAABAAAAAAAABB", "AAAAAAAABAAAAAAA*B", "AAAAAAAAAAAAAAAAAB"}) {
        SCOPED_TRACE(bad);
        try {
            decodeRowid(bad);
            ADD_FAILURE() << "accepted";
        } catch (const OraError& e) {
            EXPECT_EQ(std::string(e.what()), "ORA-01410: invalid ROWID");
        }
    }
    EXPECT_EQ(rowidForBind(encodeRowid(5, 9), 5), 9);
    EXPECT_EQ(rowidForBind(encodeRowid(6, 9), 5), std::nullopt);
    EXPECT_EQ(rowidForBind("", 5), std::nullopt);
}

} // namespace
