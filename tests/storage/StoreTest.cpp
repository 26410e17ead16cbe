// Storing, fetching and removing programs against the demo servers, through the statements that
// reach the server: the documented insert and update, replacement keeping number and grants, NULL
// bytes for an empty file, a 50 MB file both ways, new numbers above every number still in use,
// view mode, refusals that roll everything back, and files that are never left half-written.
#include "StorageFixture.h"

#include "QtTestApplication.h"

#include "InfoFromDat.h"
#include "ProgramStore.h"

#include <QFileInfo>

#include <thread>
#include <unistd.h>

namespace {

[[maybe_unused]] ::testing::Environment* const appEnvironment = RegisterQtTestApplication("storage_test");

const QString CountStatement =
    QStringLiteral("SELECT COUNT(*) PCOUNT FROM KMR_PROGRAMMEXE\nWHERE PRNAME=:PRNAME");
const QString InsertStatement =
    QStringLiteral("INSERT INTO KMR_PROGRAMMEXE\n"
                   "       (ID_PROGRAMMEXE, PRNAME,  PRALIAS,  PRDATE_TIME,  PRCOD)\n"
                   "VALUES (:IDPRG, :PRNAME, :PRALIAS, :PRDATE_TIME, :PRCOD)");
const QString UpdateStatement = QStringLiteral("UPDATE KMR_PROGRAMMEXE\n"
                                               "SET PRCOD      =:PRCOD\n"
                                               "   ,PRDATE_TIME=:PRDATE_TIME\n"
                                               "   ,PRALIAS    =:PRALIAS\n"
                                               "WHERE PRNAME   =:PRNAME");
const QString FetchStatement =
    QStringLiteral("SELECT PRALIAS, PRCOD, PRDATE_TIME FROM KMR_PROGRAMMEXE \nWHERE PRNAME=:PRNAME");

QString Unix(const QString& text) {
    QString out = text;
    return out.remove(u'\r');
}

void EmptyEveryProgramTable(TDemoServers& servers) {
    for (const char* table : {"KMR_PROGRAMMEXE", "KMR_PROG_FOR_USER", "KMR_GROUP_FOR_PROG",
                              "KMR_GROUP_FOR_USER", "KMR_PROG_PROP", "KMR_PROP_FOR_PROG"})
        servers.Exec(servers.MainDb(), QStringLiteral("DELETE FROM ") + QLatin1String(table));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

using StoreProgramTest = StorageTest;

TEST_F(StoreProgramTest, NewFileIsInsertedWithTheDocumentedStatementAndNumberOne) {
    EditMode();
    EmptyEveryProgramTable(*Servers);
    const QByteArray bytes = Pattern(70000);
    const QDateTime time(QDate(2026, 3, 14), QTime(10, 22, 40));
    const QString path = MakeFile(QStringLiteral("Disp/defects.exe"), bytes, time);
    Servers->ClearTrace();

    const TSaveOutcome outcome = StoreProgram(path, QStringLiteral("Дефекты"));
    ASSERT_EQ(outcome.Result, TSaveOutcome::Stored) << outcome.Error.toStdString();
    EXPECT_EQ(outcome.NewId, 1);
    const QStringList executed = Executed();
    ASSERT_EQ(executed.size(), 3) << executed.join(" | ").toStdString();
    EXPECT_EQ(executed[0], CountStatement);
    EXPECT_EQ(executed[1], Unix(NewProgramIdStatement()));
    EXPECT_EQ(executed[2], InsertStatement);
    // Committed after the insert, once.
    EXPECT_EQ(Servers->TraceCount(QStringLiteral("OCITransCommit")), 1);

    const auto row = Stored(QStringLiteral("DEFECTS.EXE"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Id, 1);
    EXPECT_EQ(row->Alias, QStringLiteral("Дефекты"));
    EXPECT_EQ(row->Time, time);
    EXPECT_EQ(row->Code, bytes);
}

TEST_F(StoreProgramTest, SameNameFromAnotherFolderReplacesBytesTimeAndTitleAndKeepsNumberAndGrants) {
    EditMode();
    const int grants = Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = 1"));
    ASSERT_GT(grants, 0);
    const QByteArray first = Pattern(1000, 1);
    const QByteArray second = Pattern(3000, 2);
    const QDateTime secondTime(QDate(2026, 11, 2), QTime(8, 0, 2));
    ASSERT_EQ(
        StoreProgram(MakeFile(QStringLiteral("a/defects.exe"), first), QStringLiteral("Дефекты")).Result,
        TSaveOutcome::Stored);
    Servers->ClearTrace();

    const TSaveOutcome outcome = StoreProgram(MakeFile(QStringLiteral("b/Defects.Exe"), second, secondTime),
                                              QStringLiteral("Дефекты 2"));
    ASSERT_EQ(outcome.Result, TSaveOutcome::Stored) << outcome.Error.toStdString();
    EXPECT_EQ(outcome.NewId, 0);
    EXPECT_EQ(Executed(), (QStringList{CountStatement, UpdateStatement}));
    const auto row = Stored(QStringLiteral("DEFECTS.EXE"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Id, 1);
    EXPECT_EQ(row->Alias, QStringLiteral("Дефекты 2"));
    EXPECT_EQ(row->Time, secondTime);
    EXPECT_EQ(row->Code, second);
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROGRAMMEXE WHERE PRNAME = 'DEFECTS.EXE'")), 1);
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = 1")), grants);
}

TEST_F(StoreProgramTest, EmptyFileIsStoredWithNullBytesAndNamesKeepAllButLatinLetters) {
    EditMode();
    ASSERT_EQ(
        StoreProgram(MakeFile(QStringLiteral("empty.exe"), QByteArray()), QStringLiteral("Пусто")).Result,
        TSaveOutcome::Stored);
    const auto empty = Stored(QStringLiteral("EMPTY.EXE"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->CodeNull);

    // Cyrillic letters, blanks and an apostrophe stay; only a-z are upper-cased.
    const QString name = QStringLiteral("Журнал смен o'neil-v2.exe");
    EXPECT_EQ(ProgramFileName(QStringLiteral("/opt/disp/") + name),
              QStringLiteral("Журнал смен O'NEIL-V2.EXE"));
    ASSERT_EQ(StoreProgram(MakeFile(name, "x"), QStringLiteral("Журнал")).Result, TSaveOutcome::Stored);
    EXPECT_TRUE(Stored(QStringLiteral("Журнал смен O'NEIL-V2.EXE")));
    EXPECT_FALSE(Stored(QStringLiteral("ЖУРНАЛ СМЕН O'NEIL-V2.EXE")));
}

TEST_F(StoreProgramTest, FiftyMegabytesTravelByteForByteWithTheirTime) {
    EditMode();
    const QByteArray bytes = Pattern(50 * 1024 * 1024, 3);
    const QDateTime time(QDate(2026, 7, 1), QTime(23, 59, 58));
    const QString source = MakeFile(QStringLiteral("src/big.exe"), bytes, time);
    ASSERT_EQ(StoreProgram(source, QStringLiteral("Большая")).Result, TSaveOutcome::Stored);

    // Fetched into another folder over an older file of the same name.
    const QString target = MakeFile(QStringLiteral("dst/BIG.EXE"), "old contents");
    const TFetchOutcome fetched = FetchProgram(target);
    ASSERT_EQ(fetched.Result, TFetchOutcome::Fetched) << fetched.Error.toStdString();
    EXPECT_EQ(fetched.Title, QStringLiteral("Большая"));
    EXPECT_EQ(fetched.Time, time);
    EXPECT_TRUE(ReadAll(target) == bytes);
    EXPECT_EQ(QFileInfo(target).lastModified(), time);
    EXPECT_EQ(ProgramFileTime(target), time);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(Files.filePath(QStringLiteral("dst"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("BIG.EXE")});
    EXPECT_TRUE(Executed().contains(FetchStatement));
}

TEST_F(StoreProgramTest, NewNumberIsAboveEveryNumberStillUsedSoNothingIsInherited) {
    EditMode();
    // Program 3 is the highest; its groups and memberships stay behind when it is removed.
    ASSERT_GT(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = 3")), 0);
    ASSERT_EQ(RemoveProgram(3).Result, TRemoveOutcome::Removed);
    ASSERT_EQ(Rows(QStringLiteral("SELECT MAX(ID_PROGRAMMEXE) FROM KMR_PROGRAMMEXE")), 2);

    const TSaveOutcome outcome =
        StoreProgram(MakeFile(QStringLiteral("new.exe"), "n"), QStringLiteral("Новая"));
    ASSERT_EQ(outcome.Result, TSaveOutcome::Stored);
    EXPECT_GT(outcome.NewId, 3);
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = %1")
                       .arg(outcome.NewId)),
              0);
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_GROUP_FOR_USER WHERE ID_PROGRAMM = %1")
                       .arg(outcome.NewId)),
              0);
    // Every table that names a program counts, the property tables included.
    Servers->Exec(Servers->MainDb(), QStringLiteral("INSERT INTO KMR_PROP_FOR_PROG (ID_PROP, ID_PROGRAMM, "
                                                    "FORM_NAME, PROP_NAME, PROP_TYPE, PROP_ALIAS) "
                                                    "VALUES (900, 77, 'F', 'P', 'T', 'A')"));
    const TSaveOutcome next = StoreProgram(MakeFile(QStringLiteral("next.exe"), "m"), QStringLiteral("Ещё"));
    EXPECT_EQ(next.NewId, 78);
}

TEST_F(StoreProgramTest, NothingIsStoredWithoutAProperFileOrANumber) {
    EditMode();
    Servers->ClearTrace();
    EXPECT_EQ(StoreProgram(QString(), QStringLiteral("x")).Result, TSaveOutcome::NoFile);
    EXPECT_EQ(StoreProgram(Files.path(), QStringLiteral("x")).Result, TSaveOutcome::NoFile);
    EXPECT_EQ(StoreProgram(Files.filePath(QStringLiteral("missing.exe")), QStringLiteral("x")).Result,
              TSaveOutcome::NoFile);
    // A file the system refuses to read: a reason, nothing sent.
    QString unreadable = QStringLiteral("/proc/self/mem");
    if (::geteuid() != 0) {
        unreadable = MakeFile(QStringLiteral("locked.exe"), "secret");
        QFile::setPermissions(unreadable, {});
    }
    const TSaveOutcome refused = StoreProgram(unreadable, QStringLiteral("x"));
    EXPECT_EQ(refused.Result, TSaveOutcome::ReadFailed);
    EXPECT_FALSE(refused.Error.isEmpty());
    EXPECT_TRUE(Executed().isEmpty()) << Executed().join(" | ").toStdString();

    // The new number cannot be read: no insert with -1.
    Servers->Exec(Servers->MainDb(), QStringLiteral("DROP TABLE KMR_PROG_PROP"));
    Servers->ClearTrace();
    const TSaveOutcome noNumber = StoreProgram(MakeFile(QStringLiteral("n.exe"), "n"), QStringLiteral("N"));
    EXPECT_EQ(noNumber.Result, TSaveOutcome::NoNumber);
    EXPECT_FALSE(Executed().contains(InsertStatement));
    EXPECT_FALSE(Stored(QStringLiteral("N.EXE")));
}

TEST_F(StoreProgramTest, ViewModeStoresAndRemovesNothing) {
    ViewMode();
    Servers->ClearTrace();
    EXPECT_EQ(StoreProgram(MakeFile(QStringLiteral("v.exe"), "v"), QStringLiteral("V")).Result,
              TSaveOutcome::ViewMode);
    EXPECT_EQ(RemoveProgram(1).Result, TRemoveOutcome::ViewMode);
    EXPECT_TRUE(Executed().isEmpty()) << Executed().join(" | ").toStdString();
    EXPECT_FALSE(Stored(QStringLiteral("V.EXE")));
    EXPECT_TRUE(Stored(QStringLiteral("DEFECTS.EXE")));

    // Fetching writes only the local file and works in view mode.
    EXPECT_EQ(FetchProgram(Files.filePath(QStringLiteral("OTKL.EXE"))).Result, TFetchOutcome::Fetched);
}

TEST_F(StoreProgramTest, ServerRefusalIsReportedWithTheStatementAndRolledBack) {
    EditMode();
    TFInfoFromDat window;
    // 101 Cyrillic letters: 202 bytes for a column of 200.
    const QString title(101, QChar(u'Ж'));
    const QString path = MakeFile(QStringLiteral("long.exe"), "l");
    Answers->ExpectError(QStringLiteral("Программа '") + title + QStringLiteral("' не сохранена!"));
    EXPECT_FALSE(window.SaveToServer(path, title));
    ASSERT_EQ(Answers->Asked().size(), 1);
    EXPECT_TRUE(Answers->Asked()[0].Details.contains(QStringLiteral("ORA-12899")));
    EXPECT_TRUE(Answers->Asked()[0].Details.contains(QStringLiteral("\n\rINSERT INTO KMR_PROGRAMMEXE")));
    EXPECT_FALSE(Stored(QStringLiteral("LONG.EXE")));
    EXPECT_GE(Servers->TraceCount(QStringLiteral("OCITransRollback")), 1);
}

TEST_F(StoreProgramTest, SecondOfTwoStationsStoringTheSameNewFileFailsLoudly) {
    EditMode();
    // The other station has inserted the same new name and not committed yet: this station counts
    // no copy, computes a number and inserts, waiting for the other's write to end.
    TOracleSession other;
    other.SetLogonUsername(QStringLiteral("USER_OIK"));
    other.SetLogonPassword(QStringLiteral("QUILLMOSS"));
    other.SetLogonDatabase(Servers->MainDb());
    other.LogOn();
    {
        TOracleQuery insert;
        insert.SetSession(&other);
        insert.SetSQLText(QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) "
                                         "VALUES (50, 'TWICE.EXE', 'Первая станция')"));
        insert.Execute();
    }
    std::thread commitLater([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        other.Commit();
    });
    TFInfoFromDat window;
    Answers->ExpectError(QStringLiteral("Программа 'Вторая станция' не сохранена!"));
    const bool stored =
        window.SaveToServer(MakeFile(QStringLiteral("twice.exe"), "t"), QStringLiteral("Вторая станция"));
    commitLater.join();
    other.LogOff();
    EXPECT_FALSE(stored);
    ASSERT_EQ(Answers->Asked().size(), 1);
    EXPECT_TRUE(Answers->Asked()[0].Details.contains(QStringLiteral("ORA-00001")))
        << Answers->Asked()[0].Details.toStdString();
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROGRAMMEXE WHERE PRNAME = 'TWICE.EXE'")), 1);
    EXPECT_EQ(Stored(QStringLiteral("TWICE.EXE"))->Alias, QStringLiteral("Первая станция"));
}

TEST_F(StoreProgramTest, MirroringStoresTheSameRowOnBothServers) {
    Mirrored();
    const TSaveOutcome outcome =
        StoreProgram(MakeFile(QStringLiteral("both.exe"), "b"), QStringLiteral("Обе"));
    ASSERT_EQ(outcome.Result, TSaveOutcome::Stored);
    const auto main = Stored(Servers->MainDb(), QStringLiteral("BOTH.EXE"));
    const auto reserve = Stored(Servers->ReserveDb(), QStringLiteral("BOTH.EXE"));
    ASSERT_TRUE(main && reserve);
    EXPECT_EQ(main->Id, reserve->Id);
    EXPECT_EQ(reserve->Code, QByteArray("b"));
}

TEST_F(StoreProgramTest, FetchNeverLeavesAnEmptyOrDamagedFile) {
    EditMode();
    TFInfoFromDat window;
    QString title = QStringLiteral("unchanged");
    // Not stored: no file appears, nothing is said.
    const QString unknown = Files.filePath(QStringLiteral("unknown.exe"));
    EXPECT_FALSE(window.LoadFromServer(unknown, title));
    EXPECT_FALSE(QFileInfo::exists(unknown));
    EXPECT_EQ(title, QStringLiteral("unchanged"));

    // A folder that cannot take the file: the reason, nothing half-written.
    const QString notAFolder = MakeFile(QStringLiteral("plain.txt"), "p");
    Answers->ExpectMessage(mrOk, QStringLiteral("Файл не сохранён! \n\r"));
    EXPECT_FALSE(window.LoadFromServer(notAFolder + QStringLiteral("/DEFECTS.EXE"), title));
    EXPECT_EQ(ReadAll(notAFolder), QByteArray("p"));

    // The server goes away during the fetch: the old file stays as it was.
    const QString old = MakeFile(QStringLiteral("OTKL.EXE"), "old program");
    QFile down(Servers->MainDb() + QStringLiteral(".down"));
    ASSERT_TRUE(down.open(QIODevice::WriteOnly));
    down.close();
    Answers->ExpectMessage(mrOk, QStringLiteral("Файл не сохранён! "));
    EXPECT_FALSE(window.LoadFromServer(old, title));
    EXPECT_EQ(ReadAll(old), QByteArray("old program"));
    EXPECT_EQ(QDir(Files.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QFile::remove(down.fileName());
}

TEST_F(StoreProgramTest, RemovalDeletesTheProgramAndItsGrantsInOneTransaction) {
    EditMode();
    ASSERT_GT(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = 2")), 0);
    const int groups = Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = 2"));
    Servers->ClearTrace();
    ASSERT_EQ(RemoveProgram(2).Result, TRemoveOutcome::Removed);
    QStringList calls;
    for (const TTraceLine& line : Servers->Trace())
        if ((line.Call == QStringLiteral("OCIStmtExecute") && !line.Text.contains(QStringLiteral("dbms_"))) ||
            line.Call == QStringLiteral("OCITransCommit"))
            calls << line.Call + QLatin1Char(' ') + line.Text;
    ASSERT_EQ(calls.size(), 3) << calls.join(" | ").toStdString();
    EXPECT_EQ(calls[0],
              QStringLiteral("OCIStmtExecute DELETE FROM KMR_PROGRAMMEXE WHERE ID_PROGRAMMEXE = 2"));
    EXPECT_EQ(calls[1], QStringLiteral("OCIStmtExecute DELETE FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = 2"));
    EXPECT_EQ(calls.last(), QStringLiteral("OCITransCommit "));
    EXPECT_EQ(Servers->TraceCount(QStringLiteral("OCITransCommit")), 1);
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROGRAMMEXE WHERE ID_PROGRAMMEXE = 2")), 0);
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = 2")), 0);
    // Groups and memberships stay, as they always have.
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = 2")), groups);
}

TEST_F(StoreProgramTest, RefusedGrantDeleteRollsBothDeletesBack) {
    EditMode();
    Servers->Exec(Servers->MainDb(), QStringLiteral("DROP TABLE KMR_PROG_FOR_USER"));
    const TRemoveOutcome outcome = RemoveProgram(2);
    EXPECT_EQ(outcome.Result, TRemoveOutcome::GrantsFailed);
    EXPECT_TRUE(outcome.Error.contains(QStringLiteral("ORA-00942"))) << outcome.Error.toStdString();
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROGRAMMEXE WHERE ID_PROGRAMMEXE = 2")), 1);
}

} // namespace
