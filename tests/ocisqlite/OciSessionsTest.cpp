// Several sessions, threads and processes on one database file.
#include "OciTestSupport.h"
#include "tests/support/ScopedEnv.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

using namespace ocitest;

namespace {

class OciSessions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
        Conn setup;
        ASSERT_EQ(setup.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << setup.error();
        setup.ok("CREATE TABLE T (ID NUMBER(9) NOT NULL, NAME VARCHAR2(20))");
        setup.ok("INSERT INTO T VALUES (1, 'one')");
        ASSERT_EQ(setup.commit(), OCI_SUCCESS);
    }
    TempData data;
};

} // namespace

TEST_F(OciSessions, ReadersSeeCommittedDataAndAreNotBlocked) {
    Conn a, b;
    ASSERT_EQ(a.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    ASSERT_EQ(b.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    a.ok("UPDATE T SET NAME = 'uno' WHERE ID = 1");
    EXPECT_EQ(a.scalar("SELECT NAME FROM T"), "uno"); // a session sees its own change
    EXPECT_EQ(b.scalar("SELECT NAME FROM T"), "one"); // the other sees the committed value at once
    ASSERT_EQ(a.commit(), OCI_SUCCESS);
    EXPECT_EQ(b.scalar("SELECT NAME FROM T"), "uno");

    // DDL commits what was pending; so does the end of a session.
    a.ok("INSERT INTO T VALUES (2, 'two')");
    a.ok("CREATE TABLE U (ID NUMBER(9))");
    EXPECT_EQ(b.scalar("SELECT COUNT(*) FROM T"), "2");
    a.ok("INSERT INTO T VALUES (3, 'three')");
    ASSERT_EQ(OCISessionEnd(a.svc, a.err, a.ses, OCI_DEFAULT), OCI_SUCCESS);
    a.loggedOn = false;
    EXPECT_EQ(b.scalar("SELECT COUNT(*) FROM T"), "3");
}

TEST_F(OciSessions, ASecondWriterWaitsForTheFirstOnAnotherThread) {
    Conn a;
    ASSERT_EQ(a.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    a.ok("UPDATE T SET NAME = 'a' WHERE ID = 1");
    std::atomic<bool> done{false};
    sword writerRc = OCI_ERROR;
    std::thread writer([&] {
        Conn b;
        if (b.logon("srv", "scott", "Tiger") != OCI_SUCCESS)
            return;
        writerRc = b.exec("INSERT INTO T VALUES (2, 'b')");
        if (writerRc == OCI_SUCCESS)
            writerRc = b.commit();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done.load()); // still waiting for a's transaction
    ASSERT_EQ(a.commit(), OCI_SUCCESS);
    writer.join();
    EXPECT_EQ(writerRc, OCI_SUCCESS);
    EXPECT_EQ(a.scalar("SELECT COUNT(*) FROM T"), "2");
    EXPECT_EQ(a.scalar("SELECT NAME FROM T WHERE ID = 1"), "a");
}

TEST_F(OciSessions, ManyThreadsWithTheirOwnSessions) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            Conn x;
            if (x.logon("srv", "scott", "Tiger") != OCI_SUCCESS) {
                ++failures;
                return;
            }
            for (int i = 0; i < 20; ++i) {
                const int id = 100 + t * 100 + i;
                if (x.exec("INSERT INTO T VALUES (" + std::to_string(id) + ", 't')") != OCI_SUCCESS ||
                    x.commit() != OCI_SUCCESS)
                    ++failures;
                if (x.scalar("SELECT COUNT(*) FROM T WHERE ID = " + std::to_string(id)) != "1")
                    ++failures;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    Conn c;
    ASSERT_EQ(c.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM T"), "81");
}

TEST_F(OciSessions, TwoProcessesAndACrashedWriter) {
    // A child that commits: the parent sees its row.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int rc = 1;
        {
            Conn x;
            if (x.logon("srv", "scott", "Tiger") == OCI_SUCCESS &&
                x.exec("INSERT INTO T VALUES (2, 'child')") == 0 && x.commit() == OCI_SUCCESS)
                rc = 0;
        }
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    Conn c;
    ASSERT_EQ(c.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT NAME FROM T WHERE ID = 2"), "child");

    // A child killed in the middle of its transaction leaves the file usable and its change gone.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Conn x;
        if (x.logon("srv", "scott", "Tiger") == OCI_SUCCESS)
            x.exec("INSERT INTO T VALUES (3, 'lost')");
        const char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        for (;;)
            ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    c.ok("INSERT INTO T VALUES (4, 'parent')");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM T"), "3");
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM T WHERE ID = 3"), "0");
}

TEST_F(OciSessions, ForUpdateNowaitConflictsUntilTheHolderEnds) {
    // NOWAIT refuses at once: long before the wait a change would sit out for a busy row.
    const int busyTimeoutMs = 30000;
    const TScopedEnv busyTimeout("OCISQLITE_BUSY_TIMEOUT_MS", std::to_string(busyTimeoutMs));
    Conn a, b;
    ASSERT_EQ(a.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    ASSERT_EQ(b.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    EXPECT_EQ(a.scalar("SELECT NAME FROM T WHERE ID = 1 FOR UPDATE NOWAIT"), "one");
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(b.scalar("SELECT NAME FROM T WHERE ID = 1 FOR UPDATE NOWAIT"),
              "<error> ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired\n");
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(busyTimeoutMs / 10));
    // A row locked by a change (not a select) is refused as promptly.
    Conn c;
    ASSERT_EQ(c.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    c.ok("INSERT INTO T VALUES (2, 'two')");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    c.ok("UPDATE T SET NAME = 'deux' WHERE ID = 2");
    const auto askedAgain = std::chrono::steady_clock::now();
    EXPECT_EQ(b.scalar("SELECT NAME FROM T WHERE ID = 2 FOR UPDATE NOWAIT"),
              "<error> ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired\n");
    EXPECT_LT(std::chrono::steady_clock::now() - askedAgain, std::chrono::milliseconds(busyTimeoutMs / 10));
    ASSERT_EQ(c.rollback(), OCI_SUCCESS);
    EXPECT_EQ(b.scalar("SELECT NAME FROM T WHERE ID = 1"), "one"); // readers are not blocked
    ASSERT_EQ(a.rollback(), OCI_SUCCESS);
    EXPECT_EQ(b.scalar("SELECT NAME FROM T WHERE ID = 1 FOR UPDATE NOWAIT"), "one");
}

TEST_F(OciSessions, AnOpenCursorSurvivesItsSessionsChangeAfterAnotherCommit) {
    Conn a, b;
    ASSERT_EQ(a.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    ASSERT_EQ(b.logon("srv", "scott", "Tiger"), OCI_SUCCESS);
    a.ok("INSERT INTO T VALUES (2, 'two')");
    a.ok("INSERT INTO T VALUES (3, 'three')");
    ASSERT_EQ(a.commit(), OCI_SUCCESS);
    OCIStmt* st = a.prepare("SELECT ID FROM T ORDER BY ID");
    ASSERT_EQ(OCIStmtExecute(a.svc, st, a.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    sb4 ids[2] = {};
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, a.err, 1, ids, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtFetch2(st, a.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(ids[0], 1);
    // Another session commits while a's cursor is open; a can still change data...
    b.ok("INSERT INTO T VALUES (4, 'four')");
    ASSERT_EQ(b.commit(), OCI_SUCCESS);
    ASSERT_EQ(a.exec("UPDATE T SET NAME = 'x' WHERE ID = 1"), OCI_SUCCESS) << a.error();
    // ...and the cursor goes on with the rows of its own point in time.
    EXPECT_EQ(OCIStmtFetch2(st, a.err, 2, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(ids[0], 2);
    EXPECT_EQ(ids[1], 3);
    EXPECT_EQ(OCIStmtFetch2(st, a.err, 2, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_NO_DATA);
    ASSERT_EQ(OCIStmtExecute(a.svc, st, a.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch2(st, a.err, 2, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch2(st, a.err, 2, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(ids[1], 4); // a new execute sees the other session's row
    OCIHandleFree(st, OCI_HTYPE_STMT);
    ASSERT_EQ(a.commit(), OCI_SUCCESS);
}
