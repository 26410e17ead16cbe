// Oracle statement text -> what the embedded engine runs on SQLite.
// The engine (ocisqlite core) calls translate() for every prepared statement; everything
// Oracle-specific about the text is decided here, everything about execution there.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ocisqlite {

// An Oracle error raised while translating: code 942 with text "ORA-00942: table or view does not exist".
struct OraError : std::runtime_error {
    int code;
    OraError(int c, const std::string& fullText) : std::runtime_error(fullText), code(c) {}
};

// What the translator needs to know about the database; implemented by the engine.
class CatalogView {
public:
    virtual ~CatalogView() = default;
    // Upper-case base table for a table or synonym name (upper-cased input), or empty when unknown.
    virtual std::string resolveTable(const std::string& upperName) const = 0;
    // Stable object number of a base table (for ROWID text); 0 when unknown.
    virtual std::uint32_t objectNumber(const std::string& upperTable) const = 0;
};

enum class StatementKind {
    Select,
    Insert,
    Update,
    Delete,
    Create,
    Drop,
    Alter,
    CreateSynonym,
    PlSqlBlock,
    Savepoint,
    RollbackToSavepoint,
    Commit,
    Rollback,
    Other
};

// The PL/SQL blocks the engine understands; anything else fails with ORA-06550 / PLS-00201 in translate().
struct PlSqlCall {
    enum class Kind { None, Null, LocalTransactionId, SetModule, SetClientInfo } kind = Kind::None;
    // Bind name (upper case, no colon) or literal per argument: "MODULE_NAME", "ACTION_NAME", "CLIENT_INFO",
    // "RESULT" (the OUT bind of local_transaction_id). A value starting with ':' is a bind name.
    std::map<std::string, std::string> args;
};

struct Translation {
    StatementKind kind = StatementKind::Other;
    std::uint16_t ociStmtType = 0;  // OCI_ATTR_STMT_TYPE value
    std::string sql;                // SQLite text; binds kept as :NAME (upper case)
    std::vector<std::string> binds; // distinct bind names in order of first appearance, upper case, no colon
    // Binds whose value is an Oracle ROWID text that the engine must decode to the SQLite rowid before
    // binding (e.g. "where rowid = :tav__rowid"); a rowid of another table binds as NULL (matches nothing), a
    // malformed one fails with ORA-01410. rowidForBind() in Rowid.h does exactly this.
    std::map<std::string, std::uint32_t> rowidBinds; // bind name -> expected object number
    std::string targetTable; // upper-case base table of INSERT/UPDATE/DELETE/SELECT ... FOR UPDATE
    // UPDATE, DELETE and SELECT ... FOR UPDATE: "SELECT <table>.rowid FROM ... WHERE ..." with the same
    // binds, giving the SQLite rowids of the rows the statement will lock (run it, lock them in RowLocks,
    // then run sql).
    std::string lockRowsSql;
    bool forUpdate = false;                 // SELECT ... FOR UPDATE
    bool noWait = false;                    // ... NOWAIT
    std::string returningRowidBind;         // RETURNING ROWID INTO :x -> x (upper case); the engine fills it
    std::string savepointName;              // SAVEPOINT x / ROLLBACK TO SAVEPOINT x (upper case)
    std::string synonymName, synonymTarget; // CREATE SYNONYM a FOR b (upper case)
    PlSqlCall plsql;
    // Oracle type of select-list columns that SQLite cannot describe (expressions have no declared type),
    // keyed by the upper-case column name the engine reports: "ROWID" for the ROWID pseudo-column, "DATE"
    // for TO_DATE/SYSDATE, "VARCHAR2(n)" for text expressions, "NUMBER" for COUNT and arithmetic.
    std::map<std::string, std::string> columnTypes;
    // The statement reads V$SESSION: before running it the engine refreshes the temp table it maps to
    // (RowLocks::fillSessionView on the session's connection).
    bool usesSessionView = false;
};

// Throws OraError for anything Oracle would refuse at parse time (ORA-00900, 00904, 00933, 00942, 06550 ...).
Translation translate(std::string_view oracleSql, const CatalogView& catalog);

} // namespace ocisqlite
