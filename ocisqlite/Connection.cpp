#include "Connection.h"

#include "Runtime.h"

#include "Constraints.h"
#include "OracleFunctions.h"
#include "PasswordHash.h"
#include "RowLocks.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace ocisqlite {

namespace {

std::string upperCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::string quoteIdent(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

// "ORA-01843: ..." -> 1843.
int leadingOraCode(const char* msg) {
    if (!msg || std::strncmp(msg, "ORA-", 4) != 0)
        return 0;
    int code = 0;
    int digits = 0;
    for (const char* p = msg + 4; *p >= '0' && *p <= '9'; ++p, ++digits)
        code = code * 10 + (*p - '0');
    return digits == 5 && msg[9] == ':' ? code : 0;
}

std::string afterPrefix(const std::string& msg, const char* prefix) {
    const auto pos = msg.find(prefix);
    return pos == std::string::npos ? std::string() : msg.substr(pos + std::strlen(prefix));
}

// "T.C" -> ("SCHEMA"."T"."C")
std::string columnPath(const std::string& schema, const std::string& tableDotColumn) {
    const auto dot = tableDotColumn.find('.');
    const std::string table = dot == std::string::npos ? std::string() : tableDotColumn.substr(0, dot);
    const std::string column = dot == std::string::npos ? tableDotColumn : tableDotColumn.substr(dot + 1);
    return "(\"" + schema + "\".\"" + oracleName(table) + "\".\"" + oracleName(column) + "\")";
}

std::mutex& locksMutex() {
    static std::mutex m;
    return m;
}

// One registry per database file and process, shared by its sessions.
std::shared_ptr<RowLocks> sharedLocks(const std::string& path) {
    static std::map<std::string, std::weak_ptr<RowLocks>> all;
    std::lock_guard<std::mutex> lock(locksMutex());
    auto& slot = all[path];
    if (auto existing = slot.lock())
        return existing;
    auto created = std::make_shared<RowLocks>(path);
    slot = created;
    return created;
}

// ocisqlite_varchar(table, column, value, maxBytes)
void varcharCheck(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* conn = static_cast<const Connection*>(sqlite3_user_data(ctx));
    const int type = sqlite3_value_type(argv[2]);
    const sqlite3_int64 max = sqlite3_value_int64(argv[3]);
    if (type != SQLITE_NULL) {
        const sqlite3_int64 actual = sqlite3_value_bytes(argv[2]);
        if (actual > max) {
            const std::string msg = "ORA-12899: value too large for column \"" + conn->schema() + "\".\"" +
                                    reinterpret_cast<const char*>(sqlite3_value_text(argv[0])) + "\".\"" +
                                    reinterpret_cast<const char*>(sqlite3_value_text(argv[1])) +
                                    "\" (actual: " + std::to_string(actual) +
                                    ", maximum: " + std::to_string(max) + ")";
            sqlite3_result_error(ctx, msg.c_str(), -1);
            return;
        }
    }
    sqlite3_result_null(ctx);
}

// ocisqlite_number(value [, precision, scale]): text that does not read as a number is ORA-01722; a value
// with more integer digits than NUMBER(p,s) allows is ORA-01438.
void numberCheck(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    double v = 0;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_TEXT: {
        const char* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        while (*p == ' ')
            ++p;
        char* end = nullptr;
        v = std::strtod(p, &end);
        while (end && *end == ' ')
            ++end;
        if (!*p || !end || *end) {
            sqlite3_result_error(ctx, "ORA-01722: invalid number", -1);
            return;
        }
        break;
    }
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        v = sqlite3_value_double(argv[0]);
        break;
    default:
        sqlite3_result_null(ctx);
        return;
    }
    if (argc == 3) {
        const int precision = sqlite3_value_int(argv[1]);
        const int scale = sqlite3_value_int(argv[2]);
        // Rounded to the scale, the value must keep within precision - scale integer digits.
        const double rounded = std::round(v * std::pow(10.0, scale)) / std::pow(10.0, scale);
        if (precision > 0 && std::fabs(rounded) >= std::pow(10.0, precision - scale)) {
            sqlite3_result_error(
                ctx, "ORA-01438: value larger than specified precision allowed for this column", -1);
            return;
        }
    }
    sqlite3_result_null(ctx);
}

} // namespace

