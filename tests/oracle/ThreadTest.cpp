// One thread-safe session used by two threads at once and logged off by one of them.
#include "OracleServer.h"
#include "TestSupport.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

using ThreadTest = OracleServer;

// Reads the table over and over until the session goes away; counts rows read.
void Reader(TOracleSession* session, std::atomic<int>& rows, std::atomic<bool>& stopped, QString& failure) {
    TOracleQuery q;
    q.SetSession(session);
    q.SetSQLText(QStringLiteral("SELECT N, NAME FROM THREAD_T ORDER BY N"));
    try {
        for (;;) {
            q.Execute();
            while (!q.Eof()) {
                if (q.Field(QStringLiteral("NAME")).toString() !=
                    QStringLiteral("row %1").arg(q.Field(0).toInt()))
                    failure = QStringLiteral("wrong row");
                ++rows;
                q.Next();
            }
        }
    } catch (const Exception& e) {
        // Either the log-off happened between two calls, or it closed the query under us.
        if (e.Message() != QLatin1String("Not logged on") &&
            e.Message() != QLatin1String("You cannot access field data beyond Eof") &&
            !e.Message().startsWith(QLatin1String("Field ")))
            failure = e.Message();
    }
    stopped = true;
}

// The lock every query call takes: recursive for its owner, exclusive for everyone else, and a Leave
// by a thread that does not hold it changes nothing.
TEST(SessionLock, IsRecursiveForItsOwnerAndExcludesOtherThreads) {
    TOracleCriticalSection lock;
    const auto othersGetIt = [&lock] {
        return std::async(std::launch::async,
                          [&lock] {
                              if (!lock.TryEnter())
                                  return false;
                              lock.Leave();
                              return true;
                          })
            .get();
    };
    lock.Enter();
    lock.Enter();
    lock.Leave();
    EXPECT_FALSE(othersGetIt()) << "held once more than left";
    std::async(std::launch::async, [&lock] { lock.Leave(); }).get();
    EXPECT_FALSE(othersGetIt()) << "another thread's Leave released it";
    EXPECT_TRUE(lock.TryEnter()) << "the owner enters again";
    lock.Leave();
    lock.Leave();
    EXPECT_TRUE(othersGetIt());
}

// Threads that contend for the lock all get it, one at a time, and none sleeps for ever.
TEST(SessionLock, ContendingThreadsTakeTurns) {
    TOracleCriticalSection lock;
    constexpr int kThreads = 4, kRounds = 20000;
    int counter = 0; // guarded by the lock alone
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                TOracleLock held(&lock);
                const int seen = counter;
                if (i % 1000 == 0)
                    std::this_thread::yield(); // let another thread find it held and sleep
                counter = seen + 1;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(counter, kThreads * kRounds);
}

TEST_F(ThreadTest, LogOffFromOneThreadWhileAnotherReads) {
    auto session = NewSession(true);
    DropTable(*session, QStringLiteral("THREAD_T"));
    Exec(*session, QStringLiteral("CREATE TABLE THREAD_T (N NUMBER(9), NAME VARCHAR2(20))"));
    for (int i = 1; i <= 60; ++i)
        Exec(*session, QStringLiteral("INSERT INTO THREAD_T VALUES (%1, 'row %1')").arg(i));
    session->Commit();

    std::atomic<int> rowsA{0}, rowsB{0};
    std::atomic<bool> stoppedA{false}, stoppedB{false};
    QString failureA, failureB;
    std::thread a(Reader, session.get(), std::ref(rowsA), std::ref(stoppedA), std::ref(failureA));
    std::thread b(Reader, session.get(), std::ref(rowsB), std::ref(stoppedB), std::ref(failureB));
    // Both threads are well into their work before the log-off.
    while (rowsA < 500 || rowsB < 500)
        std::this_thread::yield();
    // The main thread also uses the session meanwhile.
    EXPECT_FALSE(session->InTransaction());
    session->LogOff();
    a.join();
    b.join();
    EXPECT_TRUE(stoppedA);
    EXPECT_TRUE(stoppedB);
    EXPECT_TRUE(failureA.isEmpty()) << failureA.toStdString();
    EXPECT_TRUE(failureB.isEmpty()) << failureB.toStdString();
    EXPECT_FALSE(session->Connected());

    // The session logs on again and is usable.
    session->LogOn();
    TOracleQuery q;
    q.SetSession(session.get());
    q.SetSQLText(QStringLiteral("SELECT COUNT(*) C FROM THREAD_T"));
    q.Execute();
    EXPECT_EQ(q.Field(QStringLiteral("C")).toInt(), 60);
}

