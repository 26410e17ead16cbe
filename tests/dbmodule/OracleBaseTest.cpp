// The database module against two embedded servers: server states, swaps, mirroring, the
// watchers, the session labelling and the disabled-user check.
#include "ServerFixture.h"

#include "Oracle.h"
#include "Settings.h"

#include <QElapsedTimer>
#include <QThread>

#include <thread>

namespace {

struct StateCase {
    const char* name;
    int nServer, cServer;
    std::optional<TSrvRow> mainRow; // nullopt: SRV without a row
    std::optional<TSrvRow> reserveRow;
    bool mainDown, reserveDown;
    bool mainOk, canWrite, mirror;
    bool swapped; // ADatabase addresses the former reserve afterwards
};

std::ostream& operator<<(std::ostream& os, const StateCase& c) {
    return os << c.name;
}

class ServerStates : public ServerTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(ServerStates, EvaluationAtStart) {
    const StateCase& c = GetParam();
    SetSrv(MainDb(), c.mainRow);
    SetSrv(ReserveDb(), c.reserveRow);
    if (c.mainDown)
        Down(MainDb());
    if (c.reserveDown)
        Down(ReserveDb());
    WriteIni(c.nServer, c.cServer, false);

    TFOracleBase& m = CreateModule();
    EXPECT_EQ(m.MainOk.load(), c.mainOk);
    EXPECT_EQ(CanWrite.load(), c.canWrite);
    EXPECT_EQ(MirrorWrites.load(), c.mirror);
    EXPECT_EQ(m.ADatabase->LogonDatabase(), c.swapped ? ReserveDb() : MainDb());
    if (c.nServer == 2) {
        EXPECT_EQ(m.BDatabase->LogonDatabase(), c.swapped ? MainDb() : ReserveDb());
    }
    EXPECT_EQ(m.MainThread != nullptr, true);
    EXPECT_EQ(m.ReservThread != nullptr, c.nServer == 2);
    EXPECT_FALSE(m.Busy.load());
    EXPECT_TRUE(FErrors.empty());
}

// clang-format off
const StateCase stateCases[] = {
    // One server.
    {"OneServerEditMode", 1, 0, TSrvRow{0, 0, 0}, std::nullopt, false, false, true, true, false, false},
    {"OneServerRo1EditMode", 1, 0, TSrvRow{0, 0, 1}, std::nullopt, false, false, true, true, false, false},
    {"OneServerRo2ViewMode", 1, 0, TSrvRow{0, 0, 2}, std::nullopt, false, false, true, false, false, false},
    {"OneServerSrvWithoutRowIsViewMode", 1, 0, std::nullopt, std::nullopt, false, false, true, false, false, false},
    {"OneServerMain2StillUsable", 1, 0, TSrvRow{2, 0, 0}, std::nullopt, false, false, true, true, false, false},
    {"OneServerDown", 1, 0, TSrvRow{0, 0, 0}, std::nullopt, true, false, false, false, false, false},
    // Two servers, only the server marked 2.
    {"Choice2SwapsOnceToServerMarked2", 2, 2, TSrvRow{0, 1, 0}, TSrvRow{2, 0, 0}, false, false, true, true, false, true},
    {"Choice2MainMarked2", 2, 2, TSrvRow{2, 0, 1}, TSrvRow{0, 0, 0}, false, false, true, true, false, false},
    {"Choice2Marked2ButRo2", 2, 2, TSrvRow{2, 0, 2}, TSrvRow{0, 0, 0}, false, false, true, false, false, false},
    {"Choice2NeitherMarked", 2, 2, TSrvRow{0, 1, 0}, TSrvRow{1, 0, 0}, false, false, false, false, false, true},
    {"Choice2MainDownReserveMarked", 2, 2, TSrvRow{0, 1, 0}, TSrvRow{2, 0, 0}, true, false, true, true, false, true},
    // Two servers, automatic choice.
    {"Auto01Mirrors", 2, 0, TSrvRow{0, 1, 0}, TSrvRow{1, 0, 0}, false, false, true, true, true, false},
    {"Auto00Mirrors", 2, 0, TSrvRow{0, 0, 0}, TSrvRow{1, 0, 0}, false, false, true, true, true, false},
    {"Auto05NoMirror", 2, 0, TSrvRow{0, 5, 0}, TSrvRow{1, 0, 0}, false, false, true, true, false, false},
    {"Auto01ReserveDownNoMirror", 2, 0, TSrvRow{0, 1, 0}, TSrvRow{1, 0, 0}, false, true, true, true, false, false},
    {"Auto01Ro2View", 2, 0, TSrvRow{0, 1, 2}, TSrvRow{1, 0, 0}, false, false, true, false, false, false},
    {"Auto10SwapsAndMirrors", 2, 0, TSrvRow{1, 0, 0}, TSrvRow{0, 1, 0}, false, false, true, true, true, true},
    {"Auto30SwapsWithoutMirror", 2, 0, TSrvRow{3, 0, 0}, TSrvRow{0, 1, 0}, false, false, true, true, false, true},
    {"Auto11NoMainServer", 2, 0, TSrvRow{1, 1, 0}, TSrvRow{1, 1, 0}, false, false, false, false, false, false},
    {"Auto12NoMainServer", 2, 0, TSrvRow{1, 2, 0}, TSrvRow{0, 0, 0}, false, false, false, false, false, false},
    {"AutoMain2AsksReserveAndSwaps", 2, 0, TSrvRow{2, 0, 0}, TSrvRow{0, 1, 0}, false, false, true, true, false, true},
    {"AutoMain2ReserveRo2", 2, 0, TSrvRow{2, 0, 0}, TSrvRow{0, 1, 2}, false, false, true, false, false, true},
    {"AutoMainDownReserve0Swaps", 2, 0, TSrvRow{0, 1, 0}, TSrvRow{0, 1, 0}, true, false, true, true, false, true},
    {"AutoMainDownReserve1NoServer", 2, 0, TSrvRow{0, 1, 0}, TSrvRow{1, 0, 0}, true, false, false, false, false, false},
    {"AutoBothDown", 2, 0, TSrvRow{0, 1, 0}, TSrvRow{1, 0, 0}, true, true, false, false, false, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(DbModule, ServerStates, ::testing::ValuesIn(stateCases),
                         [](const auto& info) { return std::string(info.param.name); });

class DbModule : public ServerTest {};

TEST_F(DbModule, OneServerWithoutSrvTableIsLoggedOffAndInViewMode) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Exec(MainDb(), QStringLiteral("DROP TABLE SRV"));
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    EXPECT_FALSE(m.MainOk.load());
    EXPECT_FALSE(CanWrite.load());
    EXPECT_FALSE(m.ADatabase->Connected());
}

TEST_F(DbModule, NoSettingsFileMeansOneDefaultServer) {
    TFOracleBase& m = CreateModule();
    EXPECT_EQ(m.ADatabase->LogonDatabase(), "SERVER_OIK");
    EXPECT_EQ(m.ADatabase->LogonUsername(), "USER_OIK");
    EXPECT_EQ(m.ADatabase->LogonPassword(), "QUILLMOSS");
    EXPECT_EQ(m.BDatabase->LogonDatabase(), "");
    EXPECT_EQ(m.BDatabase->LogonPassword().size(), 1);
    EXPECT_FALSE(m.AutoConnect);
    EXPECT_FALSE(m.MainOk.load()); // no such server here
    EXPECT_EQ(m.TwoServers, 0);
    EXPECT_EQ(m.ReservThread, nullptr);
}

TEST_F(DbModule, RefreshServersClearsTheModesAndReevaluates) {
    SetSrv(MainDb(), TSrvRow{0, 1, 0});
    SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
    WriteIni(2, 0, false);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(MirrorWrites.load());
    SetSrv(MainDb(), TSrvRow{0, 5, 0});
    m.RefreshServers();
    EXPECT_TRUE(CanWrite.load());
    EXPECT_FALSE(MirrorWrites.load());
    // A main server gone: view mode until a watcher finds it again.
    Down(MainDb());
    Down(ReserveDb());
    m.RefreshServers();
    EXPECT_FALSE(m.MainOk.load());
    EXPECT_FALSE(CanWrite.load());
}

TEST_F(DbModule, ReserveStopsAnsweringWhileMirroringIsFoundByItsWatcher) {
    SetSrv(MainDb(), TSrvRow{0, 1, 0});
    SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
    WriteIni(2, 0, false);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(MirrorWrites.load());
    ASSERT_TRUE(m.ReserveOk.load());
    ASSERT_TRUE(m.BDatabase->Connected());

    // The reserve is probed by its watcher, never in this thread: the next check goes by the result.
    Down(ReserveDb());
    const int first = m.ReservThread->Evaluations();
    EXPECT_TRUE(m.CheckServers());
    ASSERT_TRUE(WaitForReserveWatcher(first + 1));
    EXPECT_FALSE(m.ReserveOk.load());
    EXPECT_TRUE(m.CheckServers());
    EXPECT_TRUE(CanWrite.load());
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_TRUE(FErrors.empty());

    // While it is missing, each check wakes the reserve watcher again.
    const int before = m.ReservThread->Evaluations();
    EXPECT_TRUE(m.CheckServers());
    ASSERT_TRUE(WaitForReserveWatcher(before + 1));
    EXPECT_FALSE(m.ReserveOk.load());
    EXPECT_FALSE(MirrorWrites.load());

    // Back again: the watcher finds it, and the next check mirrors again.
    Up(ReserveDb());
    const int again = m.ReservThread->Evaluations();
    m.CheckServers();
    ASSERT_TRUE(WaitForReserveWatcher(again + 1));
    EXPECT_TRUE(m.ReserveOk.load());
    EXPECT_TRUE(m.CheckServers());
    EXPECT_TRUE(MirrorWrites.load());
    EXPECT_TRUE(FErrors.empty());
}

TEST_F(DbModule, MainServerBackIsFoundByTheWatcher) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Down(MainDb());
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    ASSERT_FALSE(m.MainOk.load());

    // Still down: the watcher evaluates in the background and fails.
    EXPECT_FALSE(m.CheckServers());
    ASSERT_TRUE(WaitForMainWatcher(1));
    EXPECT_FALSE(m.MainOk.load());

    Up(MainDb());
    EXPECT_FALSE(m.CheckServers()); // this one only wakes the watcher
    ASSERT_TRUE(WaitForMainWatcher(2));
    EXPECT_TRUE(m.MainOk.load());
    EXPECT_TRUE(CanWrite.load());
    EXPECT_TRUE(m.CheckServers());
}

TEST_F(DbModule, FailedSwapLeavesParametersExchangedAndNextEvaluationUsesThem) {
    SetSrv(MainDb(), TSrvRow{1, 0, 0});
    SetSrv(ReserveDb(), TSrvRow{0, 1, 0});
    Down(ReserveDb());
    WriteIni(2, 0, false);
    TFOracleBase& m = CreateModule();
    EXPECT_FALSE(m.MainOk.load());
    EXPECT_FALSE(m.ADatabase->Connected());
    EXPECT_EQ(m.ADatabase->LogonDatabase(), ReserveDb());

    // The former reserve comes up: the watcher reads SRV through ADatabase, now the reserve.
    Up(ReserveDb());
    m.CheckServers();
    ASSERT_TRUE(WaitForMainWatcher(1));
    EXPECT_TRUE(m.MainOk.load());
    EXPECT_EQ(m.ADatabase->LogonDatabase(), ReserveDb());
    EXPECT_TRUE(CanWrite.load());
}

TEST_F(DbModule, SwapWaitsForARunningReserveProbe) {
    SetSrv(MainDb(), TSrvRow{0, 1, 0});
    SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
    WriteIni(2, 0, false);
    FReserveIdleTimeoutMs = 1500;
    TFOracleBase& m = CreateModule();
    // A probe that never ends: the swap gives up after the time-out and goes on.
    m.ReserveIdle->Reset();
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(m.SwapServers());
    EXPECT_GE(t.elapsed(), 1450);
    EXPECT_EQ(m.ADatabase->LogonDatabase(), ReserveDb());

    // A probe that ends releases the swap at once.
    m.ReserveIdle->Reset();
    std::thread probe([&] {
        QThread::msleep(50);
        m.ReserveIdle->Set();
    });
    t.restart();
    EXPECT_TRUE(m.SwapServers());
    probe.join();
    EXPECT_LT(t.elapsed(), 1400);
    EXPECT_EQ(m.ADatabase->LogonDatabase(), MainDb());
}

TEST_F(DbModule, DestroyingTheModuleWaitsForAnEvaluationUnderWay) {
    // Main down, reserve free to take over: the watcher's evaluation swaps, and the swap waits for
    // the reserve probe (which the test holds) until the time-out.
    SetSrv(MainDb(), TSrvRow{0, 1, 0});
    SetSrv(ReserveDb(), TSrvRow{0, 1, 0});
    Down(MainDb());
    Down(ReserveDb());
    WriteIni(2, 0, false);
    FReserveIdleTimeoutMs = 1500;
    TFOracleBase& m = CreateModule();
    ASSERT_FALSE(m.MainOk.load());
    Up(ReserveDb());
    m.ReserveIdle->Reset();
    m.CheckServers();
    // The watcher has read the reserve row (it logged BDatabase on) and now waits in the swap.
    ASSERT_TRUE(PumpUntil([&] { return m.BDatabase->Connected(); }));
    QThread::msleep(100);
    ASSERT_EQ(m.MainThread->State(), TBaseWatchThread::stEvaluating);
    QElapsedTimer t;
    t.start();
    DestroyModule();
    EXPECT_GE(t.elapsed(), 800);
    EXPECT_LT(t.elapsed(), 10000);
}

TEST_F(DbModule, CommitAllAndRollbackAllFollowTheModes) {
    SetSrv(MainDb(), TSrvRow{0, 0, 2});
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    ASSERT_FALSE(CanWrite.load());
    TOracleQuery q;
    q.SetSession(m.ADatabase);
    q.SetSQLText(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (1, 1)"));
    q.Execute();
    ASSERT_TRUE(m.ADatabase->InTransaction());
    ClearTrace();
    m.CommitAll(); // view mode: nothing, even with a transaction open
    EXPECT_TRUE(m.ADatabase->InTransaction());
    EXPECT_EQ(TraceCount(QStringLiteral("OCITransCommit")), 0);

    CanWrite = true;
    m.CommitAll();
    EXPECT_FALSE(m.ADatabase->InTransaction());
    EXPECT_EQ(TraceCount(QStringLiteral("OCITransCommit")), 1);
    EXPECT_EQ(CountRows(MainDb(), QStringLiteral("SELECT * FROM KMR_PROG_FOR_USER WHERE TABNUM = 1")), 1);

    q.SetSQLText(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (2, 1)"));
    q.Execute();
    m.RollbackAll();
    EXPECT_EQ(CountRows(MainDb(), QStringLiteral("SELECT * FROM KMR_PROG_FOR_USER WHERE TABNUM = 2")), 0);
    // Nothing open: no round trip at all.
    ClearTrace();
    m.CommitAll();
    EXPECT_EQ(TraceCount(QStringLiteral("OCITransCommit")), 0);
}

// V$SESSION as a second session sees it.
struct SessionLabel {
    QString Module, Action, ClientInfo;
};

std::vector<SessionLabel> SessionLabels(const QString& db) {
    TOracleSession s;
    s.SetLogonUsername(QStringLiteral("USER_OIK"));
    s.SetLogonPassword(QStringLiteral("QUILLMOSS"));
    s.SetLogonDatabase(db);
    s.LogOn();
    TOracleQuery q;
    q.SetSession(&s);
    q.SetSQLText(
        QStringLiteral("SELECT MODULE, ACTION, CLIENT_INFO FROM V$SESSION WHERE MODULE IS NOT NULL"));
    q.Execute();
    std::vector<SessionLabel> result;
    for (; !q.Eof(); q.Next())
        result.push_back({q.FieldAsString(0), q.FieldAsString(1), q.FieldAsString(2)});
    q.Close();
    s.LogOff();
    return result;
}

TEST_F(DbModule, SessionIsLabelledWithModuleAddressAndUserNumber) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    auto labels = SessionLabels(MainDb());
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].Module, "Admin_KMR");
    EXPECT_EQ(labels[0].Action, "10.1.2.3");
    EXPECT_EQ(labels[0].ClientInfo, "0");