namespace {

// A read-only, full, damaged or unreadable database file, in Oracle's words for a data file.
OraError fileError(sqlite3* db, int ext) {
    const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
    const std::string name = "ORA-01110: data file 1: '" + std::string(file ? file : "") + "'";
    switch (ext & 0xff) {
    case SQLITE_READONLY:
        return OraError(372, "ORA-00372: file 1 cannot be modified at this time\n" + name);
    case SQLITE_FULL:
        return OraError(1237,
                        "ORA-01237: cannot extend datafile 1\n" + name +
                            "\nORA-27072: File I/O error\nLinux-x86_64 Error: 28: No space left on device");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return OraError(1578, "ORA-01578: ORACLE data block corrupted (file # 1, block # 1)\n" + name);
    case SQLITE_CANTOPEN:
        return OraError(1157, "ORA-01157: cannot identify/lock data file 1 - see DBWR trace file\n" + name);
    default:
        break;
    }
    const bool writing = ext == SQLITE_IOERR_WRITE || ext == SQLITE_IOERR_FSYNC ||
                         ext == SQLITE_IOERR_DIR_FSYNC || ext == SQLITE_IOERR_TRUNCATE ||
                         ext == SQLITE_IOERR_DELETE;
    return OraError(writing ? 1114 : 1115,
                    std::string(writing ? "ORA-01114: IO error writing block to file 1 (block # 1)\n"
                                        : "ORA-01115: IO error reading block from file 1 (block # 1)\n") +
                        name + "\nORA-27072: File I/O error");
}

// Page size of a file made here. A stored program (tens of MB in one LONG RAW) then takes a sixteenth of the
// WAL frames, page writes and reads it takes at SQLite's 4 KiB. The price: every table and index takes 64 KiB
// at least, and a small change writes 64 KiB frames. A file keeps the page size it was made with.
constexpr int kNewFilePageSize = 65536;

// The WAL is checkpointed once it holds about this much, whatever the file's page size: SQLite's 1000 pages
// of 4 KiB. Counted in pages, 64 KiB pages would let the WAL grow to 64 MB before its pages reach the file.
constexpr int kCheckpointBytes = 1000 * 4096;

int pageSize(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    int size = 0;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        size = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return size;
}

} // namespace

sqlite3* openDatabase(const std::string& pathIn, bool create) {
    // A name starting "file:" would be taken as a URI with its own options: it is a file name here.
    const std::string path = pathIn.rfind("file:", 0) == 0 ? "./" + pathIn : pathIn;
    sqlite3* db = nullptr;
    // A connection belongs to one session, whose calls are serialised by its environment's lock.
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (path.empty() || sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw OraError(12154, "ORA-12154: TNS:could not resolve the connect identifier specified");
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs());
    // Double-quoted text is an identifier in Oracle, never a string.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // The page size only takes on a file still empty, so it comes before the switch to WAL writes the header.
    const std::string setup =
        (create ? "PRAGMA page_size=" + std::to_string(kNewFilePageSize) + ";" : "") +
        "PRAGMA journal_mode=WAL; PRAGMA case_sensitive_like=ON; PRAGMA foreign_keys=ON;";
    // A file that is no database (damaged) or cannot be read says so, not that the name is unknown.
    if (sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const OraError e = fileError(db, sqlite3_extended_errcode(db));
        sqlite3_close(db);
        throw e;
    }
    if (const int size = pageSize(db); size > 0)
        sqlite3_wal_autocheckpoint(db, std::max(1, kCheckpointBytes / size));
    registerOracleFunctions(db);
    return db;
}

namespace {

bool tableExists(sqlite3* db, const char* name) {
    sqlite3_stmt* st = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1, &st,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
        found = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    return found;
}

void execOrThrow(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db);
        sqlite3_free(err);
        throw OraError(600, "ORA-00600: internal error code, arguments: [" + msg + "]");
    }
}

void storeAccount(sqlite3* db, const std::string& upperUser, const std::string& storedPassword) {
    sqlite3_stmt* st = nullptr;
    const std::string sql = "INSERT OR REPLACE INTO " + quoteIdent(kUsersTable) + " VALUES (?, ?)";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    sqlite3_bind_text(st, 1, upperUser.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, storedPassword.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        throw mapSqliteError(db, rc, StatementKind::Insert, upperUser);
}

} // namespace

