// One thread-safe session used by two threads at once and logged off by one of them.
#include "ServerFixture.h"

#include <atomic>
#include <thread>

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

} // namespace
