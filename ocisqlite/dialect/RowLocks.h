// Row locks and the session list of one database file, shared by every session of every process.
// They live in a sidecar SQLite file "<database>.locks", always touched in short autocommit statements, so
// holding a row lock never holds a SQLite lock on the database itself.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace ocisqlite {

// One row of V$SESSION.
struct SessionInfo {
    std::int64_t sid = 0;
    std::string username;
    std::optional<std::string> module, action, clientInfo;
    std::int64_t pid = 0;
};

// Thread-safe; one instance per database file and process is enough, its sessions share it.
// A lock owner is a session id (SID). An owner is alive while its session row exists and its process
// runs; rows of dead processes are purged on the way (a crash releases every lock of that process).
class RowLocks {
public:
    // Opens (creating when missing) "<databasePath>.locks". Throws std::runtime_error when it cannot.
    explicit RowLocks(const std::string& databasePath);
    ~RowLocks();
    RowLocks(const RowLocks&) = delete;
    RowLocks& operator=(const RowLocks&) = delete;

    const std::string& sidecarPath() const { return path_; }

    // Sessions (V$SESSION). The SID is unique among the sessions of this database file.
    std::int64_t openSession(const std::string& username);
    void closeSession(std::int64_t sid); // also releases its row locks
    // DBMS_APPLICATION_INFO: values cut at 48 (module), 32 (action), 64 (client info) bytes on a UTF-8
    // character boundary; nullopt (or '') clears.
    void setModule(std::int64_t sid, const std::optional<std::string>& module,
                   const std::optional<std::string>& action);
    void setClientInfo(std::int64_t sid, const std::optional<std::string>& clientInfo);
    std::vector<SessionInfo> sessions(); // live sessions, by SID
    // (Re)fills temp."ocisqlite""v$session"(SID, USERNAME, MODULE, ACTION, CLIENT_INFO) on the session's own
    // connection; the translator maps V$SESSION to that table. Returns the SQLite result code.
    int fillSessionView(sqlite3* db);

    // Locks one or several rows of a table for sid: all or none. Rows sid holds already stay as they are.
    // waitMs 0 is NOWAIT: ORA-00054 at once when another live owner holds one of them; otherwise waits up to
    // waitMs for the holder to finish, then ORA-00054. Throws OraError 54.
    void lock(std::int64_t sid, const std::string& table, const std::vector<std::int64_t>& rowids,
              int waitMs);
    void lock(std::int64_t sid, const std::string& table, std::int64_t rowid, int waitMs) {
        lock(sid, table, std::vector<std::int64_t>{rowid}, waitMs);
    }
    // Who holds the row, 0 when nobody alive does.
    std::int64_t holder(const std::string& table, std::int64_t rowid);

    // Savepoints: mark() at SAVEPOINT, releaseAfter(mark) at ROLLBACK TO, releaseAll at COMMIT/ROLLBACK.
    std::int64_t mark();
    void releaseAfter(std::int64_t sid, std::int64_t mark);
    void releaseAll(std::int64_t sid);

    // Drops sessions and locks of processes that are gone; returns how many sessions went.
    int purgeDead();

    // A new local transaction id "usn.slot.seq" for sid, unique in this database file.
    std::string newTransactionId(std::int64_t sid);

private:
    void exec(const char* sql);
    bool ownerAlive(std::int64_t sid);

    std::string path_;
    sqlite3* db_ = nullptr;
    std::recursive_mutex mutex_;
};

} // namespace ocisqlite