void ensureEngineTables(sqlite3* db) {
    execOrThrow(db, "BEGIN IMMEDIATE");
    try {
        execOrThrow(db, "CREATE TABLE IF NOT EXISTS " + quoteIdent(kUsersTable) +
                            " (USERNAME TEXT PRIMARY KEY, PASSWORD TEXT NOT NULL);"
                            "CREATE TABLE IF NOT EXISTS " +
                            quoteIdent(kSynonymsTable) + " (NAME TEXT PRIMARY KEY, TARGET TEXT NOT NULL)");
        // A file made before passwords were hashed: its accounts and synonyms move over; an account already
        // in the new table wins.
        if (tableExists(db, kLegacyUsersTable)) {
            std::vector<std::pair<std::string, std::string>> accounts;
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db,
                               ("SELECT USERNAME, PASSWORD FROM " + quoteIdent(kLegacyUsersTable)).c_str(),
                               -1, &st, nullptr);
            while (st && sqlite3_step(st) == SQLITE_ROW) {
                const auto* u = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
                if (u && p)
                    accounts.emplace_back(u, p);
            }
            sqlite3_finalize(st);
            for (const auto& [user, password] : accounts) {
                sqlite3_stmt* has = nullptr;
                sqlite3_prepare_v2(
                    db, ("SELECT 1 FROM " + quoteIdent(kUsersTable) + " WHERE USERNAME = ?").c_str(), -1,
                    &has, nullptr);
                sqlite3_bind_text(has, 1, user.c_str(), -1, SQLITE_TRANSIENT);
                const bool present = sqlite3_step(has) == SQLITE_ROW;
                sqlite3_finalize(has);
                if (!present)
                    storeAccount(db, upperCase(user),
                                 isPasswordHash(password) ? password : hashPassword(password));
            }
            execOrThrow(db, "DROP TABLE " + quoteIdent(kLegacyUsersTable));
        }
        if (tableExists(db, kLegacySynonymsTable)) {
            execOrThrow(db, "INSERT OR IGNORE INTO " + quoteIdent(kSynonymsTable) +
                                " SELECT NAME, TARGET FROM " + quoteIdent(kLegacySynonymsTable) +
                                "; DROP TABLE " + quoteIdent(kLegacySynonymsTable));
        }
        execOrThrow(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void putAccount(sqlite3* db, const std::string& user, const std::string& password) {
    storeAccount(db, upperCase(user), hashPassword(password));
}

OraError mapSqliteError(sqlite3* db, int rc, StatementKind kind, const std::string& schema) {
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (const int code = leadingOraCode(msg.c_str()))
        return OraError(code, msg);
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    switch (ext) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY: {
        // SQLite names the columns: the constraint's name comes from the DDL that made it; a key the DDL
        // did not name gets a stable system-style name.
        const std::string cols = afterPrefix(msg, "failed: ");
        std::string name = db ? uniqueConstraintName(db, cols) : std::string();
        if (name.empty()) {
            std::uint32_t h = 2166136261u;
            for (char c : upperCase(cols))
                h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
            char buf[32];
            std::snprintf(buf, sizeof buf, "SYS_C%07u", h % 10000000u);
            name = buf;
        }
        return OraError(1, "ORA-00001: unique constraint (" + schema + "." + name + ") violated");
    }
    case SQLITE_CONSTRAINT_NOTNULL: {
        const std::string path = columnPath(schema, afterPrefix(msg, "failed: "));
        if (kind == StatementKind::Update)
            return OraError(1407, "ORA-01407: cannot update " + path + " to NULL");
        return OraError(1400, "ORA-01400: cannot insert NULL into " + path);
    }
    case SQLITE_CONSTRAINT_CHECK:
        return OraError(2290, "ORA-02290: check constraint (" + schema + "." +
                                  upperCase(afterPrefix(msg, "failed: ")) + ") violated");
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return OraError(2291, "ORA-02291: integrity constraint (" + schema +
                                  ".SYS_C0000000) violated - parent key not found");
    default:
        break;
    }
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return OraError(54, "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired");
    case SQLITE_TOOBIG:
        return OraError(910, "ORA-00910: specified length too long for its datatype");
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
        return fileError(db, ext);
    default:
        break;
    }
    if (msg.rfind("no such table: ", 0) == 0)
        return OraError(942, "ORA-00942: table or view does not exist");
    if (const auto at = msg.find(" has no column named "); at != std::string::npos)
        return OraError(904, "ORA-00904: \"" + oracleName(msg.substr(at + 21)) + "\": invalid identifier");
    if (msg.rfind("no such column: ", 0) == 0)
        return OraError(904, "ORA-00904: \"" + oracleName(msg.substr(16)) + "\": invalid identifier");
    if (msg.rfind("ambiguous column name", 0) == 0)
        return OraError(918, "ORA-00918: column ambiguously defined");
    if (msg.find("values were supplied") != std::string::npos ||
        msg.find("values for") != std::string::npos) {
        int have = 0, given = 0;
        if (std::sscanf(msg.c_str(), "table %*s has %d columns but %d values were supplied", &have, &given) ==
                2 ||
            std::sscanf(msg.c_str(), "%d values for %d columns", &given, &have) == 2) {
            if (given > have)
                return OraError(913, "ORA-00913: too many values");
        }
        return OraError(947, "ORA-00947: not enough values");
    }
    if (msg.find("incomplete input") != std::string::npos)
        return OraError(900, "ORA-00900: invalid SQL statement");
    if (msg.find("syntax error") != std::string::npos)
        return OraError(933, "ORA-00933: SQL command not properly ended");
    if (msg.find("already exists") != std::string::npos)
        return OraError(955, "ORA-00955: name is already used by an existing object");
    return OraError(600, "ORA-00600: internal error code, arguments: [" + std::to_string(ext) + "], [" + msg +
                             "]");
}

