// Comparing and updating the demo servers: the changes made while the reserve was away are found
// row by row and in words, the update makes both equal, a failure leaves the reserve as it was,
// nothing ever reaches the main server but reads, and a stored program travels only when its
// length or time says it is another file.
#include "ReserveFixture.h"

#include "../support/QtTestApplication.h"

#include "ReserveTables.h"

#include <QRandomGenerator>

namespace {

[[maybe_unused]] ::testing::Environment* const appEnvironment =
    RegisterQtTestApplication("reserve_server_test");

bool IsReadOnlyCall(const TTraceLine& line) {
    static const QStringList harmless = {QStringLiteral("OCIServerAttach"), QStringLiteral("OCISessionBegin"),
                                         QStringLiteral("OCISessionEnd"),   QStringLiteral("OCIStmtFetch"),
                                         QStringLiteral("OCIStmtFetch2"),   QStringLiteral("OCIPing"),
                                         QStringLiteral("OCIServerVersion")};
    if (harmless.contains(line.Call))
        return true;
    return line.Call == QLatin1String("OCIStmtExecute") &&
           line.Text.trimmed().startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive);
}

// The lines of the trace that went to a server, with the count of those that were not reads there.
struct TServerLines {
    QList<TTraceLine> Lines;
    int Writes = 0;
};

TServerLines LinesOf(const QList<TTraceLine>& trace, const QString& server, bool* ambiguous) {
    const QList<TTraceLine> lines(trace.begin(), trace.end());
    const TTraceServers servers = MapTraceServers(lines);
    *ambiguous = servers.Ambiguous;
    TServerLines out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (servers.Server.at(i) != server)
            continue;
        out.Lines << lines.at(i);
        if (!IsReadOnlyCall(lines.at(i)))
            ++out.Writes;
    }
    return out;
}

int Executions(const TServerLines& lines, const QString& start) {
    int n = 0;
    for (const TTraceLine& line : lines.Lines)
        if (line.Call == QLatin1String("OCIStmtExecute") && line.Text.startsWith(start))
            ++n;
    return n;
}

