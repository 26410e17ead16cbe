// The SQLite functions the translated statements call. Register them on every connection of a session.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace ocisqlite {

// Registers, with Oracle's semantics (every function returns NULL where Oracle's result is ''):
//   decode(x, s1, r1, ..., [default])  NULL matches NULL; numeric comparison when the first search is a
//   number nvl(a, b), substr(s, p [, n])      substr overrides the built-in (start 0 counts as 1; past the
//   end NULL) ora_concat(a, b, ...)              the || operator: NULL counts as empty to_char(x [, fmt]),
//   to_date(s [, fmt]), ora_sysdate()   dates as 'YYYY-MM-DD HH:MM:SS' text ora_rowid(objectNumber, rowid)
//   the 18-character ROWID text ora_num(x), ora_div(a, b, ...), ora_mod, ora_round, ora_trunc[_number|_date],
//   ora_lengthb, ora_instr ora_date_add/_sub(date, days), ora_date_diff(d1, d2), ora_add_months(d, n)
//   ora_rownum_limit(op, value, ...)   the rows "ROWNUM op value AND ..." lets through (-1: all)
//   ocisqlite_store_number(v, scale), ocisqlite_pad(v, n)   what NUMBER(p,s) and CHAR(n) columns store
//   ora_empty_null(x)                  '' -> NULL
// Failures are raised with sqlite3_result_error and the full Oracle text ("ORA-01843: not a valid month"),
// so sqlite3_errmsg() of the failing statement holds it; oraCodeOf() turns it back into the number.
// Also switches LIKE to case-sensitive and double-quoted strings off (Oracle has neither).
// Returns the SQLite result code of the first failure, SQLITE_OK when all went well.
int registerOracleFunctions(sqlite3* db);

// Upper case as Oracle writes an unquoted name: ASCII, Latin-1 letters and Cyrillic.
std::string oracleUpper(std::string_view text);

// 1843 for "ORA-01843: not a valid month", 0 when the text does not start with "ORA-nnnnn".
int oraCodeOf(const char* message);

} // namespace ocisqlite