std::uint32_t tableObjectNumber(const std::string& upperTable) {
    // FNV-1a of the name: the same table keeps its number across processes and file copies.
    std::uint32_t h = 2166136261u;
    for (char c : upperTable)
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    h &= 0x7FFFFFFu;
    return h == 0 ? 1 : h;
}

Connection::Connection(const std::string& path, const std::string& user, const std::string& password)
    : path_(path), user_(upperCase(user)) {
    db_ = openDatabase(path, false);
    legacy_ = !tableExists(db_, kUsersTable) && tableExists(db_, kLegacyUsersTable);
    usersSql_ = quoteIdent(legacy_ ? kLegacyUsersTable : kUsersTable);
    synonymsSql_ = quoteIdent(legacy_ ? kLegacySynonymsTable : kSynonymsTable);
    bool ok = false;
    sqlite3_stmt* st = nullptr;
    const std::string sql = "SELECT PASSWORD FROM " + usersSql_ + " WHERE USERNAME = ?";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, user_.c_str(), -1, SQLITE_TRANSIENT);
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            const char* stored = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            // A legacy file keeps plain text until ocisqlite-admin create upgrades it.
            ok = stored && (legacy_ ? password == stored : verifyPassword(password, stored));
        } else if (rc != SQLITE_DONE) {
            sqlite3_finalize(st);
            OraError e = mapSqliteError(db_, rc, StatementKind::Select, user_);
            sqlite3_close(db_);
            db_ = nullptr;
            throw e;
        }
    }
    sqlite3_finalize(st);
    if (!ok) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw OraError(1017, "ORA-01017: invalid username/password; logon denied");
    }
    // Without its row locks the server would let two sessions change the same row: no session then.
    try {
        locks_ = sharedLocks(path_);
        sid_ = locks_->openSession(user_);
    } catch (const std::exception&) {
        locks_.reset();
        sqlite3_close(db_);
        db_ = nullptr;
        throw OraError(1157, "ORA-01157: cannot identify/lock data file 2 - see DBWR trace file\n"
                             "ORA-01110: data file 2: '" +
                                 path_ + ".locks'");
    }
    sqlite3_create_function(db_, "ocisqlite_varchar", 4, SQLITE_UTF8, this, varcharCheck, nullptr, nullptr);
    sqlite3_create_function(db_, "ocisqlite_number", 1, SQLITE_UTF8, this, numberCheck, nullptr, nullptr);
    sqlite3_create_function(db_, "ocisqlite_number", 3, SQLITE_UTF8, this, numberCheck, nullptr, nullptr);
}

