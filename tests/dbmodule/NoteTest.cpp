// The logged query and dataset: the view-mode gate, mirroring onto the reserve server, the
// Boolean results, and NextId. What reached each server is read from the round-trip trace.
#include "ServerFixture.h"

#include "NoteDataSet.h"
#include "NoteQuery.h"
#include "Oracle.h"

#include <QFile>

namespace {

class NoteGate : public ServerTest {
protected:
    // One server: RO 2 gives view mode, RO 0 edit mode.
    TFOracleBase& OneServer(int ro) {
        SetSrv(MainDb(), TSrvRow{0, 0, ro});
        WriteIni(1, 0, false);
        return CreateModule();
    }
    // Two servers with mirroring (main (0,1), reserve (1,0)).
    TFOracleBase& Mirrored() {
        SetSrv(MainDb(), TSrvRow{0, 1, 0});
        SetSrv(ReserveDb(), TSrvRow{1, 0, 0});
        WriteIni(2, 0, false);
        TFOracleBase& m = CreateModule();
        EXPECT_TRUE(MirrorWrites.load());
        return m;
    }
    static bool Exec(const QString& sql, bool commit) {
        TNoteDataSet ds;
        ds.SetSQLText(sql);
        return ds.NoteExecSQL(commit);
    }
    using ServerTest::Exec;
};

const QString Grant = QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (5, 2)");
const QString GrantCount = QStringLiteral("SELECT * FROM KMR_PROG_FOR_USER WHERE TABNUM = 5");

TEST_F(NoteGate, ViewModeSkipsAModifyingStatementSilently) {
    TFOracleBase& m = OneServer(2);
    ASSERT_TRUE(m.MainOk.load());
    ASSERT_FALSE(CanWrite.load());
    ClearTrace();
    const QString update = QStringLiteral("UPDATE USER_PSW SET NAME = 'x'");
    EXPECT_TRUE(Exec(update, true));
    TNoteQuery q;
    q.SetSQLText(update);
    EXPECT_NO_THROW(q.Execute());
    EXPECT_EQ(TraceCount(QStringLiteral("OCIStmtExecute"), update), 0);
    EXPECT_EQ(TraceCount(QStringLiteral("OCITransCommit")), 0);
    EXPECT_FALSE(m.ADatabase->InTransaction());
    EXPECT_TRUE(FErrors.empty());
    EXPECT_EQ(CountRows(MainDb(), QStringLiteral("SELECT * FROM USER_PSW WHERE NAME = 'x'")), 0);
}

TEST_F(NoteGate, ViewModeRunsReadStatements) {
    OneServer(2);
    Exec(MainDb(), Grant);
    ClearTrace();
    // The layer drops the CRs; what reaches the server is the rest of the text.
    TNoteQuery q;
    q.SetSQLText(QStringLiteral("   \r\n  select TABNUM from KMR_PROG_FOR_USER"));
    q.Execute();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Field(0).toInt(), 5);
    q.Close();
    EXPECT_GE(TraceCount(QStringLiteral("OCIStmtExecute"),
                         QStringLiteral("   \n  select TABNUM from KMR_PROG_FOR_USER")),
              1)
        << TraceText();

    TNoteDataSet ds;
    ds.SetSQLText(QStringLiteral("  \n select ID_PROGRAMM from KMR_PROG_FOR_USER"));
    EXPECT_TRUE(ds.NoteOpen());
    EXPECT_EQ(ds.RecordCount(), 1);
    ds.Close();
    ClearTrace();
    EXPECT_TRUE(ds.NoteExecSQL(true)); // a read through the gate runs as well
    EXPECT_GE(TraceCount(QStringLiteral("OCIStmtExecute"),
                         QStringLiteral("  \n select ID_PROGRAMM from KMR_PROG_FOR_USER")),
              1)
        << TraceText();
}

TEST_F(NoteGate, ViewModeLetsAutoHourBlocksThroughOnlyInCapitals) {
    OneServer(2);
    ClearTrace();
    const QString upper = QStringLiteral("begin AUTO_HOUR.RECALC(1); end;");
    const QString lower = QStringLiteral("begin auto_hour.recalc(1); end;");
    TNoteDataSet ds;
    ds.SetSQLText(lower);
    EXPECT_NO_THROW(ds.GatedExecSQL());
    EXPECT_EQ(TraceCount(QStringLiteral("OCIStmtExecute")), 0);
    ds.SetSQLText(upper);
    // It reaches the server, which knows no such package: the main server's error reaches the caller.
    EXPECT_THROW(ds.GatedExecSQL(), EOracleError);
    EXPECT_GE(TraceCount(QStringLiteral("OCIStmtExecute")), 1);
    EXPECT_FALSE(ds.NoteExecSQL(true));
}