    // After the sign-in the registration runs again with the user's number (an enabled user).
    Exec(MainDb(),
         QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, WENABLED) VALUES (17, 'ivanov', 'T')"));
    m.UserTabNum = 17;
    FHost->Address.clear(); // the name does not resolve
    m.SessionAfterLogOn(m.ADatabase);
    labels = SessionLabels(MainDb());
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].Action, QString::fromUtf8("Неизвестный"));
    EXPECT_EQ(labels[0].ClientInfo, "17");
    EXPECT_TRUE(FErrors.empty());
    EXPECT_EQ(FTerminations, 0);
}

TEST_F(DbModule, DisabledUserIsToldAndTheProgramEnds) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Exec(MainDb(),
         QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, WENABLED) VALUES (7, 'lebedev', 'F')"));
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    m.UserTabNum = 7;
    m.SessionAfterLogOn(m.ADatabase);
    ASSERT_EQ(FErrors.size(), 1u);
    EXPECT_EQ(FErrors[0].first, QString::fromUtf8("Вам запрещена работа с сервером. Сеанс прекращен."));
    EXPECT_EQ(FErrors[0].second, QString::fromUtf8("Обратитесь к администратору ОИК за допуском к работе."));
    EXPECT_EQ(FTerminations, 1);
    // The session was not relabelled with the barred user's number.
    EXPECT_EQ(SessionLabels(MainDb()).at(0).ClientInfo, "0");
}

