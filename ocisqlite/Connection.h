// One OCI user session on a database file: its own sqlite3 connection, Oracle's transaction rules on top
// of SQLite's, and the catalog the translator consults.
#pragma once

#include "Runtime.h"
#include "Translator.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ocisqlite {

class RowLocks;

// Names of the engine's own tables inside a database file. They hold a double quote, which no Oracle
// identifier can, so no client statement can name them; only ocisqlite-admin and the engine reach them.
inline constexpr const char* kUsersTable = "ocisqlite\"users";
inline constexpr const char* kSynonymsTable = "ocisqlite\"synonyms";
// The tables of files made before passwords were hashed: hidden from clients by name until the next
// `ocisqlite-admin create` moves their rows into the tables above.
inline constexpr const char* kLegacyUsersTable = "OCISQLITE_USERS";
inline constexpr const char* kLegacySynonymsTable = "OCISQLITE_SYNONYMS";

// Opens a database file with the settings every session uses (WAL, busy timeout, Oracle functions).
// Throws OraError 12154 when the file cannot be opened.
sqlite3* openDatabase(const std::string& path, bool create);
// Creates the engine's tables when missing and moves the rows of a file's legacy tables into them, hashing
// plain-text passwords (used by ocisqlite-admin).
void ensureEngineTables(sqlite3* db);
// Adds or replaces an account (name stored upper case, the password as a salted hash).
void putAccount(sqlite3* db, const std::string& user, const std::string& password);

// The Oracle error for a failed SQLite call. kind tells INSERT (01400) from UPDATE (01407).
// A read-only, full, damaged or unreadable file gives the Oracle errors that say so, naming the file.
OraError mapSqliteError(sqlite3* db, int rc, StatementKind kind, const std::string& schema);

// Stable per-table object number for ROWID texts.
std::uint32_t tableObjectNumber(const std::string& upperTable);

class Connection : public CatalogView {
public:
    // Checks the account and opens the session. Throws OraError (01017, 12154 ...).
    Connection(const std::string& path, const std::string& user, const std::string& password);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* db() const { return db_; }
    const std::string& path() const { return path_; }
    const std::string& schema() const { return user_; }
    std::int64_t sid() const { return sid_; }
    RowLocks* locks() const { return locks_.get(); }

    // Lost connection (down marker): the first statement gets ORA-03113, later ones ORA-03114.
    bool lost() const { return lost_; }
    void markLost();
    // A request went out: the fault markers decide whether the answer comes. Throws ORA-03113 (server
    // down, or silent for the hang marker's seconds) or ORA-03156 (silent past the call timeout); the
    // session is lost after either, as its clean-up cannot reach the server either.
    void awaitAnswer();
    // OCI_ATTR_CALL_TIMEOUT of the service context, in milliseconds (0 = none).
    unsigned callTimeoutMs() const { return callTimeoutMs_; }
    void setCallTimeoutMs(unsigned ms) { callTimeoutMs_ = ms; }

    // CatalogView
    bool hasTable(const std::string& name) const override;
    std::optional<std::string> synonymTarget(const std::string& name) const override;
    std::vector<ColumnInfo> columns(const std::string& table) const override;
    std::uint32_t objectNumber(const std::string& table) const override;
    std::string currentUser() const override { return user_; }
    void addSynonym(const std::string& name, const std::string& target);
    void dropSynonym(const std::string& name);
    // Bumped by DDL so that cached translations are redone.
    std::uint64_t schemaGeneration() const { return generation_; }
    void schemaChanged() { ++generation_; }
    // Oracle type text of a column of a base table, "" when unknown; nullability through notNull.
    std::string columnType(const std::string& table, const std::string& column, bool* notNull) const;

    // Transactions.
    void exec(const char* sql, StatementKind kind = StatementKind::Other);
    void beginWrite();     // before the first change: BEGIN IMMEDIATE
    void startLogical();   // the Oracle transaction starts (first DML, FOR UPDATE lock)
    void beginStatement(); // internal savepoint around one DML
    void endStatement(bool ok);
    void commit();
    void rollback();
    void savepoint(const std::string& name);
    void rollbackTo(const std::string& name);
    bool inTransaction() const { return logical_; }
    bool writing() const { return sqliteTxn_; }
    const std::string& transactionId() const { return txnId_; }
    // Statement handles whose SQLite statements live on this connection (owned by the engine).
    std::vector<void*>& users() { return users_; }
    void setModule(const std::string* module, const std::string* action);
    void setClientInfo(const std::string* info);
    // After DDL: triggers that give Oracle's ORA-12899 (too long for VARCHAR2/CHAR) and ORA-01722
    // (text that is no number in a NUMBER column), which SQLite's declared types do not enforce.
    void installColumnChecks();

private:
    struct Savepoint {
        std::string name;
        bool inSqlite = false;
        std::int64_t lockMark = 0;
    };
    sqlite3_stmt* cached(const char* sql) const;

    std::string path_;
    std::string user_;
    sqlite3* db_ = nullptr;
    std::shared_ptr<RowLocks> locks_;
    std::int64_t sid_ = 0;
    bool lost_ = false;
    unsigned callTimeoutMs_ = 0;
    MarkerWatch markers_;
    bool sqliteTxn_ = false;
    bool logical_ = false;
    std::string txnId_;
    std::uint64_t txnSeq_ = 0;
    std::vector<Savepoint> savepoints_;
    std::uint64_t generation_ = 0;
    // The engine's tables of this file (quoted for SQL); a legacy file still uses the old, hidden names.
    std::string usersSql_, synonymsSql_;
    bool legacy_ = false;
    mutable std::vector<std::pair<std::string, sqlite3_stmt*>> cache_;
    std::vector<void*> users_;
};

} // namespace ocisqlite