TEST_F(ThreadTest, TwoSessionsLogOnAndOffConcurrently) {
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 20; ++i) {
            try {
                TOracleSession s;
                s.SetThreadSafe(true);
                s.SetLogonUsername(ConnectString());
                s.LogOn();
                TOracleQuery q;
                q.SetSession(&s);
                q.SetSQLText(QStringLiteral("SELECT 1 X FROM DUAL"));
                q.Execute();
                if (q.Field(QStringLiteral("X")).toInt() != 1)
                    ++failures;
                s.LogOff();
            } catch (const Exception&) {
                ++failures;
            }
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
}

// A second server that goes silent (ocisqlite-admin hang): a real network lets a connect attempt to an
// unreachable host hang for tens of seconds. Nothing else may wait for it.
class SilentServer : public OracleServer {
protected:
    static inline QString Reserve = QStringLiteral("reserve");

    static void SetUpTestSuite() {
        OracleServer::SetUpTestSuite();
        ASSERT_EQ(Admin({QStringLiteral("create"), Reserve, QStringLiteral("--user"), User,
                         QStringLiteral("--password"), Password}),
                  0);
    }
    void TearDown() override {
        Admin({QStringLiteral("up"), Reserve});
        Admin({QStringLiteral("up"), Database});
    }

    static std::unique_ptr<TOracleSession> Session(const QString& database) {
        auto session = std::make_unique<TOracleSession>();
        session->SetThreadSafe(true);
        session->SetLogonUsername(User);
        session->SetLogonPassword(Password);
        session->SetLogonDatabase(database);
        return session;
    }