void Connection::installColumnChecks() {
    std::vector<std::string> tables;
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_,
                           "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' "
                           "AND upper(name) NOT LIKE 'OCISQLITE%'",
                           -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW)
            tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    auto literal = [](const std::string& s) {
        std::string out = "'";
        for (char c : s) {
            if (c == '\'')
                out += '\'';
            out += c;
        }
        return out + "'";
    };
    auto add = [](std::string& list, const std::string& sep, const std::string& item) {
        list += (list.empty() ? "" : sep) + item;
    };
    for (const std::string& table : tables) {
        // checks: BEFORE triggers raising Oracle's errors; fixes: what Oracle stores (NUMBER(p,s) rounded to
        // its scale, CHAR(n) blank-padded), which SQLite can only apply after the row is written.
        std::string checks, fixWhen, fixSet;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, ("PRAGMA table_info(" + quoteIdent(table) + ")").c_str(), -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const std::string column = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            const char* declp = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
            const std::string decl = upperCase(declp ? declp : "");
            const auto open = decl.find('(');
            const std::string base = decl.substr(0, open);
            const std::string col = "NEW." + quoteIdent(column);
            auto fix = [&](const std::string& function, const std::string& arg) {
                add(fixWhen, " OR ", col + " IS NOT " + function + "(" + col + ", " + arg + ")");
                add(fixSet, ", ",
                    quoteIdent(column) + " = " + function + "(" + quoteIdent(column) + ", " + arg + ")");
            };
            if (base == "VARCHAR2" || base == "VARCHAR" || base == "NVARCHAR2" || base == "CHAR" ||
                base == "NCHAR") {
                const long max = open == std::string::npos
                                     ? (base == "CHAR" || base == "NCHAR" ? 1 : 0)
                                     : std::strtol(decl.c_str() + open + 1, nullptr, 10);
                if (max > 0)
                    add(checks, ", ",
                        "ocisqlite_varchar(" + literal(oracleName(table)) + ", " +
                            literal(oracleName(column)) + ", " + col + ", " + std::to_string(max) + ")");
                if ((base == "CHAR" || base == "NCHAR") && max > 1)
                    fix("ocisqlite_pad", std::to_string(max));
            } else if (base == "NUMBER" && open != std::string::npos && decl.find('*') == std::string::npos) {
                const long precision = std::strtol(decl.c_str() + open + 1, nullptr, 10);
                const auto comma = decl.find(',', open);
                const long scale =
                    comma == std::string::npos ? 0 : std::strtol(decl.c_str() + comma + 1, nullptr, 10);
                add(checks, ", ",
                    "ocisqlite_number(" + col + ", " + std::to_string(precision) + ", " +
                        std::to_string(scale) + ")");
                fix("ocisqlite_store_number", std::to_string(scale));
            } else if (base == "NUMBER" || base == "INTEGER" || base == "FLOAT") {
                add(checks, ", ", "ocisqlite_number(" + col + ")");
            }
        }
        sqlite3_finalize(st);
        for (const char* event : {"INSERT", "UPDATE"}) {
            // Files made before the engine named its triggers so still hold the old names.
            const std::string legacy = quoteIdent("OCISQLITE_CHECK_" + upperCase(table) + "_" + event);
            sqlite3_exec(db_, ("DROP TRIGGER IF EXISTS " + legacy).c_str(), nullptr, nullptr, nullptr);
            const std::string check = quoteIdent("ocisqlite\"check " + table + " " + event);
            const std::string fixName = quoteIdent("ocisqlite\"fix " + table + " " + event);
            sqlite3_exec(db_,
                         ("DROP TRIGGER IF EXISTS " + check + "; DROP TRIGGER IF EXISTS " + fixName).c_str(),
                         nullptr, nullptr, nullptr);
            if (!checks.empty())
                sqlite3_exec(db_,
                             ("CREATE TRIGGER " + check + " BEFORE " + event + " ON " + quoteIdent(table) +
                              " BEGIN SELECT " + checks + "; END")
                                 .c_str(),
                             nullptr, nullptr, nullptr);
            if (!fixSet.empty())
                sqlite3_exec(db_,
                             ("CREATE TRIGGER " + fixName + " AFTER " + event + " ON " + quoteIdent(table) +
                              " WHEN " + fixWhen + " BEGIN UPDATE " + quoteIdent(table) + " SET " + fixSet +
                              " WHERE rowid = NEW.rowid; END")
                                 .c_str(),
                             nullptr, nullptr, nullptr);
        }
    }
}

