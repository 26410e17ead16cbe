#include "RowLocks.h"

#include "Translator.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace ocisqlite {

namespace {

// Clock ticks since boot at which the process started (field 22 of /proc/<pid>/stat), 0 when unknown.
// Together with the pid it tells a live owner from a later process that got the same pid.
long long processStartTime(long long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!in || !std::getline(in, stat))
        return 0;
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    // After "pid (comm) " the state is field 3; the start time is field 22.
    for (int i = 3; i <= 22; ++i)
        if (!(fields >> field))
            return 0;
    return std::atoll(field.c_str());
}

bool processAlive(long long pid, long long startTime) {
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    const long long now = processStartTime(pid);
    return startTime == 0 || now == 0 || now == startTime;
}

// Cuts a UTF-8 text to at most max bytes without splitting a character; '' becomes NULL.
std::optional<std::string> cut(const std::optional<std::string>& value, std::size_t max) {
    if (!value || value->empty())
        return std::nullopt;
    if (value->size() <= max)
        return value;
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>((*value)[n]) & 0xC0) == 0x80)
        --n;
    if (n == 0)
        return std::nullopt;
    return value->substr(0, n);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("lock registry: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, long long v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, const std::optional<std::string>& v) {
        if (v)
            return bind(i, *v);
        sqlite3_bind_null(stmt_, i);
        return *this;
    }
    // True while a row is available.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw std::runtime_error(std::string("lock registry: ") + sqlite3_errmsg(db_));
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    long long integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    bool null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    std::optional<std::string> text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        if (!p)
            return std::nullopt;
        return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)));
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE .. COMMIT, rolled back when left by an exception.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db) : db_(db) {
        if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("lock registry: ") + sqlite3_errmsg(db));
    }
    ~WriteTransaction() {
        if (open_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit() {
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("lock registry: ") + sqlite3_errmsg(db_));
        open_ = false;
    }

private:
    sqlite3* db_;
    bool open_ = true;
};

} // namespace