    // Starts session->LogOn() on its own thread and returns once the attach is waiting on the server.
    // The future holds the log-on's error text ("" after success).
    std::future<QString> LogOnPending(TOracleSession* session, const QString& database) {
        const int before = TraceCount({QStringLiteral("OCIServerAttach ") + database});
        auto result = std::async(std::launch::async, [session] {
            try {
                session->LogOn();
                return QString();
            } catch (const Exception& e) {
                return e.Message();
            }
        });
        QElapsedTimer t;
        t.start();
        while (TraceCount({QStringLiteral("OCIServerAttach ") + database}) == before && t.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // The trace line is written as the request goes out; give it a moment to be waiting.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(result.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
            << "the log-on did not wait for the silent server";
        return result;
    }

    // Milliseconds the call takes.
    template <typename F> static qint64 Timed(F call) {
        QElapsedTimer t;
        t.start();
        call();
        return t.elapsed();
    }

    static int CountRows(TOracleSession& session) {
        TOracleQuery q;
        q.SetSession(&session);
        q.SetSQLText(QStringLiteral("SELECT N FROM SILENT_T ORDER BY N"));
        q.Execute();
        int n = 0;
        for (; !q.Eof(); q.Next())
            ++n;
        return n;
    }
};

TEST_F(SilentServer, StatementsAndLogOnsOfTheMainServerDoNotWaitForAHangingReserve) {
    auto main = Session(Database);
    main->LogOn();
    DropTable(*main, QStringLiteral("SILENT_T"));
    Exec(*main, QStringLiteral("CREATE TABLE SILENT_T (N NUMBER(9))"));
    for (int i = 1; i <= 30; ++i)
        Exec(*main, QStringLiteral("INSERT INTO SILENT_T VALUES (%1)").arg(i));
    main->Commit();

    ASSERT_EQ(Admin({QStringLiteral("hang"), Reserve, QStringLiteral("20")}), 0);
    auto reserve = Session(Reserve);
    std::future<QString> pending = LogOnPending(reserve.get(), Reserve);

    // The window's thread: statements, commits and transaction probes on the main session.
    std::atomic<qint64> slowest{0};
    std::thread window([&] {
        for (int i = 0; i < 20; ++i) {
            const qint64 ms = Timed([&] {
                EXPECT_EQ(CountRows(*main), 30);
                Exec(*main, QStringLiteral("UPDATE SILENT_T SET N = N WHERE N = 1"));
                EXPECT_TRUE(main->InTransaction());
                main->Commit();
            });
            slowest = std::max(slowest.load(), ms);
        }
    });
    window.join();
    EXPECT_LT(slowest.load(), 1000) << "a statement on the main session waited for the reserve's log-on";

    // A new main session logs on and off meanwhile, and so does a session in a thread of its own.
    auto other = Session(Database);
    EXPECT_LT(Timed([&] { other->LogOn(); }), 1000);
    EXPECT_EQ(CountRows(*other), 30);
    std::thread third([&] {
        auto s = Session(Database);
        EXPECT_LT(Timed([&] {
                      s->LogOn();
                      s->LogOff();
                  }),
                  1000);
    });
    third.join();
    EXPECT_LT(Timed([&] { other->LogOff(); }), 1000);
    EXPECT_EQ(pending.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

    // The reserve answers again: its log-on goes on and succeeds.
    ASSERT_EQ(Admin({QStringLiteral("up"), Reserve}), 0);
    EXPECT_EQ(pending.get(), QString());
    EXPECT_TRUE(reserve->Connected());
    reserve->LogOff();
}

TEST_F(SilentServer, MainServerReconnectsWhileTheReserveHangs) {
    auto main = Session(Database);
    main->LogOn();
    ASSERT_EQ(Admin({QStringLiteral("hang"), Reserve, QStringLiteral("20")}), 0);
    auto reserve = Session(Reserve);
    std::future<QString> pending = LogOnPending(reserve.get(), Reserve);

    // The main server goes away and comes back; its watcher logs off and on again at once.
    ASSERT_EQ(Admin({QStringLiteral("down"), Database}), 0);
    EXPECT_LT(Timed([&] {
                  try {
                      Exec(*main, QStringLiteral("SELECT 1 FROM DUAL"));
                      ADD_FAILURE() << "the statement reached a server that is down";
                  } catch (const EOracleError& e) {
                      EXPECT_EQ(e.ErrorCode(), 3113);
                  }
              }),
              1000);
    EXPECT_TRUE(main->TakeConnectionLost());
    EXPECT_FALSE(main->TakeConnectionLost()) << "reported once";
    ASSERT_EQ(Admin({QStringLiteral("up"), Database}), 0);
    std::thread watcher([&] {
        EXPECT_LT(Timed([&] {
                      try {
                          main->LogOff();
                      } catch (const EOracleError&) {
                          // ORA-03114: the session was already gone.
                      }
                      main->LogOn();
                  }),
                  1000)
            << "the main server's reconnection waited for the reserve";
    });
    watcher.join();
    EXPECT_TRUE(main->Connected());
    EXPECT_NO_THROW(Exec(*main, QStringLiteral("SELECT 1 FROM DUAL")));

    ASSERT_EQ(Admin({QStringLiteral("up"), Reserve}), 0);
    EXPECT_EQ(pending.get(), QString());
}

TEST_F(SilentServer, ASessionBeingConnectedRefusesStatementsAtOnce) {
    ASSERT_EQ(Admin({QStringLiteral("hang"), Reserve, QStringLiteral("20")}), 0);
    auto reserve = Session(Reserve);
    TOracleQuery query;
    query.SetSession(reserve.get());
    query.SetSQLText(QStringLiteral("SELECT 1 X FROM DUAL"));
    std::future<QString> pending = LogOnPending(reserve.get(), Reserve);

    // Another thread uses the session meanwhile: everything answers at once.
    std::thread other([&] {
        const qint64 ms = Timed([&] {
            try {
                query.Execute();
                ADD_FAILURE() << "executed on a session that is not connected";
            } catch (const EOracleError& e) {
                ADD_FAILURE() << e.Message().toStdString();
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Not logged on"));
            }
            EXPECT_FALSE(reserve->Connected());
            EXPECT_FALSE(reserve->InTransaction());
            EXPECT_NO_THROW(reserve->Commit());
            EXPECT_NO_THROW(reserve->Rollback());
            EXPECT_EQ(reserve->LogonDatabase(), Reserve);
            EXPECT_TRUE(query.Eof());
            query.Close();
        });
        EXPECT_LT(ms, 1000) << "waited for the session's log-on";
    });
    other.join();

    ASSERT_EQ(Admin({QStringLiteral("up"), Reserve}), 0);
    EXPECT_EQ(pending.get(), QString());
    query.Execute();
    EXPECT_EQ(query.Field(QStringLiteral("X")).toInt(), 1);
}

TEST_F(SilentServer, AFailedLogOnToASilentServerKeepsTheSessionUsable) {
    ASSERT_EQ(Admin({QStringLiteral("hang"), Reserve, QStringLiteral("1")}), 0);
    auto reserve = Session(Reserve);
    try {
        reserve->LogOn();
        ADD_FAILURE() << "logged on to a silent server";
    } catch (const EOracleError& e) {
        EXPECT_EQ(e.ErrorCode(), 12170);
        EXPECT_EQ(e.Message(), QStringLiteral("ORA-12170: TNS:Connect timeout occurred\n"));
    }
    EXPECT_FALSE(reserve->Connected());
    ASSERT_EQ(Admin({QStringLiteral("up"), Reserve}), 0);
    reserve->LogOn();
    EXPECT_TRUE(reserve->Connected());
}

} // namespace
