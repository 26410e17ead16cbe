// Oracle statement text -> what the embedded engine runs on SQLite.
// The engine (ocisqlite core) calls translate() for every prepared statement; everything
// Oracle-specific about the text is decided here, everything about execution there.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
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

// A column of a base table: its Oracle name (exact), declared Oracle type ("NUMBER(9)", "CHAR(1)" ...) and
// whether it is declared NOT NULL (so no row holds NULL in it; a primary key column is declared so too).
struct ColumnInfo {
    std::string name;
    std::string type;
    bool notNull = false;
};

// What the translator needs to know about the database; implemented by the engine. Names are Oracle names:
// upper case when they were written unquoted, exact when quoted.
class CatalogView {
public:
    virtual ~CatalogView() = default;
    // A base table of exactly this name exists (the engine's own tables never do).
    virtual bool hasTable(const std::string& name) const = 0;
    // The target of the synonym of this name, as written at CREATE SYNONYM (schema dropped); nullopt: none.
    virtual std::optional<std::string> synonymTarget(const std::string& name) const = 0;
    // The columns of a base table in table order; empty when unknown.
    virtual std::vector<ColumnInfo> columns(const std::string& table) const = 0;
    // Stable object number of a base table (for ROWID text); 0 when unknown.
    virtual std::uint32_t objectNumber(const std::string& table) const = 0;
    // The session's user (USER, the schema in error texts).
    virtual std::string currentUser() const = 0;
};

// A table or synonym name -> its base table, "" when the name is neither. A chain of synonyms that comes
// back to itself fails with ORA-01775, one that ends in no table with ORA-00980.
std::string resolveTable(const CatalogView& catalog, const std::string& name);

// SQLite compares the ASCII letters of names case-blind; Oracle's quoted names keep their case. A name with
// a lower-case ASCII letter is therefore stored with a suffix after a double quote (which no Oracle name
// holds) recording the case of its letters, so "Ab", "aB" and AB stay three names in SQLite too.
std::string sqliteName(std::string_view oracleName);
std::string oracleName(std::string_view sqliteName);

// The longest identifier Oracle takes (bytes); longer ones fail with ORA-00972.
inline constexpr std::size_t kMaxIdentifierBytes = 128;

enum class StatementKind {
    Select,
    Insert,
    Update,
    Delete,
    Merge,
    Create,
    Drop,
    Alter,
    Truncate,
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
    std::uint16_t ociStmtType = 0; // OCI_ATTR_STMT_TYPE value
    // SQLite text. Binds are plain "?" parameters, parameters[i] naming the bind of the (i+1)-th: a named or
    // numbered parameter makes SQLite search its list of names, so 32 766 of them would take quadratic time.
    std::string sql;
    std::vector<std::string> parameters;
    std::vector<std::string> binds; // distinct bind names in order of first appearance, upper case, no colon
    // Binds whose value is an Oracle ROWID text that the engine must decode to the SQLite rowid before
    // binding (e.g. "where rowid = :tav__rowid"); a rowid of another table binds as NULL (matches nothing), a
    // malformed one fails with ORA-01410. rowidForBind() in Rowid.h does exactly this.
    std::map<std::string, std::uint32_t> rowidBinds; // bind name -> expected object number
    std::string targetTable; // base table of INSERT/UPDATE/DELETE/MERGE/TRUNCATE/SELECT ... FOR UPDATE
    // UPDATE, DELETE, MERGE, TRUNCATE and SELECT ... FOR UPDATE: "SELECT <table>.rowid FROM ... WHERE ..."
    // with the same binds, giving the SQLite rowids of the rows the statement will lock (run it, lock them
    // in RowLocks, then run sql).
    std::string lockRowsSql;
    std::vector<std::string> lockParameters;
    // MERGE: sql updates the matched rows, this inserts the unmatched ones (run after sql, in the same
    // statement savepoint; the row count is the sum).
    std::string mergeInsertSql;
    std::vector<std::string> mergeParameters;
    bool forUpdate = false;                 // SELECT ... FOR UPDATE
    bool noWait = false;                    // ... NOWAIT
    std::string returningRowidBind;         // RETURNING ROWID INTO :x -> x (upper case); the engine fills it
    std::string savepointName;              // SAVEPOINT x / ROLLBACK TO SAVEPOINT x
    std::string synonymName, synonymTarget; // CREATE SYNONYM a FOR b; DROP SYNONYM a
    PlSqlCall plsql;
    // Oracle type of select-list columns that SQLite cannot describe (expressions have no declared type),
    // keyed by the Oracle column name: "ROWID" for the ROWID pseudo-column, "DATE" for TO_DATE/SYSDATE and
    // date arithmetic, "VARCHAR2(n)" for text expressions, "NUMBER" for COUNT and arithmetic.
    std::map<std::string, std::string> columnTypes;
    // The statement reads V$SESSION: before running it the engine refreshes the temp table it maps to
    // (RowLocks::fillSessionView on the session's connection).
    bool usesSessionView = false;
    // The statement holds thousands of terms: SQLite's factoring of constant expressions, which searches all
    // earlier constants for each new one, is switched off while it is prepared (it would be quadratic).
    bool manyTerms = false;
};

// Throws OraError for anything Oracle would refuse at parse time (ORA-00900, 00904, 00933, 00942, 06550 ...)
// and ORA-03001 for constructs whose Oracle meaning the engine cannot give.
Translation translate(std::string_view oracleSql, const CatalogView& catalog);

} // namespace ocisqlite