Connection::~Connection() {
    for (auto& [sql, st] : cache_)
        sqlite3_finalize(st);
    if (locks_) {
        try {
            locks_->closeSession(sid_);
        } catch (const std::exception&) {
        }
    }
    // close_v2: statements still held by statement handles keep the connection until they are finalized.
    sqlite3_close_v2(db_);
}

void Connection::markLost() {
    if (lost_)
        return;
    lost_ = true;
    // The server dropped us: uncommitted work is gone, as after a server-side session kill.
    if (sqliteTxn_)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqliteTxn_ = false;
    logical_ = false;
    txnId_.clear();
    savepoints_.clear();
    if (locks_) {
        try {
            locks_->releaseAll(sid_);
        } catch (const std::exception&) {
        }
    }
}

void Connection::awaitAnswer() {
    switch (serverReach(path_, callTimeoutMs_, &markers_)) {
    case Reach::Answered:
        return;
    case Reach::TimedOut:
        markLost();
        throw OraError(3156, "ORA-03156: OCI call timed out");
    case Reach::Down:
    case Reach::Silent:
        break;
    }
    markLost();
    throw OraError(3113, "ORA-03113: end-of-file on communication channel");
}

sqlite3_stmt* Connection::cached(const char* sql) const {
    for (auto& [text, st] : cache_)
        if (text == sql) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            return st;
        }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    cache_.emplace_back(sql, st);
    return st;
}

bool Connection::hasTable(const std::string& name) const {
    // The engine's own tables are no client's business: SQLite's, and those of a legacy file.
    if (name.size() >= 7 && upperCase(name.substr(0, 7)) == "SQLITE_")
        return false;
    if (legacy_ && (name == kLegacyUsersTable || name == kLegacySynonymsTable))
        return false;
    sqlite3_stmt* st = cached("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    if (!st)
        return false;
    const std::string stored = sqliteName(name);
    sqlite3_bind_text(st, 1, stored.c_str(), -1, SQLITE_TRANSIENT);
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    return found;
}

std::optional<std::string> Connection::synonymTarget(const std::string& name) const {
    const std::string sql = "SELECT TARGET FROM " + synonymsSql_ + " WHERE NAME = ?";
    sqlite3_stmt* st = cached(sql.c_str());
    if (!st)
        return std::nullopt;
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    std::optional<std::string> target;
    if (sqlite3_step(st) == SQLITE_ROW)
        target = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_reset(st);
    return target;
}

std::vector<ColumnInfo> Connection::columns(const std::string& table) const {
    std::vector<ColumnInfo> cols;
    sqlite3_stmt* st = cached("SELECT name, type, \"notnull\" FROM pragma_table_info(?)");
    if (!st)
        return cols;
    const std::string stored = sqliteName(table);
    sqlite3_bind_text(st, 1, stored.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        cols.push_back({oracleName(n ? n : ""), t ? t : "", sqlite3_column_int(st, 2) != 0});
    }
    sqlite3_reset(st);
    return cols;
}

std::uint32_t Connection::objectNumber(const std::string& table) const {
    return table.empty() ? 0 : tableObjectNumber(table);
}

void Connection::addSynonym(const std::string& name, const std::string& target) {
    const std::string sql = "INSERT OR REPLACE INTO " + synonymsSql_ + " VALUES (?, ?)";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        exec(("CREATE TABLE IF NOT EXISTS " + synonymsSql_ + " (NAME TEXT PRIMARY KEY, TARGET TEXT NOT NULL)")
                 .c_str());
        sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    }
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, target.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        throw mapSqliteError(db_, rc, StatementKind::Insert, user_);
    schemaChanged();
}

void Connection::dropSynonym(const std::string& name) {
    const std::string sql = "DELETE FROM " + synonymsSql_ + " WHERE NAME = ?";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        OraError e = mapSqliteError(db_, sqlite3_errcode(db_), StatementKind::Drop, user_);
        sqlite3_finalize(st);
        throw e;
    }
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        throw mapSqliteError(db_, rc, StatementKind::Drop, user_);
    schemaChanged();
}

