// Oracle's names of the unique keys of a table, for ORA-00001. SQLite reports a violated key by its columns
// ("UNIQUE constraint failed: T.A, T.B"); the name Oracle gives is the one the DDL wrote (CONSTRAINT x
// PRIMARY KEY / UNIQUE, or a unique index), which the table's CREATE text and the index list still hold.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace ocisqlite {

// The Oracle name of the unique key of storedTable over the columns SQLite lists after "failed: "
// ("T.A, T.B", stored names); "" when the key has no name of its own (Oracle would call it SYS_Cnnnnnn).
std::string uniqueConstraintName(sqlite3* db, std::string_view violatedColumns);

} // namespace ocisqlite