RowLocks::RowLocks(const std::string& databasePath) : path_(databasePath + ".locks") {
    if (sqlite3_open_v2(path_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("lock registry " + path_ + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 10000);
    try {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec("CREATE TABLE IF NOT EXISTS sessions (sid INTEGER PRIMARY KEY AUTOINCREMENT, username TEXT, "
             "module TEXT, action TEXT, client_info TEXT, pid INTEGER, start_time INTEGER)");
        exec(
            "CREATE TABLE IF NOT EXISTS rowlocks (tab TEXT NOT NULL, rid INTEGER NOT NULL, owner INTEGER NOT "
            "NULL, seq INTEGER NOT NULL, PRIMARY KEY (tab, rid)) WITHOUT ROWID");
        exec("CREATE INDEX IF NOT EXISTS rowlocks_owner ON rowlocks (owner, seq)");
        exec("CREATE TABLE IF NOT EXISTS counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL)");
        exec("INSERT OR IGNORE INTO counters VALUES ('seq', 0), ('txn', 0)");
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

RowLocks::~RowLocks() {
    sqlite3_close(db_);
}

void RowLocks::exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw std::runtime_error("lock registry: " + msg);
    }
}

bool RowLocks::ownerAlive(std::int64_t sid) {
    Statement q(db_, "SELECT pid, start_time FROM sessions WHERE sid = ?");
    q.bind(1, sid);
    if (!q.step())
        return false;
    const long long pid = q.integer(0);
    return pid == ::getpid() || processAlive(pid, q.integer(1));
}

int RowLocks::purgeDead() {
    std::lock_guard lock(mutex_);
    std::vector<long long> dead;
    {
        Statement q(db_, "SELECT sid, pid, start_time FROM sessions");
        while (q.step())
            if (q.integer(1) != ::getpid() && !processAlive(q.integer(1), q.integer(2)))
                dead.push_back(q.integer(0));
    }
    if (dead.empty())
        return 0;
    WriteTransaction tx(db_);
    Statement delLocks(db_, "DELETE FROM rowlocks WHERE owner = ?");
    Statement delSession(db_, "DELETE FROM sessions WHERE sid = ?");
    for (long long sid : dead) {
        delLocks.bind(1, sid).step();
        delLocks.reset();
        delSession.bind(1, sid).step();
        delSession.reset();
    }
    tx.commit();
    return static_cast<int>(dead.size());
}

std::int64_t RowLocks::openSession(const std::string& username) {
    std::lock_guard lock(mutex_);
    purgeDead();
    Statement ins(db_, "INSERT INTO sessions (username, pid, start_time) VALUES (?, ?, ?)");
    ins.bind(1, username).bind(2, static_cast<long long>(::getpid())).bind(3, processStartTime(::getpid()));
    ins.step();
    return sqlite3_last_insert_rowid(db_);
}

void RowLocks::closeSession(std::int64_t sid) {
    std::lock_guard lock(mutex_);
    WriteTransaction tx(db_);
    Statement(db_, "DELETE FROM rowlocks WHERE owner = ?").bind(1, sid).step();
    Statement(db_, "DELETE FROM sessions WHERE sid = ?").bind(1, sid).step();
    tx.commit();
}

void RowLocks::setModule(std::int64_t sid, const std::optional<std::string>& module,
                         const std::optional<std::string>& action) {
    std::lock_guard lock(mutex_);
    Statement q(db_, "UPDATE sessions SET module = ?, action = ? WHERE sid = ?");
    q.bind(1, cut(module, 48)).bind(2, cut(action, 32)).bind(3, sid).step();
}

void RowLocks::setClientInfo(std::int64_t sid, const std::optional<std::string>& clientInfo) {
    std::lock_guard lock(mutex_);
    Statement q(db_, "UPDATE sessions SET client_info = ? WHERE sid = ?");
    q.bind(1, cut(clientInfo, 64)).bind(2, sid).step();
}

std::vector<SessionInfo> RowLocks::sessions() {
    std::lock_guard lock(mutex_);
    purgeDead();
    std::vector<SessionInfo> out;
    Statement q(db_, "SELECT sid, username, module, action, client_info, pid FROM sessions ORDER BY sid");
    while (q.step()) {
        SessionInfo s;
        s.sid = q.integer(0);
        s.username = q.text(1).value_or("");
        s.module = q.text(2);
        s.action = q.text(3);
        s.clientInfo = q.text(4);
        s.pid = q.integer(5);
        out.push_back(std::move(s));
    }
    return out;
}

int RowLocks::fillSessionView(sqlite3* db) {
    const std::vector<SessionInfo> list = sessions();
    int rc = sqlite3_exec(
        db,
        "CREATE TEMP TABLE IF NOT EXISTS \"ocisqlite\"\"v$session\" (SID NUMBER, USERNAME VARCHAR2(128), "
        "MODULE VARCHAR2(48), ACTION VARCHAR2(32), CLIENT_INFO VARCHAR2(64));"
        "DELETE FROM temp.\"ocisqlite\"\"v$session\"",
        nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_stmt* ins = nullptr;
    rc = sqlite3_prepare_v2(db, "INSERT INTO temp.\"ocisqlite\"\"v$session\" VALUES (?, ?, ?, ?, ?)", -1,
                            &ins, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    auto text = [&](int i, const std::optional<std::string>& v) {
        if (v)
            sqlite3_bind_text(ins, i, v->data(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(ins, i);
    };
    for (const SessionInfo& s : list) {
        sqlite3_bind_int64(ins, 1, s.sid);
        text(2, s.username.empty() ? std::nullopt : std::optional<std::string>(s.username));
        text(3, s.module);
        text(4, s.action);
        text(5, s.clientInfo);
        rc = sqlite3_step(ins);
        sqlite3_reset(ins);
        if (rc != SQLITE_DONE)
            break;
        rc = SQLITE_OK;
    }
    sqlite3_finalize(ins);
    return rc;
}

void RowLocks::lock(std::int64_t sid, const std::string& table, const std::vector<std::int64_t>& rowids,
                    int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            WriteTransaction tx(db_);
            Statement find(db_, "SELECT owner FROM rowlocks WHERE tab = ? AND rid = ?");
            std::int64_t busyBy = 0;
            std::vector<std::int64_t> stale;
            for (std::int64_t rid : rowids) {
                find.bind(1, table).bind(2, rid);
                if (find.step()) {
                    const std::int64_t owner = find.integer(0);
                    if (owner != sid) {
                        if (ownerAlive(owner)) {
                            busyBy = owner;
                            find.reset();
                            break;
                        }
                        stale.push_back(owner);
                    }
                }
                find.reset();
            }
            // Locks of a session whose process is gone are free.
            for (std::int64_t owner : stale) {
                Statement(db_, "DELETE FROM rowlocks WHERE owner = ?").bind(1, owner).step();
                Statement(db_, "DELETE FROM sessions WHERE sid = ?").bind(1, owner).step();
            }
            if (busyBy == 0) {
                Statement seq(db_,
                              "UPDATE counters SET value = value + 1 WHERE name = 'seq' RETURNING value");
                seq.step();
                const long long mark = seq.integer(0);
                while (seq.step()) {
                }
                // Rows this session holds already keep their older sequence number (and so survive a
                // roll-back to a savepoint set after they were locked).
                Statement ins(db_,
                              "INSERT OR IGNORE INTO rowlocks (tab, rid, owner, seq) VALUES (?, ?, ?, ?)");
                for (std::int64_t rid : rowids) {
                    ins.bind(1, table).bind(2, rid).bind(3, sid).bind(4, mark).step();
                    ins.reset();
                }
                tx.commit();
                return;
            }
            tx.commit(); // keeps the purge of stale owners
        }
        if (std::chrono::steady_clock::now() >= deadline)
            throw OraError(54,
                           "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::int64_t RowLocks::holder(const std::string& table, std::int64_t rowid) {
    std::lock_guard lock(mutex_);
    Statement q(db_, "SELECT owner FROM rowlocks WHERE tab = ? AND rid = ?");
    q.bind(1, table).bind(2, rowid);
    if (!q.step())
        return 0;
    const std::int64_t owner = q.integer(0);
    return ownerAlive(owner) ? owner : 0;
}

std::int64_t RowLocks::mark() {
    std::lock_guard lock(mutex_);
    Statement q(db_, "SELECT value FROM counters WHERE name = 'seq'");
    return q.step() ? q.integer(0) : 0;
}

void RowLocks::releaseAfter(std::int64_t sid, std::int64_t mark) {
    std::lock_guard lock(mutex_);
    Statement(db_, "DELETE FROM rowlocks WHERE owner = ? AND seq > ?").bind(1, sid).bind(2, mark).step();
}

void RowLocks::releaseAll(std::int64_t sid) {
    std::lock_guard lock(mutex_);
    Statement(db_, "DELETE FROM rowlocks WHERE owner = ?").bind(1, sid).step();
}

std::string RowLocks::newTransactionId(std::int64_t sid) {
    std::lock_guard lock(mutex_);
    Statement q(db_, "UPDATE counters SET value = value + 1 WHERE name = 'txn' RETURNING value");
    q.step();
    const long long seq = q.integer(0);
    while (q.step()) {
    }
    // usn.slot.seq: the session picks the undo segment and slot, the sequence makes it unique.
    return std::to_string(1 + sid % 10) + "." + std::to_string(sid % 48) + "." + std::to_string(seq);
}

} // namespace ocisqlite
