// The documented failover cases, one by one, with the same judgement as the random sequences: a
// change the window reports as done is on the main server (and on the reserve unless the module
// counted it as missed), a change reported as failed is on neither, and afterwards the window follows
// both servers back with every thread idle.
#include "../support/TraceFile.h"
#include "FailoverRig.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "Oracle.h"
#include "OracleBase.h"

#include <QFile>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

#define EXPECT_CLEAN(rig)                                                                                    \
    EXPECT_TRUE((rig).Violations.isEmpty()) << (rig).Violations.join(u'\n').toStdString() << "\n--\n"        \
                                            << (rig).Report().toStdString()

const QString ReserveAway =
    QStringLiteral("Резервный сервер недоступен: изменения записываются только на основной сервер");

// Round trips of a kind that carried a piece of text.
// Statements that changed a table (not reads).
int TraceChanges(const QString& trace, const QString& table) {
    int n = 0;
    for (const TTraceLine& line : ReadTraceFile(trace))
        n += line.Call == QLatin1String("OCIStmtExecute") && line.Text.contains(table) &&
                     !line.Text.startsWith(QLatin1String("SELECT"))
                 ? 1
                 : 0;
    return n;
}

// With the reserve server down, a change goes to the main server only, nothing is shown as failed,
// mirroring stops, the module counts the change as missed, and the status bar says so.
TEST(Failover, ReserveDownChangesReachTheMainServerOnlyAndAreCounted) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(MirrorWrites.load());
    rig.Down(TServer::B);
    EXPECT_EQ(rig.TickGrant(3, 1), true);
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_GT(FOracleBase->UnmirroredChanges(), 0u);
    EXPECT_EQ(rig.PickGroup(3, 1, 1), true);
    EXPECT_EQ(rig.EditUser(4, QStringLiteral("10.1.1.1")), true);
    rig.Window()->WatchServers();
    EXPECT_EQ(rig.Window()->ReserveStatus->text(), ReserveAway);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_CLEAN(rig);
}

// The issue that started this suite: a grant withdrawn while the reserve was away and ticked again
// after it returned stands once on the main server.
TEST(Failover, AGrantTickedAgainAfterTheReserveReturnedStandsOnceOnTheMainServer) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_EQ(rig.TickGrant(2, 0), true);
    rig.Down(TServer::B);
    EXPECT_EQ(rig.TickGrant(2, 0), true);
    rig.Up(TServer::B);
    ASSERT_TRUE(rig.TickUntil([] { return MirrorWrites.load(); }));
    EXPECT_EQ(rig.TickGrant(2, 0), true);
    EXPECT_CLEAN(rig);
}

// A main server outage closes the list; the window's actions are refused or not offered meanwhile,
// and once the server is back the window reloads and works on both servers again.
TEST(Failover, MainServerOutageAndReturn) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Down(TServer::A);
    rig.Tick();
    EXPECT_NE(rig.TickGrant(1, 1), true);
    EXPECT_NE(rig.EditUser(1, QStringLiteral("10.2.2.2")), true);
    EXPECT_NE(rig.RegisterProgram(QStringLiteral("Вне связи")), true);
    rig.Up(TServer::A);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_EQ(rig.EditUser(1, QStringLiteral("10.2.2.3")), true);
    EXPECT_CLEAN(rig);
}

// SRV rows switched: the former reserve becomes the main server, the window follows it, and changes
// reach it and the former main server, now the reserve.
TEST(Failover, MainAndReserveChangePlaces) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_EQ(rig.MainFile(), TServer::A);
    rig.SetSrv(TServer::A, 1, 0, 0);
    rig.SetSrv(TServer::B, 0, 1, 0);
    ASSERT_TRUE(rig.TickUntil([&rig] {
        return rig.MainFile() == TServer::B && FOracleBase->MainOk && rig.Window()->UsersSet->Active();
    }));
    EXPECT_TRUE(CanWrite.load());
    EXPECT_TRUE(MirrorWrites.load());
    EXPECT_EQ(rig.TickGrant(5, 2), true);
    EXPECT_EQ(rig.PickGroup(5, 2, 0), true);
    EXPECT_EQ(rig.AddUser(QStringLiteral("swapped")), true);
    EXPECT_EQ(rig.RegisterProgram(QStringLiteral("После смены")), true);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_CLEAN(rig);
}

// A main row saying MAIN = 2 makes the module ask the reserve, whose MAIN = 0 makes it the main
// server without mirroring: changes land there and are counted as missed by the other.
TEST(Failover, AMainServerThatMayNotBeChosenHandsOverWithoutMirroring) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    rig.SetSrv(TServer::A, 2, 0, 0);
    rig.SetSrv(TServer::B, 0, 2, 0);
    ASSERT_TRUE(rig.TickUntil([&rig] {
        return rig.MainFile() == TServer::B && FOracleBase->MainOk && rig.Window()->UsersSet->Active();
    }));
    EXPECT_TRUE(CanWrite.load());
    EXPECT_FALSE(MirrorWrites.load());
    const unsigned missed = FOracleBase->UnmirroredChanges();
    EXPECT_EQ(rig.TickGrant(6, 0), true);
    EXPECT_GT(FOracleBase->UnmirroredChanges(), missed);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_CLEAN(rig);
}