TEST_F(NoteGate, EditModeWithoutMirroringRunsOnTheMainServerOnly) {
    TFOracleBase& m = OneServer(0);
    ASSERT_TRUE(CanWrite.load());
    ClearTrace();
    EXPECT_TRUE(Exec(Grant, true));
    EXPECT_EQ(TraceCount(QStringLiteral("OCIStmtExecute"), Grant), 1);
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 1);
    EXPECT_FALSE(m.ADatabase->InTransaction());
}

TEST_F(NoteGate, MirroringRepeatsChangesButNotReads) {
    TFOracleBase& m = Mirrored();
    Exec(MainDb(), Grant);
    Exec(ReserveDb(), Grant);
    ClearTrace();

    const QString del = QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = 5");
    EXPECT_TRUE(Exec(del, true));
    EXPECT_EQ(TraceCount(QStringLiteral("OCIStmtExecute"), del), 2);
    EXPECT_EQ(TraceCount(QStringLiteral("OCITransCommit")), 2);
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 0);
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 0);

    const QString sel = QStringLiteral("SELECT * FROM KMR_PROG_FOR_USER");
    TNoteDataSet ds;
    ds.SetSQLText(sel);
    EXPECT_TRUE(ds.NoteExecSQL(false));
    TNoteQuery q;
    q.SetSQLText(sel);
    q.Execute();
    q.Close();
    EXPECT_EQ(TraceCount(QStringLiteral("OCIStmtExecute"), sel), 2); // one each, main server only
    EXPECT_EQ(ds.Session(), m.ADatabase);
    EXPECT_EQ(q.Session(), m.ADatabase);
    EXPECT_TRUE(MirrorWrites.load());
}

TEST_F(NoteGate, ReserveDownWhileMirroringSwitchesMirroringOffWithoutAMessage) {
    TFOracleBase& m = Mirrored();
    Down(ReserveDb());
    ClearTrace();
    EXPECT_TRUE(Exec(Grant, true));
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_TRUE(CanWrite.load());
    EXPECT_TRUE(FErrors.empty());
    // The main server's change stands and was committed there alone.
    EXPECT_EQ(TraceCount(QStringLiteral("OCITransCommit")), 1);
    Up(ReserveDb());
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 1);
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 0);
    EXPECT_FALSE(m.ADatabase->InTransaction());
}

TEST_F(NoteGate, NoteExecSQLWithoutCommitLeavesTheTransactionOpen) {
    TFOracleBase& m = OneServer(0);
    EXPECT_TRUE(Exec(Grant, false));
    EXPECT_TRUE(m.ADatabase->InTransaction());
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 0);
    m.CommitAll();
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 1);
}

TEST_F(NoteGate, FailureRollsBothSessionsBack) {
    TFOracleBase& m = Mirrored();
    EXPECT_TRUE(Exec(Grant, false));
    EXPECT_TRUE(m.ADatabase->InTransaction());
    EXPECT_TRUE(m.BDatabase->InTransaction());
    EXPECT_FALSE(Exec(QStringLiteral("INSERT INTO NO_SUCH_TABLE VALUES (1)"), true));
    EXPECT_FALSE(m.ADatabase->InTransaction());
    EXPECT_FALSE(m.BDatabase->InTransaction());
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 0);
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 0);
    EXPECT_TRUE(MirrorWrites.load()); // a main-server failure does not touch mirroring
    EXPECT_TRUE(FErrors.empty());
}

// The reserve server lost after it took the statement, before its commit: the main server's commit
// stands, so the change is reported as made; the reserve missed it and mirroring stops.
TEST_F(NoteGate, AReserveLostBeforeItsCommitDoesNotFailAChangeTheMainServerCommitted) {
    TFOracleBase& m = Mirrored();
    QFile countdown(ReserveDb() + QStringLiteral(".down-after"));
    ASSERT_TRUE(countdown.open(QIODevice::WriteOnly));
    countdown.write("1\n"); // the repeated statement is answered, nothing after it
    countdown.close();
    const unsigned missed = m.UnmirroredChanges();
    QString error;
    TNoteDataSet ds;
    ds.SetSQLText(Grant);
    EXPECT_TRUE(ds.NoteExecSQL(true, error)) << error.toStdString();
    EXPECT_FALSE(MirrorWrites.load());
    EXPECT_GT(m.UnmirroredChanges(), missed);
    Up(ReserveDb());
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 1);
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 0);
}