TEST_F(ReserveTest, ChangesMadeWhileTheReserveWasAwayAreFoundAndPutRight) {
    TFOracleBase& module = Start();
    ASSERT_EQ(Comparer().Compare().Outcome, TReserveReport::Equal);
    EXPECT_FALSE(module.ReserveMissedChanges());

    ThreeChangesWhileTheReserveIsAway();
    // The dataset's own commit, and both logged statements, each missed the reserve.
    EXPECT_GE(module.UnmirroredChanges(), 3u);

    const TReserveReport report = Comparer().Compare();
    ASSERT_EQ(report.Outcome, TReserveReport::Different) << report.Message.toStdString();
    ASSERT_EQ(report.Diffs.size(), ReserveTables().size());
    int changes = 0;
    for (const TTableDiff& d : report.Diffs)
        changes += int(d.Changes.size());
    EXPECT_EQ(changes, 3) << "exactly the three rows changed";

    const TTableDiff* users = Diff(report, "KMR_USER_PSW");
    ASSERT_TRUE(users && users->Changes.size() == 1);
    EXPECT_EQ(users->Changes[0].Kind, TRowChange::Differs);
    ASSERT_EQ(users->Changes[0].Changed.size(), 1);
    EXPECT_EQ(users->Columns.at(users->Changes[0].Changed[0]), QStringLiteral("WENABLED"));

    const TTableDiff* grants = Diff(report, "KMR_PROG_FOR_USER");
    ASSERT_TRUE(grants && grants->Changes.size() == 1);
    EXPECT_EQ(grants->Changes[0].Kind, TRowChange::OnlyOnReserve);
    EXPECT_EQ(grants->Changes[0].Reserve.at(grants->Column(QStringLiteral("TABNUM"))).toInt(), BarredUser);

    const TTableDiff* groups = Diff(report, "KMR_GROUP_FOR_PROG");
    ASSERT_TRUE(groups && groups->Changes.size() == 1);
    EXPECT_EQ(groups->Changes[0].Kind, TRowChange::Differs);

    // In words: names, not numbers.
    QStringList words;
    for (const TTableDiff& d : report.Diffs)
        words << DescribeReserveTable(d, *report.Names);
    const QString text = words.join(QLatin1Char('\n'));
    for (const char* expected :
         {"Белова Ирина Николаевна (belova), № 4 — отличается",
          "Разрешение на работу: на основном нет, на резервном да",
          "Белова Ирина Николаевна (belova) — программа «Отключения» — только на резервном сервере",
          "Название группы: на основном «Заявки и допуски», на резервном «Оформление заявок»"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();

    const QStringList mainBefore = Contents(Demo->MainDb());
    Demo->ClearTrace();
    const TReserveReport update = Comparer().Update();
    ASSERT_EQ(update.Outcome, TReserveReport::Equal) << update.Message.toStdString();
    EXPECT_TRUE(update.Updated);
    EXPECT_EQ(update.Written, 3);

    bool ambiguous = false;
    const TServerLines onMain = LinesOf(Demo->Trace(), Demo->MainDb(), &ambiguous);
    const TServerLines onReserve = LinesOf(Demo->Trace(), Demo->ReserveDb(), &ambiguous);
    ASSERT_FALSE(ambiguous);
    EXPECT_GT(Executions(onMain, QStringLiteral("SELECT")), 0);
    EXPECT_EQ(onMain.Writes, 0) << "the main server is only read";
    EXPECT_EQ(Executions(onReserve, QStringLiteral("UPDATE KMR_USER_PSW SET WENABLED")), 1);
    EXPECT_EQ(Executions(onReserve, QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE")), 1);
    EXPECT_EQ(Executions(onReserve, QStringLiteral("UPDATE KMR_GROUP_FOR_PROG SET GROUP_NAME")), 1);
    int commits = 0;
    for (const TTraceLine& line : onReserve.Lines)
        commits += line.Call == QLatin1String("OCITransCommit");
    EXPECT_EQ(commits, 1) << "one transaction of the reserve";
    EXPECT_EQ(Contents(Demo->MainDb()), mainBefore);

    const TReserveReport again = Comparer().Compare();
    EXPECT_EQ(again.Outcome, TReserveReport::Equal);
    EXPECT_EQ(again.Differences(), 0);
    EXPECT_EQ(Contents(Demo->MainDb()), Contents(Demo->ReserveDb()));
}

TEST_F(ReserveTest, AGrantReTickedAfterTheReserveReturnedIsHeldOnceAgain) {
    Start();
    ReserveAway();
    WithdrawGrant(BarredUser, WithdrawnProgram);
    ReserveBack();
    // The re-tick is mirrored, and the reserve that never lost the grant now holds it twice.
    Grant(BarredUser, WithdrawnProgram);
    const QString count =
        QStringLiteral("SELECT TABNUM FROM KMR_PROG_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
            .arg(BarredUser)
            .arg(WithdrawnProgram);
    ASSERT_EQ(Demo->Count(Demo->ReserveDb(), count), 2);

    const TReserveReport report = Comparer().Compare();
    ASSERT_EQ(report.Outcome, TReserveReport::Different);
    const TTableDiff* grants = Diff(report, "KMR_PROG_FOR_USER");
    ASSERT_TRUE(grants && grants->Changes.size() == 1);
    EXPECT_EQ(DescribeReserveKind(grants->Changes[0]),
              QStringLiteral("на основном 1 раз, на резервном 2 раза"));
    EXPECT_EQ(report.Differences(), 1);

    ASSERT_EQ(Comparer().Update().Outcome, TReserveReport::Equal);
    EXPECT_EQ(Demo->Count(Demo->ReserveDb(), count), 1);
    EXPECT_EQ(Demo->Count(Demo->MainDb(), count), 1);
}

TEST_F(ReserveTest, AFailureHalfWayLeavesBothServersAsTheyWere) {
    Start();
    // The reserve refuses a second copy of a grant; the main server holds one (tables without a key
    // allow it). The update reaches that insert after rewriting the user and the group.
    RefuseSecondGrantsOnTheReserve();
    ThreeChangesWhileTheReserveIsAway();
    Demo->Exec(Demo->MainDb(), QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (1, 1)"));

    const QStringList mainBefore = Contents(Demo->MainDb());
    const QStringList reserveBefore = Contents(Demo->ReserveDb());
    const TReserveReport update = Comparer().Update();
    EXPECT_EQ(update.Outcome, TReserveReport::Failed);
    EXPECT_TRUE(update.RolledBack);
    EXPECT_FALSE(update.Updated);
    EXPECT_TRUE(update.Message.startsWith(QStringLiteral("ORA-00001"))) << update.Message.toStdString();
    EXPECT_TRUE(update.Statement.startsWith(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER")))
        << update.Statement.toStdString();
    EXPECT_EQ(Contents(Demo->ReserveDb()), reserveBefore);
    EXPECT_EQ(Contents(Demo->MainDb()), mainBefore);
    // Still listed as before.
    EXPECT_EQ(Comparer().Compare().Differences(), 4);
}

TEST_F(ReserveTest, RefusedWhileAServerIsAwayOrInViewMode) {
    Start();
    ThreeChangesWhileTheReserveIsAway();
    Down(Demo->ReserveDb());
    EXPECT_EQ(Comparer().Compare().Outcome, TReserveReport::ReserveUnreachable);
    const TReserveReport away = Comparer().Update();
    EXPECT_EQ(away.Outcome, TReserveReport::ReserveUnreachable);
    EXPECT_FALSE(away.Message.isEmpty());
    Up(Demo->ReserveDb());

    const QStringList reserveBefore = Contents(Demo->ReserveDb());
    TReserveComparer viewMode = Comparer();
    viewMode.MayWrite = [] { return false; };
    EXPECT_EQ(viewMode.Update().Outcome, TReserveReport::ViewMode);
    EXPECT_EQ(Contents(Demo->ReserveDb()), reserveBefore);

    Down(Demo->MainDb());
    EXPECT_EQ(Comparer().Update().Outcome, TReserveReport::MainUnreachable);
    Up(Demo->MainDb());
    EXPECT_EQ(Contents(Demo->ReserveDb()), reserveBefore);
}

TEST_F(ReserveTest, AFiftyMegabyteProgramIsComparedByLengthAndTimeAndCopiedOnce) {
    Start();
    QByteArray bytes(50 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(19);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    {
        auto main = Logon(Demo->MainDb());
        TOracleQuery q;
        q.SetSession(main.get());
        q.SetSQLText(QStringLiteral(
            "INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS, PRDATE_TIME, PRCOD) "
            "VALUES (9, 'BIG.EXE', 'Большая', :T, :B)"));
        q.DeclareVariable(QStringLiteral("T"), otDate);
        q.SetVariable(QStringLiteral("T"), QDateTime(QDate(2026, 5, 1), QTime(12, 0)));
        q.DeclareVariable(QStringLiteral("B"), otLongRaw);
        q.SetLongVariable(QStringLiteral("B"), bytes.constData(), int(bytes.size()));
        q.Execute();
        main->Commit();
    }
    const QString bytesRead = QStringLiteral("SELECT PRCOD FROM KMR_PROGRAMMEXE");
    auto copies = [this, &bytesRead] {
        bool ambiguous = false;
        const TServerLines onMain = LinesOf(Demo->Trace(), Demo->MainDb(), &ambiguous);
        EXPECT_FALSE(ambiguous);
        EXPECT_EQ(Executions(LinesOf(Demo->Trace(), Demo->ReserveDb(), &ambiguous), bytesRead), 0);
        return Executions(onMain, bytesRead);
    };

    Demo->ClearTrace();
    const TReserveReport report = Comparer().Compare();
    const TTableDiff* programs = Diff(report, "KMR_PROGRAMMEXE");
    ASSERT_TRUE(programs && programs->Changes.size() == 1);
    EXPECT_EQ(programs->Changes[0].Main.at(programs->Column(QStringLiteral("PRCOD_LENGTH"))).toLongLong(),
              qint64(bytes.size()));
    EXPECT_EQ(copies(), 0) << "a comparison never reads the bytes";

    Demo->ClearTrace();
    ASSERT_EQ(Comparer().Update().Outcome, TReserveReport::Equal);
    EXPECT_EQ(copies(), 1) << "read once, from the main server";
    {
        auto reserve = Logon(Demo->ReserveDb());
        TOracleQuery q;
        q.SetSession(reserve.get());
        q.SetSQLText(QStringLiteral("SELECT PRCOD FROM KMR_PROGRAMMEXE WHERE ID_PROGRAMMEXE = 9"));
        q.Execute();
        ASSERT_FALSE(q.Eof());
        EXPECT_TRUE(q.Field(0).toByteArray() == bytes);
    }

    // A new title alone: the row is rewritten without its bytes.
    Demo->Exec(
        Demo->MainDb(),
        QStringLiteral("UPDATE KMR_PROGRAMMEXE SET PRALIAS = 'Большая программа' WHERE ID_PROGRAMMEXE = 9"));
    Demo->ClearTrace();
    ASSERT_EQ(Comparer().Update().Outcome, TReserveReport::Equal);
    EXPECT_EQ(copies(), 0);

    // A new time says another file: the bytes travel again, once.
    Demo->Exec(Demo->MainDb(),
               QStringLiteral("UPDATE KMR_PROGRAMMEXE SET PRDATE_TIME = SYSDATE WHERE ID_PROGRAMMEXE = 9"));
    Demo->ClearTrace();
    ASSERT_EQ(Comparer().Update().Outcome, TReserveReport::Equal);
    EXPECT_EQ(copies(), 1);
}

} // namespace