// View mode switched on in the middle of an edit: the post is refused and nothing reaches either
// server; a grant tick and a registration are refused the same way; edit mode lets them through.
TEST(Failover, ViewModeRefusesEveryKindOfChange) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    rig.SetSrv(TServer::A, 0, 1, 2);
    rig.SetSrv(TServer::B, 1, 0, 2);
    ASSERT_TRUE(rig.TickUntil([] { return !CanWrite.load(); }));
    rig.Tick();
    EXPECT_NE(rig.TickGrant(1, 0), true);
    EXPECT_NE(rig.PickGroup(1, 0, 1), true);
    EXPECT_NE(rig.RegisterProgram(QStringLiteral("Только просмотр")), true);
    EXPECT_NE(rig.AddUser(QStringLiteral("viewer")), true);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_EQ(rig.RegisterProgram(QStringLiteral("Снова правка")), true);
    EXPECT_CLEAN(rig);
}

// A silent main server costs one call timeout, not the marker's seconds; the action is reported as
// failed and is on neither server; the window comes back when the server answers.
TEST(Failover, AHangingMainServerFailsTheActionAfterTheCallTimeout) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Hang(TServer::A, 30);
    EXPECT_NE(rig.TickGrant(2, 1), true);
    EXPECT_NE(rig.EditUser(2, QStringLiteral("10.3.3.3")), true);
    rig.Up(TServer::A);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_CLEAN(rig);
}

// A silent reserve server: the change stands on the main server, mirroring stops, nothing is shown.
TEST(Failover, AHangingReserveServerStopsMirroringAndKeepsTheChange) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Hang(TServer::B, 30);
    EXPECT_EQ(rig.TickGrant(2, 1), true);
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_EQ(rig.PickGroup(2, 1, 0), true);
    rig.Up(TServer::B);
    EXPECT_TRUE(rig.HealAndProve());
    EXPECT_CLEAN(rig);
}

// The program ends while the main watcher waits for a silent server: the module's end waits for that
// evaluation (a log-on waits as long as the network does, here the marker's seconds) and then ends.
TEST(Failover, TheProgramEndsWhileAWatcherWaitsForASilentServer) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Hang(TServer::A, 2);
    EXPECT_NE(rig.TickGrant(2, 2), true);
    rig.Tick(); // the main watcher now evaluates against the silent server
    rig.Finish();
    EXPECT_EQ(FOracleBase, nullptr);
    rig.Up(TServer::A);
    EXPECT_CLEAN(rig);
}

// Either server lost at every round trip of each kind of action, one cut after another: whatever the
// moment, the window's report and the servers agree.
void LoseAtEveryRoundTrip(TServer server,
                          const std::function<std::optional<bool>(TFailoverRig&, int)>& action) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    for (int cut = 0; cut < 40; ++cut) {
        rig.Log(QStringLiteral("-- cut at round trip %1").arg(cut));
        rig.DownAfter(server, cut);
        action(rig, cut);
        // The countdown outlived the action: every later cut would be past its end as well.
        const bool outlived =
            QFile::exists(QStringLiteral("%1.down-after")
                              .arg(QString::fromUtf8(qgetenv("OCISQLITE_DATA")) + u'/' +
                                   TFailoverRig::Name(server).toLower() + QStringLiteral(".db")));
        if (!rig.HealAndProve() || outlived)
            break;
    }
    EXPECT_CLEAN(rig);
}

TEST(Failover, EitherServerLostAtEveryRoundTripOfAGrantTick) {
    for (TServer s : {TServer::A, TServer::B})
        LoseAtEveryRoundTrip(s, [](TFailoverRig& rig, int cut) { return rig.TickGrant(cut, cut); });
}

TEST(Failover, EitherServerLostAtEveryRoundTripOfAGroupPick) {
    for (TServer s : {TServer::A, TServer::B})
        LoseAtEveryRoundTrip(s, [](TFailoverRig& rig, int cut) { return rig.PickGroup(1, 0, cut); });
}

TEST(Failover, EitherServerLostAtEveryRoundTripOfAUserEdit) {
    for (TServer s : {TServer::A, TServer::B})
        LoseAtEveryRoundTrip(s, [](TFailoverRig& rig, int cut) {
            return rig.EditUser(cut, QStringLiteral("10.4.%1.%2").arg(int(rig.MainFile())).arg(cut));
        });
}

TEST(Failover, EitherServerLostAtEveryRoundTripOfANewUser) {
    for (TServer s : {TServer::A, TServer::B})
        LoseAtEveryRoundTrip(s, [s](TFailoverRig& rig, int cut) {
            return rig.AddUser(QStringLiteral("cut%1_%2").arg(int(s)).arg(cut));
        });
}

TEST(Failover, EitherServerLostAtEveryRoundTripOfARegistration) {
    for (TServer s : {TServer::A, TServer::B})
        LoseAtEveryRoundTrip(s, [s](TFailoverRig& rig, int cut) {
            return rig.RegisterProgram(QStringLiteral("Срез %1 %2").arg(int(s)).arg(cut));
        });
}

// The trace shows that a change made while mirroring reached both servers' sessions.
TEST(Failover, TheTraceShowsAMirroredGrantOnBothSessions) {
    TFailoverRig rig;
    ASSERT_TRUE(rig.Start());
    const QString table = QStringLiteral("KMR_PROG_FOR_USER");
    const int before = TraceChanges(rig.TraceFile(), table);
    ASSERT_EQ(rig.TickGrant(7, 2), true);
    EXPECT_EQ(TraceChanges(rig.TraceFile(), table) - before, 2);
    EXPECT_CLEAN(rig);
}

} // namespace