std::string Connection::columnType(const std::string& table, const std::string& column, bool* notNull) const {
    const char* decl = nullptr;
    int nn = 0, pk = 0;
    if (sqlite3_table_column_metadata(db_, nullptr, table.c_str(), column.c_str(), &decl, nullptr, &nn, &pk,
                                      nullptr) != SQLITE_OK)
        return {};
    if (notNull)
        *notNull = nn != 0 || pk != 0;
    return decl ? decl : "";
}

void Connection::exec(const char* sql, StatementKind kind) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw mapSqliteError(db_, rc, kind, user_);
}

void Connection::startLogical() {
    if (logical_)
        return;
    logical_ = true;
    if (locks_) {
        try {
            txnId_ = locks_->newTransactionId(sid_);
            return;
        } catch (const std::exception&) {
        }
    }
    txnId_ = std::to_string(sid_) + "." + std::to_string(sid_ % 32) + "." + std::to_string(++txnSeq_);
}

void Connection::beginWrite() {
    if (!sqliteTxn_) {
        exec("BEGIN IMMEDIATE");
        sqliteTxn_ = true;
    }
    startLogical();
}

void Connection::beginStatement() {
    beginWrite();
    exec("SAVEPOINT OCISQLITE_STMT");
}

void Connection::endStatement(bool ok) {
    if (!ok)
        sqlite3_exec(db_, "ROLLBACK TO OCISQLITE_STMT", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "RELEASE OCISQLITE_STMT", nullptr, nullptr, nullptr);
    // Some SQLite errors (I/O, full disk) end the whole transaction.
    if (sqlite3_get_autocommit(db_))
        sqliteTxn_ = false;
}

void Connection::commit() {
    if (sqliteTxn_) {
        exec("COMMIT");
        sqliteTxn_ = false;
    }
    logical_ = false;
    txnId_.clear();
    savepoints_.clear();
    if (locks_)
        locks_->releaseAll(sid_);
}

void Connection::rollback() {
    if (sqliteTxn_) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqliteTxn_ = false;
    }
    logical_ = false;
    txnId_.clear();
    savepoints_.clear();
    // Also used on the way out of failures: it never throws.
    if (locks_) {
        try {
            locks_->releaseAll(sid_);
        } catch (const std::exception&) {
        }
    }
}

void Connection::savepoint(const std::string& name) {
    Savepoint sp;
    sp.name = name;
    if (locks_)
        sp.lockMark = locks_->mark();
    sp.inSqlite = sqliteTxn_;
    if (sp.inSqlite)
        exec(("SAVEPOINT " + quoteIdent(name)).c_str());
    // Reusing a name moves the savepoint.
    savepoints_.erase(std::remove_if(savepoints_.begin(), savepoints_.end(),
                                     [&](const Savepoint& s) { return s.name == name; }),
                      savepoints_.end());
    savepoints_.push_back(sp);
}

void Connection::rollbackTo(const std::string& name) {
    auto it = std::find_if(savepoints_.rbegin(), savepoints_.rend(),
                           [&](const Savepoint& s) { return s.name == name; });
    if (it == savepoints_.rend())
        throw OraError(1086,
                       "ORA-01086: savepoint '" + name + "' never established in this session or is invalid");
    const Savepoint sp = *it;
    savepoints_.erase(it.base(), savepoints_.end());
    if (locks_)
        locks_->releaseAfter(sid_, sp.lockMark);
    if (sqliteTxn_) {
        if (sp.inSqlite) {
            exec(("ROLLBACK TO " + quoteIdent(name)).c_str());
        } else {
            // Set before the first change: undo everything and free the write lock early.
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqliteTxn_ = false;
        }
    }
}

void Connection::setModule(const std::string* module, const std::string* action) {
    if (locks_) {
        std::optional<std::string> m, a;
        if (module)
            m = *module;
        if (action)
            a = *action;
        locks_->setModule(sid_, m, a);
    }
}

void Connection::setClientInfo(const std::string* info) {
    if (locks_) {
        std::optional<std::string> i;
        if (info)
            i = *info;
        locks_->setClientInfo(sid_, i);
    }
}

} // namespace ocisqlite