// The reserve's part of a change is rolled back with the main server's even when mirroring stopped in
// between (a watcher's evaluation) or the main server refuses its roll-back: left open, it would hold
// the reserve's locks and be committed by the next mirrored change.
TEST_F(NoteGate, TheReservesPartIsRolledBackWhateverHappenedToMirroringOrTheMainServer) {
    TFOracleBase& m = Mirrored();
    TNoteDataSet ds;
    ds.SetSQLText(Grant);
    ds.GatedExecSQL();
    ASSERT_TRUE(m.BDatabase->InTransaction());
    MirrorWrites = false;
    m.RollbackAll();
    EXPECT_FALSE(m.BDatabase->InTransaction());

    // Mirroring stopped between the reserve's part and the commit: the part is dropped, not committed.
    MirrorWrites = true;
    ds.GatedExecSQL();
    MirrorWrites = false;
    const unsigned missed = m.UnmirroredChanges();
    m.CommitAll();
    EXPECT_FALSE(m.BDatabase->InTransaction());
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 1);
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 0);
    EXPECT_GT(m.UnmirroredChanges(), missed);

    MirrorWrites = true;
    ds.SetSQLText(QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = 5"));
    ds.GatedExecSQL();
    ASSERT_TRUE(m.BDatabase->InTransaction());
    Down(MainDb());
    EXPECT_FALSE(ds.NoteExecSQL(true)); // the main server's commit fails; both are rolled back
    Up(MainDb());
    EXPECT_FALSE(m.BDatabase->InTransaction());
    // The reserve takes another session's change at once: no lock is left behind.
    EXPECT_NO_FATAL_FAILURE(Exec(ReserveDb(), Grant));
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 1);
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 1);
}

TEST_F(NoteGate, MainServerErrorReachesTheCaller) {
    OneServer(0);
    TNoteQuery q;
    q.SetSQLText(QStringLiteral("DELETE FROM NO_SUCH_TABLE"));
    EXPECT_THROW(q.Execute(), EOracleError);
    TNoteDataSet ds;
    ds.SetSQLText(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
    EXPECT_THROW(ds.OpenOnMain(), EOracleError);
    EXPECT_FALSE(ds.NoteOpen());
}

TEST_F(NoteGate, NoteNextReportsTheEnd) {
    OneServer(0);
    Exec(MainDb(), Grant);
    TNoteDataSet ds;
    ds.SetSQLText(GrantCount);
    ASSERT_TRUE(ds.NoteOpen());
    EXPECT_TRUE(ds.NoteNext());
    EXPECT_TRUE(ds.Eof());
    ds.Close();
    EXPECT_FALSE(ds.NoteNext()); // closed: the error becomes false
}

TEST_F(NoteGate, NextId) {
    OneServer(2); // keys are computed in view mode as well
    EXPECT_EQ(NextId(QStringLiteral("SELECT MAX(ID_PROP) ID FROM KMR_PROP_FOR_PROG")), 1);
    Exec(MainDb(), Grant);
    Exec(MainDb(), QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (41, 2)"));
    EXPECT_EQ(NextId(QStringLiteral("SELECT MAX(TABNUM) ID FROM KMR_PROG_FOR_USER")), 42);
    EXPECT_EQ(NextId(QStringLiteral("SELECT MAX(X) ID FROM NO_SUCH_TABLE")), -1);
}

TEST_F(NoteGate, QueriesFollowTheMainSessionAfterASwap) {
    SetSrv(MainDb(), TSrvRow{3, 0, 0});
    SetSrv(ReserveDb(), TSrvRow{0, 1, 0});
    WriteIni(2, 0, false);
    TFOracleBase& m = CreateModule();
    ASSERT_EQ(m.ADatabase->LogonDatabase(), ReserveDb());
    EXPECT_TRUE(Exec(Grant, true));
    EXPECT_EQ(CountRows(ReserveDb(), GrantCount), 1);
    EXPECT_EQ(CountRows(MainDb(), GrantCount), 0);
}

} // namespace
