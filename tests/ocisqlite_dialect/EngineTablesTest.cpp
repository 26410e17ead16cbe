// The engine's own data: accounts stored as salted hashes, its tables out of every client's reach (also in a
// file made before the hashes, until ocisqlite-admin upgrades it), the row-lock sidecar that a session
// cannot do without, and database files that are damaged or read-only.
#include "Connection.h"
#include "OciSession.h"
#include "PasswordHash.h"
#include "ServerTools.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace ocisqlite;
using namespace ocisqlite::test;

namespace {

std::string hexOf(const std::vector<std::uint8_t>& v) {
    return hex(v.data(), v.size());
}

// Rows of a plain SQLite query on the file, each row's columns joined by '|'.
std::vector<std::string> rawRows(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                std::string row;
                for (int i = 0; i < sqlite3_column_count(st); ++i) {
                    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                    row += (i ? "|" : "") + std::string(t ? t : "~");
                }
                rows.push_back(row);
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

std::string sessionError(const std::string& db, const std::string& user, const std::string& password) {
    try {
        Session s(db, user, password);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(PasswordHash, KnownVectorsAndSaltedRoundTrip) {
    EXPECT_EQ(hexOf(sha256("abc")), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_EQ(hexOf(sha256(std::string(1000, 'a'))),
              "41EDECE42D63E8D9BF515A9BA6932E1C20CBC9F5A5D134645ADB5DB1B9737EA3");
    // RFC 7914, section 11; a key longer than the block is hashed first.
    EXPECT_EQ(hexOf(pbkdf2Sha256("passwd", "salt", 1, 64)),
              "55AC046E56E3089FEC1691C22544B605F94185216DDE0465E68B9D57C20DACBC49CA9CCCF179B645991664B39D77EF"
              "317C71B845B1E30BD509112041D3A19783");
    EXPECT_EQ(hexOf(pbkdf2Sha256(std::string(100, 'k'), "salt", 2, 40)),
              "2C1357648009149F57E4D5544C3435BBCA87A6B231300FA3ABB2A89B50F56EC3EB3E22CE8267E0FE");

    const std::string a = hashPassword("kmr2026"), b = hashPassword("kmr2026");
    EXPECT_NE(a, b); // a fresh salt each time
    EXPECT_TRUE(isPasswordHash(a));
    EXPECT_TRUE(verifyPassword("kmr2026", a));
    EXPECT_TRUE(verifyPassword("kmr2026", b));
    EXPECT_FALSE(verifyPassword("kmr2027", a));
    EXPECT_FALSE(verifyPassword("", a));
    EXPECT_FALSE(isPasswordHash("kmr2026"));
    EXPECT_FALSE(verifyPassword("kmr2026", "kmr2026"));
    EXPECT_FALSE(verifyPassword("x", "pbkdf2-sha256$0$00$00"));
}

TEST(EngineTables, AccountsAreStoredAsSaltedHashes) {
    const TTempFolder dir("ocisqlite_accounts");
    const std::string db = dir.File("srv.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");
    ASSERT_EQ(CreateServerFile(db, "scott", "secret"), "");
    const auto rows = rawRows(db, "SELECT USERNAME, PASSWORD FROM \"ocisqlite\"\"users\" ORDER BY USERNAME");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].substr(0, 6), "ADMIN|");
    EXPECT_EQ(rows[1].substr(0, 6), "SCOTT|");
    EXPECT_TRUE(isPasswordHash(rows[0].substr(6)));
    EXPECT_NE(rows[0].substr(6), rows[1].substr(6)); // same password, different salt
    EXPECT_EQ(rows[0].find("secret"), std::string::npos);

    EXPECT_EQ(sessionError(db, "admin", "secret"), "");
    EXPECT_EQ(sessionError(db, "admin", "Secret"),
              "OCISessionBegin: ORA-01017: invalid username/password; logon denied");
    // create again replaces the password
    ASSERT_EQ(CreateServerFile(db, "scott", "tiger"), "");
    EXPECT_EQ(sessionError(db, "scott", "tiger"), "");
    EXPECT_NE(sessionError(db, "scott", "secret"), "");
}

// Every statement kind that could name a table, against the engine's tables of a legacy file.
const char* const kReachingStatements[] = {
    "SELECT * FROM OCISQLITE_USERS",
    "select password from ocisqlite_users where username = 'ADMIN'",
    "SELECT * FROM T WHERE EXISTS (SELECT 1 FROM OCISQLITE_USERS)",
    "SELECT * FROM T, OCISQLITE_SYNONYMS",
    "INSERT INTO OCISQLITE_USERS VALUES ('EVE', 'x')",
    "INSERT INTO T SELECT 1 FROM OCISQLITE_USERS",
    "UPDATE OCISQLITE_USERS SET PASSWORD = 'x'",
    "DELETE FROM OCISQLITE_USERS",
    "DROP TABLE OCISQLITE_USERS",
    "ALTER TABLE OCISQLITE_SYNONYMS RENAME TO FOO",
    "ALTER TABLE OCISQLITE_USERS ADD (X NUMBER)",
    "CREATE INDEX IX_EVE ON OCISQLITE_USERS (USERNAME)",
    "CREATE TABLE EVE AS SELECT * FROM OCISQLITE_SYNONYMS",
    "SELECT * FROM sqlite_master",
    "SELECT * FROM \"sqlite_master\"",
    "SELECT * FROM sqlite_temp_master",
    "SELECT * FROM OCISQLITE_USERS FOR UPDATE NOWAIT",
    "WITH W AS (SELECT * FROM OCISQLITE_USERS) SELECT * FROM W",
    "SELECT * FROM T WHERE ID IN (SELECT 1 FROM OCISQLITE_USERS UNION SELECT 2 FROM T)",
    "UPDATE T SET ID = (SELECT COUNT(*) FROM OCISQLITE_USERS)",
    "DELETE FROM T WHERE EXISTS (SELECT 1 FROM OCISQLITE_SYNONYMS)",
    "MERGE INTO OCISQLITE_USERS U USING T ON (U.USERNAME = 'X') WHEN MATCHED THEN UPDATE SET U.PASSWORD = "
    "'x'",
    "MERGE INTO T USING OCISQLITE_USERS U ON (T.ID = 1) WHEN NOT MATCHED THEN INSERT (ID) VALUES (2)",
    "TRUNCATE TABLE OCISQLITE_USERS",
    "DROP TABLE OCISQLITE_SYNONYMS",
    // The engine's own tables and the session view under their real names.
    "SELECT * FROM \"ocisqlite\"\"users\"",
    "INSERT INTO \"ocisqlite\"\"synonyms\" VALUES ('X', 'T')",
    "SELECT * FROM temp.\"ocisqlite\"\"v$session\"",
    "DELETE FROM \"ocisqlite\"\"v$session\"",
};

TEST(EngineTables, NoClientStatementReachesThemAndCreateUpgradesALegacyFile) {
    const TTempFolder dir("ocisqlite_legacy");
    const std::string db = dir.File("old.db");
    {
        // A file as ocisqlite-admin made it before passwords were hashed.
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(h,
                         "CREATE TABLE OCISQLITE_USERS (USERNAME TEXT PRIMARY KEY, PASSWORD TEXT NOT NULL);"
                         "CREATE TABLE OCISQLITE_SYNONYMS (NAME TEXT PRIMARY KEY, TARGET TEXT NOT NULL);"
                         "INSERT INTO OCISQLITE_USERS VALUES ('ADMIN', 'secret');"
                         "INSERT INTO OCISQLITE_SYNONYMS VALUES ('S', 'T');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(h);
    }
    {
        Session s(db, "ADMIN", "secret");
        ASSERT_EQ(execute(s, "CREATE TABLE T (ID NUMBER(9))", {}, {}).error, "");
        ASSERT_EQ(execute(s, "INSERT INTO T VALUES (1)", {}, {}).error, "");
        EXPECT_EQ(execute(s, "SELECT ID FROM S", {}, {}).rows.size(), 1u); // its synonym still works
        for (const char* sql : kReachingStatements) {
            SCOPED_TRACE(sql);
            EXPECT_EQ(execute(s, sql, {}, {}).error, "ORA-00942: table or view does not exist");
        }
        // A synonym may name anything, as in Oracle, but leads nowhere.
        ASSERT_EQ(execute(s, "CREATE SYNONYM EVE FOR OCISQLITE_USERS", {}, {}).error, "");
        EXPECT_EQ(execute(s, "SELECT * FROM EVE", {}, {}).error,
                  "ORA-00980: synonym translation is no longer valid");
        EXPECT_EQ(execute(s, "DROP SYNONYM EVE", {}, {}).error, "");
        OCITransCommit(s.svc_, s.err_, OCI_DEFAULT);
    }
    EXPECT_EQ(rawRows(db, "SELECT count(*) FROM OCISQLITE_USERS WHERE PASSWORD = 'secret'"),
              std::vector<std::string>{"1"});

    // The next create moves the accounts (hashed) and synonyms over and drops the old tables.
    ASSERT_EQ(CreateServerFile(db, "OTHER", "x"), "");
    EXPECT_TRUE(rawRows(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name GLOB 'OCISQLITE*'")
                    .empty());
    const auto accounts = rawRows(db, "SELECT USERNAME, PASSWORD FROM \"ocisqlite\"\"users\" ORDER BY 1");
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_TRUE(isPasswordHash(accounts[0].substr(accounts[0].find('|') + 1)));
    EXPECT_TRUE(verifyPassword("secret", accounts[0].substr(accounts[0].find('|') + 1)));
    {
        Session s(db, "ADMIN", "secret");
        EXPECT_EQ(execute(s, "SELECT ID FROM S", {}, {}).rows.size(), 1u);
        for (const char* sql : kReachingStatements) {
            SCOPED_TRACE(sql);
            const std::string error = execute(s, sql, {}, {}).error;
            if (std::string(sql).rfind("CREATE TABLE EVE", 0) == 0 ||
                std::string(sql).rfind("INSERT INTO T", 0) == 0)
                continue; // names that are free now
            EXPECT_EQ(error, "ORA-00942: table or view does not exist");
        }
        OCITransRollback(s.svc_, s.err_, OCI_DEFAULT);
    }
    EXPECT_EQ(sessionError(db, "ADMIN", "wrong"),
              "OCISessionBegin: ORA-01017: invalid username/password; logon denied");
}

TEST(EngineTables, ASessionNeedsItsRowLockSidecar) {
    const TTempFolder dir("ocisqlite_sidecar");
    const std::string db = dir.File("srv.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");
    const std::string sidecar = db + ".locks";
    const std::string refused =
        "OCISessionBegin: ORA-01157: cannot identify/lock data file 2 - see DBWR trace "
        "file\nORA-01110: data file 2: '" +
        sidecar + "'";
    std::filesystem::remove(sidecar);
    std::filesystem::create_directory(sidecar); // a folder in its place
    EXPECT_EQ(sessionError(db, "ADMIN", "secret"), refused);
    std::filesystem::remove(sidecar);
    {
        std::ofstream damaged(sidecar, std::ios::binary);
        damaged << std::string(8192, 'x');
    }
    EXPECT_EQ(sessionError(db, "ADMIN", "secret"), refused);
    std::filesystem::remove(sidecar);

    // With the sidecar back, a second session finds the first one's row lock.
    Session a(db, "ADMIN", "secret");
    Session b(db, "ADMIN", "secret");
    ASSERT_EQ(execute(a, "CREATE TABLE T (ID NUMBER(9))", {}, {}).error, "");
    ASSERT_EQ(execute(a, "INSERT INTO T VALUES (1)", {}, {}).error, "");
    ASSERT_EQ(OCITransCommit(a.svc_, a.err_, OCI_DEFAULT), OCI_SUCCESS);
    ASSERT_EQ(execute(a, "SELECT * FROM T WHERE ID = 1 FOR UPDATE NOWAIT", {}, {}).error, "");
    EXPECT_EQ(execute(b, "SELECT * FROM T WHERE ID = 1 FOR UPDATE NOWAIT", {}, {}).error,
              "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired");
    OCITransRollback(a.svc_, a.err_, OCI_DEFAULT);
}

} // namespace

namespace {

// Runs body in a child process that cannot write what only its owner may write (as root: the nobody user).
// Returns the child's exit status; 77 when the child could not give up its rights.
int asUnprivilegedChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(77);
        int rc = 1;
        try {
            rc = body();
        } catch (...) {
            rc = 2;
        }
        _exit(rc);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST(DatabaseFiles, ADamagedFileSaysSo) {
    const TTempFolder dir("ocisqlite_damaged");
    // No database at all where one is named.
    const std::string junk = dir.File("junk.db");
    {
        std::ofstream f(junk, std::ios::binary);
        f << std::string(8192, 'x');
    }
    EXPECT_EQ(
        sessionError(junk, "ADMIN", "secret"),
        "OCISessionBegin: ORA-01578: ORACLE data block corrupted (file # 1, block # 1)\nORA-01110: data "
        "file 1: '" +
            junk + "'");

    // A table whose pages were overwritten after it was written.
    const std::string db = dir.File("srv.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");
    {
        Session s(db, "ADMIN", "secret");
        ASSERT_EQ(execute(s, "CREATE TABLE T (ID NUMBER(9), NAME VARCHAR2(100))", {}, {}).error, "");
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(execute(s,
                              "INSERT INTO T VALUES (" + std::to_string(i) + ", 'some text to fill pages')",
                              {}, {})
                          .error,
                      "");
        ASSERT_EQ(OCITransCommit(s.svc_, s.err_, OCI_DEFAULT), OCI_SUCCESS);
    }
    const auto root = rawRows(db, "SELECT rootpage FROM sqlite_master WHERE name = 'T'");
    ASSERT_EQ(root.size(), 1u);
    const auto pageSize = rawRows(db, "PRAGMA page_size");
    ASSERT_EQ(pageSize.size(), 1u);
    {
        const std::streamoff page = std::stoi(pageSize[0]);
        std::fstream f(db, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp((std::stoi(root[0]) - 1) * page);
        f << std::string(static_cast<std::size_t>(page), '\xEE');
    }
    Session s(db, "ADMIN", "secret");
    EXPECT_EQ(execute(s, "SELECT COUNT(*) FROM T", {}, {}).error,
              "ORA-01578: ORACLE data block corrupted (file # 1, block # 1)\nORA-01110: data file 1: '" + db +
                  "'");
}

TEST(DatabaseFiles, AReadOnlyFileSaysSo) {
    const TTempFolder dir("ocisqlite_readonly");
    const std::string db = dir.File("srv.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");
    {
        Session s(db, "ADMIN", "secret");
        ASSERT_EQ(execute(s, "CREATE TABLE T (ID NUMBER(9))", {}, {}).error, "");
    }
    namespace fs = std::filesystem;
    fs::permissions(db, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string dirPath = fs::path(db).parent_path();
    // A folder nobody may write: the file cannot even be opened for its journal.
    fs::permissions(dirPath, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    const std::string refused =
        "OCISessionBegin: ORA-00372: file 1 cannot be modified at this time\nORA-01110: "
        "data file 1: '" +
        db + "'";
    int rc = asUnprivilegedChild([&] { return sessionError(db, "ADMIN", "secret") == refused ? 0 : 3; });
    if (rc == 77)
        GTEST_SKIP() << "cannot give up root rights here";
    EXPECT_EQ(rc, 0) << "3: another message";
    // A folder everybody may write: the file opens, a change is refused. (The row-lock sidecar that root
    // made would refuse the session first: the child makes its own.)
    for (const char* suffix : {".locks", ".locks-wal", ".locks-shm"})
        fs::remove(db + suffix);
    fs::permissions(dirPath, fs::perms::all | fs::perms::sticky_bit);
    rc = asUnprivilegedChild([&] {
        Session s(db, "ADMIN", "secret");
        if (!execute(s, "SELECT * FROM T", {}, {}).error.empty())
            return 4;
        return execute(s, "INSERT INTO T VALUES (1)", {}, {}).error ==
                       "ORA-00372: file 1 cannot be modified at this time\nORA-01110: data file 1: '" + db +
                           "'"
                   ? 0
                   : 5;
    });
    EXPECT_EQ(rc, 0) << "4: cannot read, 5: another message";
    fs::permissions(dirPath, fs::perms::owner_all);
}

// A full disk cannot be made here; SQLite's answer to one (and to an I/O error) is mapped as this shows.
TEST(DatabaseFiles, AFullDiskAndAnIoErrorSaySo) {
    const TTempFolder dir("ocisqlite_full");
    const std::string path = dir.File("full.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_extended_result_codes(db, 1);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE T (X); PRAGMA max_page_count = 4", nullptr, nullptr, nullptr),
              SQLITE_OK);
    int rc = SQLITE_OK;
    for (int i = 0; i < 100 && rc == SQLITE_OK; ++i)
        rc = sqlite3_exec(db, "INSERT INTO T VALUES (randomblob(3000))", nullptr, nullptr, nullptr);
    ASSERT_EQ(rc, SQLITE_FULL);
    const OraError full = mapSqliteError(db, rc, StatementKind::Insert, "ADMIN");
    EXPECT_EQ(full.code, 1237);
    EXPECT_EQ(std::string(full.what()),
              "ORA-01237: cannot extend datafile 1\nORA-01110: data file 1: '" + path +
                  "'\nORA-27072: File I/O error\nLinux-x86_64 Error: 28: No space left "
                  "on device");
    const OraError io = mapSqliteError(nullptr, SQLITE_IOERR_WRITE, StatementKind::Insert, "ADMIN");
    EXPECT_EQ(io.code, 1114);
    sqlite3_close(db);
}

} // namespace

namespace {

// Oracle takes thousands of terms in one chain and 32 766 binds; so do the entry points (in linear time:
// bench/ocisqlite_limits shows it).
TEST(Limits, LongChainsAndManyBindsThroughTheEntryPoints) {
    const TTempFolder dir("ocisqlite_limits");
    const std::string db = dir.File("srv.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");
    Session s(db, "ADMIN", "secret");
    ASSERT_EQ(execute(s, "CREATE TABLE T (ID NUMBER(9), NAME VARCHAR2(20))", {}, {}).error, "");
    ASSERT_EQ(execute(s, "INSERT INTO T VALUES (7, 'x')", {}, {}).error, "");

    std::string ors = "SELECT COUNT(*) N FROM T WHERE ID = 0";
    for (int i = 1; i < 20000; ++i)
        ors += " OR ID = " + std::to_string(i);
    Outcome o = execute(s, ors, {}, {});
    ASSERT_EQ(o.error, "");
    EXPECT_EQ(o.rows, (std::vector<std::vector<Value>>{{"1"}}));

    std::string sum = "SELECT 0", concat = "SELECT 'a'";
    for (int i = 0; i < 2000; ++i) {
        sum += " + 1";
        concat += " || 'b'";
    }
    o = execute(s, sum + " S, LENGTH(" + concat.substr(7) + ") L FROM DUAL", {}, {});
    ASSERT_EQ(o.error, "");
    EXPECT_EQ(o.rows, (std::vector<std::vector<Value>>{{"2000", "2001"}}));

    std::string in = "SELECT COUNT(*) N FROM T WHERE ID IN (";
    std::vector<Bind> binds;
    for (int i = 0; i < 32766; ++i) {
        in += (i ? ", :B" : ":B") + std::to_string(i);
        binds.push_back({"B" + std::to_string(i), "int", std::to_string(i)});
    }
    o = execute(s, in + ")", binds, {});
    ASSERT_EQ(o.error, "");
    EXPECT_EQ(o.rows, (std::vector<std::vector<Value>>{{"1"}}));
}

} // namespace