TEST_F(DbModule, DisabledUserFoundByAWatcherIsPostedToTheGuiThread) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Exec(MainDb(),
         QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, WENABLED) VALUES (7, 'lebedev', 'F')"));
    Down(MainDb());
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    m.UserTabNum = 7;
    Up(MainDb());
    m.CheckServers();
    // The watcher logs on (AfterLogOn runs there) without waiting for this thread.
    ASSERT_TRUE(PumpUntil([&] { return m.MainThread->Evaluations() >= 1; }));
    ASSERT_TRUE(PumpUntil([&] { return FTerminations == 1; }));
    ASSERT_EQ(FErrors.size(), 1u); // the handler checks it ran on the GUI thread
    EXPECT_EQ(FErrors[0].first, QString::fromUtf8("Вам запрещена работа с сервером. Сеанс прекращен."));
}

TEST_F(DbModule, FailingDisabledUserQueryShowsStatementAndGoesOn) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Exec(MainDb(), QStringLiteral("DROP TABLE USER_PSW"));
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    m.UserTabNum = 3;
    m.SessionAfterLogOn(m.ADatabase);
    ASSERT_EQ(FErrors.size(), 1u);
    EXPECT_EQ(FErrors[0].first, "SELECT * FROM USER_PSW WHERE (TABNUM =3) AND (WENABLED = 'F')");
    EXPECT_TRUE(FErrors[0].second.startsWith("ORA-00942")) << FErrors[0].second.toStdString();
    EXPECT_EQ(FTerminations, 0);
    EXPECT_EQ(SessionLabels(MainDb()).at(0).ClientInfo, "3");
}

TEST_F(DbModule, StatusText) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    EXPECT_EQ(m.StatusText(), "   USER_OIK@" + MainDb() + "   ");
    m.SetUserFullName(QString::fromUtf8("Соколов Андрей"));
    EXPECT_EQ(m.StatusText(),
              "   USER_OIK@" + MainDb() + "   " + QString::fromUtf8("Пользователь: \"Соколов Андрей\"   "));
    DestroyModule();
    SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
    WriteIni(2, 0, false);
    TFOracleBase& two = CreateModule();
    EXPECT_EQ(two.StatusText(), QString::fromUtf8("   Два сервера. Основной: \"") + MainDb() + "\"   ");
}

} // namespace
