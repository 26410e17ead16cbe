// A server that stops answering (a silent network): the call timeout bounds what it costs, the
// watchers wait for it in their own threads, and the window's thread never does.
#include "ServerFixture.h"

#include "NoteQuery.h"
#include "Oracle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {

class SilentServer : public ServerTest {
protected:
    // One auto-connect tick; returns the milliseconds it held the calling (window's) thread.
    qint64 TimedTick() {
        QElapsedTimer t;
        t.start();
        FModule->AutoConnectTick();
        const qint64 ms = t.elapsed();
        QCoreApplication::processEvents();
        return ms;
    }
    // Ticks every 100 ms until cond holds (at most ms); the slowest tick goes to slowest.
    template <typename F> bool TickUntil(F cond, qint64& slowest, int ms = 8000) {
        QElapsedTimer t;
        t.start();
        while (!cond()) {
            if (t.elapsed() > ms)
                return false;
            slowest = std::max(slowest, TimedTick());
            QThread::msleep(100);
        }
        return true;
    }
    // Milliseconds a statement on the main session takes through the logged query.
    static qint64 TimedRead() {
        QElapsedTimer t;
        t.start();
        TNoteQuery q;
        q.SetSQLText(QStringLiteral("SELECT TABNUM FROM KMR_USER_PSW"));
        q.Execute();
        return t.elapsed();
    }
};

TEST_F(SilentServer, AHungStatementEndsAtTheCallTimeoutAndTheWatcherTakesOver) {
    FCallTimeoutSeconds = 1;
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    WriteIni(1, 0, true);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(m.MainOk.load());
    EXPECT_EQ(m.ADatabase->CallTimeout(), 1000);
    EXPECT_EQ(m.BDatabase->CallTimeout(), 1000);

    Hang(MainDb(), 30);
    QElapsedTimer t;
    t.start();
    try {
        TNoteQuery q;
        q.SetSQLText(QStringLiteral("SELECT TABNUM FROM KMR_USER_PSW"));
        q.Execute();
        ADD_FAILURE() << "a silent server answered";
    } catch (const EOracleError& e) {
        EXPECT_EQ(e.ErrorCode(), 3156);
        EXPECT_EQ(e.Message(), QStringLiteral("ORA-03156: OCI call timed out\n"));
    }
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 5000) << "the call timeout did not end the call";

    // The next tick treats the server as lost without asking it again in this thread.
    EXPECT_LT(TimedTick(), 500);
    EXPECT_FALSE(m.MainOk.load());
    ASSERT_NE(FNotice, nullptr);
    EXPECT_EQ(FNotice->Shows, 1);
    // The watcher logs the lost session off and waits for the silent server in its own thread.
    qint64 slowest = 0;
    EXPECT_TRUE(TickUntil(
        [&] { return !m.ADatabase->Connected() && m.MainThread->State() == TBaseWatchThread::stEvaluating; },
        slowest));
    EXPECT_LT(slowest, 500);
    EXPECT_FALSE(m.MainOk.load());

    // The server answers again: the watcher's log-on goes through and the notice closes.
    Up(MainDb());
    EXPECT_TRUE(TickUntil([&] { return m.MainOk && !FNotice->Visible; }, slowest));
    EXPECT_TRUE(m.ADatabase->Connected());
    EXPECT_TRUE(CanWrite.load());
    EXPECT_LT(TimedRead(), 1000);
}

TEST_F(SilentServer, ATickThatMeetsASilentMainServerWaitsOneCallTimeoutAtMost) {
    FCallTimeoutSeconds = 1;
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    WriteIni(1, 0, true);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(m.MainOk.load());
    Hang(MainDb(), 30);
    const qint64 ms = TimedTick();
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 5000);
    EXPECT_FALSE(m.MainOk.load());
    EXPECT_FALSE(CanWrite.load());
    ASSERT_NE(FNotice, nullptr);
    EXPECT_TRUE(FNotice->Visible);
    EXPECT_LT(TimedTick(), 500) << "the second tick asked the silent server again";
}

