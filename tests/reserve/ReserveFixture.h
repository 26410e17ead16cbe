// The demo servers with the database module in edit mode with mirroring, the reserve taken away and
// brought back, the three changes of a typical afternoon, and the trace read per server.
#pragma once

#include "DemoServers.h"
#include "PumpEvents.h"
#include "TraceSessions.h"

#include "NoteDataSet.h"
#include "Oracle.h"
#include "OracleBase.h"
#include "ReserveCompare.h"
#include "ReserveTables.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

// The picks of the demo data.
inline constexpr int BarredUser = 4; // Белова Ирина Николаевна (belova)
inline constexpr int WithdrawnProgram = 2;
inline constexpr int RenamedGroupProgram = 2, RenamedGroup = 3; // "Оформление заявок"

class ReserveTest : public ::testing::Test {
protected:
    void SetUp() override {
        Demo = std::make_unique<TDemoServers>();
        ASSERT_TRUE(Demo->Error().isEmpty()) << Demo->Error().toStdString();
        // Sessions of the reserve get numbers above every main server session's, so that the
        // trace tells the two servers apart.
        for (int i = 0; i < 12; ++i)
            FPadding.push_back(Logon(Demo->ReserveDb()));
    }
    void TearDown() override {
        if (Demo) {
            Up(Demo->MainDb());
            Up(Demo->ReserveDb());
            Demo->Stop();
        }
        FPadding.clear();
        Demo.reset();
        CanWrite = false;
        MirrorWrites = false;
    }

    static std::unique_ptr<TOracleSession> Logon(const QString& db) { return TServerPair::LogOn(db); }
    static void Down(const QString& db) { ASSERT_TRUE(TServerPair::Down(db)); }
    static void Up(const QString& db) { TServerPair::Up(db); }

    // Edit mode with mirroring on both demo servers.
    TFOracleBase& Start() {
        TFOracleBase& module = Demo->Start(2, {0, 1, 0}, TSrvRow{1, 0, 0});
        EXPECT_TRUE(CanWrite && MirrorWrites);
        return module;
    }
    // The reserve goes away and the module notices: changes reach the main server only.
    void ReserveAway() {
        Down(Demo->ReserveDb());
        Probe();
        ASSERT_TRUE(CanWrite);
        ASSERT_FALSE(MirrorWrites);
    }
    // The reserve answers again and mirroring resumes.
    void ReserveBack() {
        Up(Demo->ReserveDb());
        Probe();
        ASSERT_TRUE(MirrorWrites);
    }
    // What the auto-connect tick and the reserve watcher find, done at once.
    void Probe() {
        FOracleBase->ReserveOk = FOracleBase->CheckReserve();
        FOracleBase->CheckServers();
        ASSERT_TRUE(PumpUntil([] { return FOracleBase->ReservThread->State() == TBaseWatchThread::stIdle; }));
    }

    // Statements as the windows send them: through the logged dataset, committed on both servers.
    static bool NoteExec(const QString& sql, const std::vector<std::pair<QString, QVariant>>& binds) {
        TNoteDataSet ds;
        ds.SetSQLText(sql);
        for (const auto& [name, value] : binds) {
            ds.DeclareVariable(name, value.typeId() == QMetaType::Int ? otInteger : otString);
            ds.SetVariable(name, value);
        }
        return ds.NoteExecSQL(true);
    }
    // The user list's own post (the dataset commits the main server itself).
    static void BarUser(int tabNum) {
        TNoteDataSet users;
        users.SetSQLText(QStringLiteral("SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID "
                                        "FROM KMR_USER_PSW ORDER BY TABNUM"));
        ASSERT_TRUE(users.NoteOpen());
        for (users.First(); !users.Eof(); users.Next())
            if (users.FieldByName(QStringLiteral("TABNUM"))->AsInteger() == tabNum)
                break;
        ASSERT_FALSE(users.Eof());
        users.Edit();
        users.FieldByName(QStringLiteral("WENABLED"))->SetAsString(QStringLiteral("F"));
        users.Post();
    }
    static void WithdrawGrant(int tabNum, int program) {
        ASSERT_TRUE(NoteExec(
            QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = :IDUSER AND ID_PROGRAMM = :IDPRG"),
            {{QStringLiteral("IDUSER"), tabNum}, {QStringLiteral("IDPRG"), program}}));
    }
    static void Grant(int tabNum, int program) {
        ASSERT_TRUE(NoteExec(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (:IDUSER, :IDPRG)"),
                             {{QStringLiteral("IDUSER"), tabNum}, {QStringLiteral("IDPRG"), program}}));
    }
    static void RenameGroup(int program, int group, const QString& name) {
        ASSERT_TRUE(NoteExec(QStringLiteral("UPDATE KMR_GROUP_FOR_PROG SET GROUP_NAME = :NAME "
                                            "WHERE ID_PROGRAMM = :IDPRG AND ID_GROUP = :IDGROUP"),
                             {{QStringLiteral("NAME"), name},
                              {QStringLiteral("IDPRG"), program},
                              {QStringLiteral("IDGROUP"), group}}));
    }
    // The reserve away, a user barred, a grant withdrawn, a group renamed, the reserve back.
    void ThreeChangesWhileTheReserveIsAway() {
        ReserveAway();
        BarUser(BarredUser);
        WithdrawGrant(BarredUser, WithdrawnProgram);
        RenameGroup(RenamedGroupProgram, RenamedGroup, QStringLiteral("Заявки и допуски"));
        Up(Demo->ReserveDb());
    }

    // The reserve gets a unique key on the grants that the main server has not (the demo data
    // hold one grant twice; both servers keep it once first).
    void RefuseSecondGrantsOnTheReserve() {
        for (const QString& db : {Demo->MainDb(), Demo->ReserveDb()}) {
            Demo->Exec(db,
                       QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = 8 AND ID_PROGRAMM = 1"));
            Demo->Exec(db, QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (8, 1)"));
        }
        Demo->Exec(
            Demo->ReserveDb(),
            QStringLiteral("CREATE UNIQUE INDEX UQ_TEST_GRANT ON KMR_PROG_FOR_USER (TABNUM, ID_PROGRAMM)"));
    }

    static TReserveComparer Comparer() {
        return TReserveComparer(ServerLogonOf(*FOracleBase->ADatabase),
                                ServerLogonOf(*FOracleBase->BDatabase));
    }
    const TTableDiff* Diff(const TReserveReport& report, const char* table) const {
        for (const TTableDiff& d : report.Diffs)
            if (d.Table->Name == QLatin1String(table))
                return &d;
        return nullptr;
    }
    // Every table of a server read whole, as text, to see that nothing changed.
    QStringList Contents(const QString& db) {
        auto session = Logon(db);
        QStringList all;
        for (const TReserveTable& table : ReserveTables()) {
            const TTableRows rows = ReadTableRows(*session, table, true);
            QStringList texts;
            for (const QVariantList& row : rows.Rows)
                texts << ReserveRowText(row);
            texts.sort();
            all << table.Name + QLatin1Char(':') + texts.join(QLatin1Char('|'));
        }
        session->LogOff();
        return all;
    }

    // Pumps events until cond holds (20 s at most).
    static bool PumpUntil(const std::function<bool()>& cond, int ms = 20000) { return ::PumpUntil(cond, ms); }

    std::unique_ptr<TDemoServers> Demo;

private:
    std::vector<std::unique_ptr<TOracleSession>> FPadding;
};
