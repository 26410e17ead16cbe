// The row-lock and session registry shared through the sidecar file: sessions of one process, of two
// processes (fork), a crashed process, savepoint release, V$SESSION.
#include "RowLocks.h"
#include "ServerTools.h"
#include "TestDb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace ocisqlite;

namespace {

class RowLocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.Path().empty());
        dbPath = folder.File("server.db");
    }

    // Runs body in a child process with its own registry; returns the child's exit code.
    template <class F> static pid_t spawn(F body) {
        const pid_t pid = fork();
        if (pid == 0) {
            int code = 99;
            try {
                code = body();
            } catch (...) {
                code = 98;
            }
            _exit(code);
        }
        return pid;
    }
    static int waitExit(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static int lockCode(RowLocks& locks, std::int64_t sid, const char* table, std::int64_t rid, int waitMs) {
        try {
            locks.lock(sid, table, rid, waitMs);
            return 0;
        } catch (const OraError& e) {
            return e.code;
        }
    }

    TTempFolder folder{"rowlocks"};
    std::string dbPath;
};

TEST_F(RowLocksTest, SessionsOfOneProcessExcludeEachOther) {
    RowLocks locks(dbPath);
    const auto a = locks.openSession("ADMIN");
    const auto b = locks.openSession("ADMIN");
    locks.lock(a, "USER_PSW", 1, 0);
    locks.lock(a, "USER_PSW", 1, 0); // again by its holder: fine
    EXPECT_EQ(lockCode(locks, b, "USER_PSW", 1, 0), 54);
    EXPECT_EQ(lockCode(locks, b, "USER_PSW", 2, 0), 0);        // another row
    EXPECT_EQ(lockCode(locks, b, "KMR_PROGRAMMEXE", 1, 0), 0); // the same rowid of another table
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lockCode(locks, b, "USER_PSW", 1, 150), 54); // the waiting variant gives up after its time
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(locks.holder("USER_PSW", 1), a);
    // All or none: row 2 is b's, so a gets neither 2 nor 3.
    EXPECT_THROW(locks.lock(a, "USER_PSW", std::vector<std::int64_t>{3, 2}, 0), OraError);
    EXPECT_EQ(locks.holder("USER_PSW", 3), 0);
    locks.releaseAll(a);
    EXPECT_EQ(lockCode(locks, b, "USER_PSW", 1, 0), 0);
    locks.closeSession(b);
    EXPECT_EQ(locks.holder("USER_PSW", 1), 0);
}

TEST_F(RowLocksTest, RollbackToSavepointReleasesOnlyLaterLocks) {
    RowLocks locks(dbPath);
    const auto a = locks.openSession("ADMIN");
    const auto b = locks.openSession("ADMIN");
    locks.lock(a, "T", 1, 0);
    const auto mark = locks.mark();
    locks.lock(a, "T", 2, 0);
    locks.lock(a, "T", 1, 0); // re-locked after the savepoint: still the older lock
    locks.releaseAfter(a, mark);
    EXPECT_EQ(lockCode(locks, b, "T", 2, 0), 0);
    EXPECT_EQ(lockCode(locks, b, "T", 1, 0), 54);
}

TEST_F(RowLocksTest, TwoProcessesLockEachOther) {
    RowLocks locks(dbPath);
    const auto parent = locks.openSession("ADMIN");
    locks.lock(parent, "USER_PSW", 5, 0);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = spawn([&] {
        RowLocks mine(dbPath);
        const auto sid = mine.openSession("ADMIN");
        if (lockCode(mine, sid, "USER_PSW", 5, 0) != 54)
            return 1;
        if (lockCode(mine, sid, "USER_PSW", 6, 0) != 0)
            return 2;
        char c = 'L';
        if (write(toParent[1], &c, 1) != 1) // row 6 is held
            return 3;
        // Waits until the parent lets row 5 go.
        if (lockCode(mine, sid, "USER_PSW", 5, 10000) != 0)
            return 4;
        mine.closeSession(sid);
        return 0;
    });
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    EXPECT_EQ(lockCode(locks, parent, "USER_PSW", 6, 0), 54);
    locks.releaseAll(parent);
    EXPECT_EQ(waitExit(child), 0);
    EXPECT_EQ(lockCode(locks, parent, "USER_PSW", 6, 0), 0); // the child closed its session
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

TEST_F(RowLocksTest, LocksOfACrashedProcessAreReleased) {
    RowLocks locks(dbPath);
    const auto me = locks.openSession("ADMIN");
    std::int64_t crashedSid = 0;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = spawn([&] {
        RowLocks mine(dbPath);
        std::int64_t sid = mine.openSession("GHOST");
        mine.lock(sid, "USER_PSW", 1, 0);
        if (write(fds[1], &sid, sizeof sid) != sizeof sid)
            return 1;
        raise(SIGKILL); // no clean-up at all
        return 2;
    });
    ASSERT_EQ(read(fds[0], &crashedSid, sizeof crashedSid), static_cast<ssize_t>(sizeof crashedSid));
    waitExit(child);
    EXPECT_EQ(lockCode(locks, me, "USER_PSW", 1, 0), 0);
    for (const SessionInfo& s : locks.sessions())
        EXPECT_NE(s.sid, crashedSid);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(RowLocksTest, SessionViewIsSharedAndCut) {
    RowLocks locks(dbPath);
    const auto sid = locks.openSession("ADMIN");
    locks.setModule(sid, std::string(60, 'm'), std::string(40, 'a'));
    // 33 two-byte letters: 64 bytes would split the 33rd, so 32 letters stay.
    std::string cyrillic;
    for (int i = 0; i < 33; ++i)
        cyrillic += "Ж";
    locks.setClientInfo(sid, cyrillic);
    const pid_t child = spawn([&] {
        RowLocks mine(dbPath);
        for (const SessionInfo& s : mine.sessions())
            if (s.sid == sid)
                return s.module == std::string(48, 'm') && s.action == std::string(32, 'a') && s.clientInfo &&
                               s.clientInfo->size() == 64 && s.username == "ADMIN"
                           ? 0
                           : 1;
        return 2;
    });
    EXPECT_EQ(waitExit(child), 0);

    // What V$SESSION shows through the translator.
    test::TestDb db;
    db.setSessionViewFiller([&](sqlite3* h) { return locks.fillSessionView(h); });
    const auto rows = db.run("SELECT SID, USERNAME, MODULE, ACTION, CLIENT_INFO FROM V$SESSION WHERE SID = " +
                             std::to_string(sid));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "ADMIN");
    EXPECT_EQ(rows[0][2], std::string(48, 'm'));
    locks.setModule(sid, std::nullopt, std::string());
    EXPECT_EQ(db.run("SELECT MODULE, ACTION FROM V$SESSION WHERE SID = " + std::to_string(sid))[0],
              (test::Row{std::nullopt, std::nullopt}));
}

TEST_F(RowLocksTest, TransactionIdsAreUniqueDottedTriples) {
    RowLocks locks(dbPath);
    RowLocks other(dbPath);
    const auto a = locks.openSession("A");
    const auto b = other.openSession("B");
    std::set<std::string> ids;
    for (int i = 0; i < 5; ++i) {
        ids.insert(locks.newTransactionId(a));
        ids.insert(other.newTransactionId(b));
    }
    EXPECT_EQ(ids.size(), 10u);
    for (const std::string& id : ids)
        EXPECT_EQ(std::count(id.begin(), id.end(), '.'), 2) << id;
}

} // namespace