TEST_F(SilentServer, AHangingReserveNeitherHoldsUpTheTickNorTheMainServersReconnection) {
    FCallTimeoutSeconds = 3;
    SetSrv(MainDb(), TSrvRow{0, 1, 0});
    SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
    WriteIni(2, 0, true);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(m.MainOk.load());
    ASSERT_TRUE(MirrorWrites.load());

    // The reserve goes silent: the ticks stay quick, the window's statements too, and mirroring ends
    // once the reserve watcher's probe has timed out.
    Hang(ReserveDb(), 20);
    qint64 slowest = 0, slowestRead = 0;
    EXPECT_TRUE(TickUntil(
        [&] {
            slowestRead = std::max(slowestRead, TimedRead());
            return !MirrorWrites.load();
        },
        slowest));
    EXPECT_LT(slowest, 1000) << "a tick waited for the silent reserve";
    EXPECT_LT(slowestRead, 1000);
    EXPECT_TRUE(m.MainOk.load());
    EXPECT_TRUE(CanWrite.load());

    // The main server goes away and returns while the reserve watcher still waits for the reserve.
    Down(MainDb());
    EXPECT_TRUE(TickUntil([&] { return !m.MainOk.load(); }, slowest));
    Up(MainDb());
    QElapsedTimer back;
    back.start();
    EXPECT_TRUE(TickUntil([&] { return m.MainOk && !FNotice->Visible; }, slowest));
    EXPECT_LT(back.elapsed(), 5000) << "the main server's reconnection waited for the reserve";
    EXPECT_LT(slowest, 1000);
    EXPECT_EQ(m.ReservThread->State(), TBaseWatchThread::stEvaluating) << "the reserve answered meanwhile";
    EXPECT_TRUE(CanWrite.load());
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_LT(TimedRead(), 1000);

    // The reserve answers again: mirroring comes back with the next ticks.
    Up(ReserveDb());
    EXPECT_TRUE(TickUntil([&] { return MirrorWrites.load(); }, slowest));
}

TEST_F(SilentServer, ChangesStopWaitingForASilentReserveWithinATick) {
    // A long call timeout: the reserve's silence is noticed without waiting for it to run out.
    FCallTimeoutSeconds = 15;
    SetSrv(MainDb(), TSrvRow{0, 1, 0});
    SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
    WriteIni(2, 0, true);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(MirrorWrites.load());

    Hang(ReserveDb(), 30);
    // The tick wakes the reserve watcher, whose probe now waits for the silent reserve.
    EXPECT_LT(TimedTick(), 1000);
    ASSERT_TRUE(MirrorWrites.load());
    QThread::msleep(100);
    EXPECT_EQ(m.ReservThread->State(), TBaseWatchThread::stEvaluating);

    // A change made meanwhile goes to the main server alone, instead of queueing behind the probe.
    QElapsedTimer t;
    t.start();
    TNoteQuery q;
    q.SetSQLText(QStringLiteral("UPDATE SRV SET RO = 0"));
    q.Execute();
    FModule->CommitAll();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_TRUE(m.MainOk.load());
    EXPECT_TRUE(CanWrite.load());

    // The ticks keep mirroring off while the probe goes without an answer.
    qint64 slowest = 0;
    for (int i = 0; i < 3; ++i) {
        slowest = std::max(slowest, TimedTick());
        EXPECT_FALSE(MirrorWrites.load());
        QThread::msleep(300);
    }
    EXPECT_LT(slowest, 1000);
    EXPECT_EQ(m.ReservThread->State(), TBaseWatchThread::stEvaluating) << "the probe is still waiting";

    // A quick reserve is never taken for a silent one, however often the servers are checked.
    Up(ReserveDb());
    EXPECT_TRUE(TickUntil([&] { return MirrorWrites.load(); }, slowest));
    for (int i = 0; i < 50; ++i) {
        m.CheckServers();
        EXPECT_TRUE(MirrorWrites.load()) << i;
    }
}

} // namespace
