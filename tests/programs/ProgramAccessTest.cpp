// The programs and groups of the administration window against the demo servers: marks and groups
// as stored, the statements that reach the servers, mirroring, view mode and refused writes.
#include "QtTestApplication.h"
#include "DemoServers.h"

#include "DataSource.h"
#include "NoteDataSet.h"
#include "Oracle.h"
#include "OracleBase.h"
#include "ProgramAccess.h"
#include "ScriptedAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] ::testing::Environment* const appEnvironment = RegisterQtTestApplication("programs_test");

const QString Execute = QStringLiteral("OCIStmtExecute");
const QString Commit = QStringLiteral("OCITransCommit");
const QString GrantInsert = QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (:IDUSER, :IDPRG)");

QString GrantDelete(int tab, int program) {
    return QStringLiteral("DELETE FROM KMR_PROG_FOR_USER \nWHERE TABNUM = %1\nAND ID_PROGRAMM = %2")
        .arg(tab)
        .arg(program);
}
QString GrantRead(int tab) {
    return QStringLiteral("SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER\nWHERE TABNUM = %1").arg(tab);
}
QString MembershipRead(int tab, int program) {
    return QStringLiteral("SELECT ID_GROUP FROM KMR_GROUP_FOR_USER\nWHERE TABNUM = %1\nAND ID_PROGRAMM = %2")
        .arg(tab)
        .arg(program);
}
QString MembershipDelete(int tab, int program) {
    return QStringLiteral("DELETE FROM KMR_GROUP_FOR_USER\nWHERE TABNUM = %1\nAND ID_PROGRAMM = %2")
        .arg(tab)
        .arg(program);
}
QString MembershipInsert(int tab, int program, int group) {
    return QStringLiteral(
               "INSERT INTO KMR_GROUP_FOR_USER (TABNUM, ID_PROGRAMM, ID_GROUP) VALUES (\n%1, %2, %3)")
        .arg(tab)
        .arg(program)
        .arg(group);
}

class ProgramAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        Servers = std::make_unique<TDemoServers>();
        ASSERT_TRUE(Servers->Error().isEmpty()) << Servers->Error().toStdString();
        Answers =
            std::make_unique<ScriptedAnswerer>([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    }
    void TearDown() override {
        Answers.reset();
        Panel.reset();
        Source.reset();
        Users.reset();
        Servers.reset();
        qunsetenv("OCISQLITE_BUSY_TIMEOUT_MS");
    }

    void EditMode() { Servers->Start(1, {0, 0, 0}); }
    void Mirrored() {
        Servers->Start(2, {0, 1, 0}, TSrvRow{1, 0, 0});
        ASSERT_TRUE(MirrorWrites.load());
    }
    void ViewMode() {
        TFOracleBase& module = Servers->Start(1, {0, 0, 2});
        ASSERT_TRUE(module.MainOk.load());
        ASSERT_FALSE(CanWrite.load());
    }

    // The window's creation order: programs loaded, then the user list linked.
    void OpenWindow() {
        Users = std::make_unique<TNoteDataSet>();
        Users->SQL()
            << QStringLiteral(
                   "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM KMR_USER_PSW")
            << QStringLiteral("ORDER BY GROUPID, ALLNAME");
        ASSERT_TRUE(Users->NoteOpen());
        Source = std::make_unique<TDataSource>();
        Panel = std::make_unique<TProgramAccessPanel>();
        Panel->resize(460, 300);
        Panel->show();
        Access().SetDataSource(Source.get());
        Access().LoadPrograms();
        Source->SetDataSet(Users.get());
    }

    TProgramAccess& Access() { return *Panel->Access; }
    QListWidget* List() { return Panel->clbProgrammName; }

    void GoToUser(int tab) {
        const int field = Users->FieldByName(QStringLiteral("TABNUM"))->Index();
        for (int i = 0; i < Users->RecordCount(); ++i)
            if (Users->RecordValue(i, field).toInt() == tab) {
                Users->MoveTo(i);
                ASSERT_EQ(Access().SelectedUser(), tab);
                return;
            }
        FAIL() << "no user " << tab;
    }

    // What a person does: a click on an entry's text, on its check box, on a group.
    void ClickEntry(int row) {
        const QRect r = List()->visualItemRect(List()->item(row));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 5, r.center().y()));
    }
    void ClickCheck(int row) {
        QListWidgetItem* item = List()->item(row);
        QStyleOptionViewItem option;
        option.initFrom(List());
        option.rect = List()->visualItemRect(item);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = item->text();
        option.checkState = item->checkState();
        const QRect box =
            List()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, List());
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, box.center());
    }
    void ClickGroup(int groupId) {
        for (QAbstractButton* button : Access().RGButtons->buttons())
            if (TProgramAccess::ButtonId(button) == groupId) {
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, button->height() / 2));
                return;
            }
        ADD_FAILURE() << "no group button " << groupId;
    }

    std::vector<bool> Marks() {
        std::vector<bool> marks;
        for (int i = 0; i < List()->count(); ++i)
            marks.push_back(List()->item(i)->checkState() == Qt::Checked);
        return marks;
    }
    // The marks the server's grants call for, in the list's order.
    std::vector<bool> StoredMarks(const QString& db, int tab) {
        const std::vector<int> granted = Servers->Column(
            db, QStringLiteral("SELECT ID_PROGRAMM FROM KMR_PROG_FOR_USER WHERE TABNUM = %1").arg(tab));
        std::vector<bool> marks;
        for (int i = 0; i < List()->count(); ++i)
            marks.push_back(std::find(granted.begin(), granted.end(),
                                      TProgramAccess::EntryId(List()->item(i))) != granted.end());
        return marks;
    }
    int Grants(const QString& db, int tab, int program) {
        return Servers->Count(
            db, QStringLiteral("SELECT TABNUM FROM KMR_PROG_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
                    .arg(tab)
                    .arg(program));
    }
    std::vector<int> Memberships(const QString& db, int tab, int program) {
        return Servers->Column(
            db,
            QStringLiteral("SELECT ID_GROUP FROM KMR_GROUP_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
                .arg(tab)
                .arg(program));
    }
    std::vector<int> GroupButtons() {
        std::vector<int> ids;
        for (QAbstractButton* button : Access().RGButtons->buttons())
            ids.push_back(TProgramAccess::ButtonId(button));
        return ids;
    }

    std::unique_ptr<TDemoServers> Servers;
    std::unique_ptr<ScriptedAnswerer> Answers;
    std::unique_ptr<TNoteDataSet> Users;
    std::unique_ptr<TDataSource> Source;
    std::unique_ptr<TProgramAccessPanel> Panel;
};

TEST_F(ProgramAccessTest, ShowsTheProgramsAndTheFirstUsersGrantsAndGroup) {
    EditMode();
    OpenWindow();
    ASSERT_EQ(List()->count(), 3);
    EXPECT_EQ(List()->item(0)->text(), QStringLiteral("Дефекты"));
    EXPECT_EQ(List()->item(1)->text(), QStringLiteral("Отключения"));
    EXPECT_EQ(List()->item(2)->text(), QStringLiteral("Заявки"));
    EXPECT_EQ(List()->currentRow(), 0);

    const int tab = Access().SelectedUser();
    ASSERT_GT(tab, 0);
    EXPECT_EQ(Marks(), StoredMarks(Servers->MainDb(), tab));
    EXPECT_EQ(Access().RG->title(), QStringLiteral("Дефекты"));
    EXPECT_EQ(GroupButtons(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Access().RGButtons->buttons().at(1)->text(), QStringLiteral("Старшие диспетчеры"));
    const std::vector<int> stored = Memberships(Servers->MainDb(), tab, 1);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(Access().SelectedGroup(), stored[0]);
    EXPECT_EQ(Access().RG->isEnabled(), Marks()[0]);
}

TEST_F(ProgramAccessTest, TickingAndClearingAProgramWritesTheGrant) {
    EditMode();
    OpenWindow();
    // User 41 has no grants: nothing checked, the groups listed but not selectable.
    GoToUser(41);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(Access().RG->isEnabled());
    EXPECT_EQ(GroupButtons().size(), 5u);

    Servers->ClearTrace();
    ClickCheck(1);
    EXPECT_EQ(List()->currentRow(), 1);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(Grants(Servers->MainDb(), 41, 2), 1);
    EXPECT_EQ(Servers->TraceCount(Execute, GrantInsert), 1);
    EXPECT_GE(Servers->TraceCount(Commit), 1);
    EXPECT_EQ(Access().RG->title(), QStringLiteral("Отключения"));
    EXPECT_TRUE(Access().RG->isEnabled());
    EXPECT_EQ(Grants(Servers->ReserveDb(), 41, 2), 0);

    Servers->ClearTrace();
    ClickCheck(1);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(Grants(Servers->MainDb(), 41, 2), 0);
    EXPECT_EQ(Servers->TraceCount(Execute, GrantDelete(41, 2)), 1);
    EXPECT_FALSE(Access().RG->isEnabled());

    // User 8 holds "Дефекты" twice: clearing it removes both rows.
    GoToUser(8);
    ASSERT_EQ(Grants(Servers->MainDb(), 8, 1), 2);
    ClickCheck(0);
    EXPECT_FALSE(Marks()[0]);
    EXPECT_EQ(Grants(Servers->MainDb(), 8, 1), 0);
}

TEST_F(ProgramAccessTest, WhileMirroringTheGrantReachesBothServers) {
    Mirrored();
    OpenWindow();
    GoToUser(41);
    Servers->ClearTrace();
    ClickCheck(2);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(Grants(Servers->MainDb(), 41, 3), 1);
    EXPECT_EQ(Grants(Servers->ReserveDb(), 41, 3), 1);
    EXPECT_EQ(Servers->TraceCount(Execute, GrantInsert), 2);

    ClickCheck(2);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(Grants(Servers->MainDb(), 41, 3), 0);
    EXPECT_EQ(Grants(Servers->ReserveDb(), 41, 3), 0);
    EXPECT_EQ(Servers->TraceCount(Execute, GrantDelete(41, 3)), 2);
}

TEST_F(ProgramAccessTest, ChoosingAGroupReplacesTheMembershipInOneTransaction) {
    Mirrored();
    OpenWindow();
    GoToUser(1);
    ClickEntry(1);
    EXPECT_EQ(Access().RG->title(), QStringLiteral("Отключения"));
    EXPECT_EQ(GroupButtons(), (std::vector<int>{1, 2, 3, 5}));
    EXPECT_EQ(Access().SelectedGroup(), 2);
    ASSERT_TRUE(Access().RG->isEnabled());

    Servers->ClearTrace();
    ClickGroup(3);
    // Delete and insert on each server, then one commit per server: nothing committed between them.
    // (The statements travel without CR; the blocks asking for an open transaction are left out.)
    std::vector<QString> calls;
    for (const TTraceLine& line : Servers->Trace())
        if (line.Call == Commit)
            calls.push_back(Commit);
        else if (line.Call == Execute && !line.Text.startsWith(QStringLiteral("begin")))
            calls.push_back(line.Text);
    const std::vector<QString> expected{MembershipDelete(1, 2),
                                        MembershipDelete(1, 2),
                                        MembershipInsert(1, 2, 3),
                                        MembershipInsert(1, 2, 3),
                                        Commit,
                                        Commit};
    EXPECT_EQ(calls, expected);

    EXPECT_EQ(Access().SelectedGroup(), 3);
    EXPECT_EQ(Memberships(Servers->MainDb(), 1, 2), (std::vector<int>{3}));
    EXPECT_EQ(Memberships(Servers->ReserveDb(), 1, 2), (std::vector<int>{3}));
    EXPECT_EQ(Memberships(Servers->MainDb(), 1, 1), (std::vector<int>{2}));
}

TEST_F(ProgramAccessTest, AMembershipTheMainServerRefusesIsKeptOnBothServers) {
    // The main server takes the delete but refuses the insert: user 1 may not join group 3 of program 2.
    const QString main = Servers->MainDb();
    for (const char* sql :
         {"CREATE TABLE KMR_GFU_COPY (TABNUM NUMBER(9), ID_PROGRAMM NUMBER(9), ID_GROUP NUMBER(9))",
          "INSERT INTO KMR_GFU_COPY SELECT * FROM KMR_GROUP_FOR_USER", "DROP TABLE KMR_GROUP_FOR_USER",
          "CREATE TABLE KMR_GROUP_FOR_USER (TABNUM NUMBER(9), ID_PROGRAMM NUMBER(9), ID_GROUP NUMBER(9), "
          "CONSTRAINT CK_USER_1_NOT_IN_2_3 CHECK (TABNUM <> 1 OR ID_PROGRAMM <> 2 OR ID_GROUP <> 3))",
          "INSERT INTO KMR_GROUP_FOR_USER SELECT * FROM KMR_GFU_COPY", "DROP TABLE KMR_GFU_COPY"})
        Servers->Exec(main, QString::fromUtf8(sql));
    Mirrored();
    OpenWindow();
    GoToUser(1);
    ClickEntry(1);
    ASSERT_EQ(Access().SelectedGroup(), 2);

    Answers->ExpectError(
        QStringLiteral("Не удалось сохранить группу \"Оформление заявок\" в программе \"Отключения\""));
    ClickGroup(3);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Access().SelectedGroup(), 2);
    EXPECT_EQ(Memberships(main, 1, 2), (std::vector<int>{2}));
    EXPECT_EQ(Memberships(Servers->ReserveDb(), 1, 2), (std::vector<int>{2}));

    // The next change commits on both servers: nothing of the refused one may ride along.
    GoToUser(41);
    ClickCheck(2);
    ASSERT_EQ(Grants(main, 41, 3), 1);
    ASSERT_EQ(Grants(Servers->ReserveDb(), 41, 3), 1);
    EXPECT_EQ(Memberships(main, 1, 2), (std::vector<int>{2}));
    EXPECT_EQ(Memberships(Servers->ReserveDb(), 1, 2), (std::vector<int>{2}));
}

TEST_F(ProgramAccessTest, MovingToAnotherUserRereadsGrantsAndKeepsTheProgram) {
    EditMode();
    OpenWindow();
    ClickEntry(2);
    ASSERT_EQ(Access().RG->title(), QStringLiteral("Заявки"));

    GoToUser(41);
    EXPECT_EQ(Marks(), StoredMarks(Servers->MainDb(), 41));
    EXPECT_EQ(List()->currentRow(), 2);
    EXPECT_EQ(Access().RG->title(), QStringLiteral("Заявки"));
    EXPECT_FALSE(Access().SelectedGroup());
    EXPECT_FALSE(Access().RG->isEnabled());

    Servers->ClearTrace();
    GoToUser(19);
    EXPECT_EQ(Marks(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(List()->currentRow(), 2);
    EXPECT_EQ(Access().SelectedGroup(), 4);
    EXPECT_TRUE(Access().RG->isEnabled());
    EXPECT_EQ(Servers->TraceCount(Execute, GrantRead(19)), 1);
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipRead(19, 3)), 1);
    // The one stored membership row is shown, not written again: moving writes nothing.
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipDelete(19, 3)), 0);
    EXPECT_EQ(Servers->TraceCount(Commit), 0);
    EXPECT_EQ(Servers->Trace().size(), 3u);
    EXPECT_EQ(Memberships(Servers->MainDb(), 19, 3), (std::vector<int>{4}));

    // User 19 belongs to the deleted group 4 of "Отключения": no button, and nothing written.
    Servers->ClearTrace();
    ClickEntry(1);
    EXPECT_EQ(GroupButtons(), (std::vector<int>{1, 2, 3, 5}));
    EXPECT_FALSE(Access().SelectedGroup());
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipDelete(19, 2)), 0);
    EXPECT_EQ(Memberships(Servers->MainDb(), 19, 2), (std::vector<int>{4}));
}

TEST_F(ProgramAccessTest, AProgramWithoutGroupsShowsOnlyItsName) {
    Servers->Exec(Servers->MainDb(),
                  QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) "
                                 "VALUES (4, 'UCHET.EXE', 'Учёт')"));
    EditMode();
    OpenWindow();
    ASSERT_EQ(List()->count(), 4);
    ClickEntry(3);
    EXPECT_EQ(Access().RG->title(), QStringLiteral("Учёт"));
    EXPECT_TRUE(GroupButtons().empty());
}

TEST_F(ProgramAccessTest, TwoMembershipRowsAreReplacedByTheFirst) {
    EditMode();
    OpenWindow();
    GoToUser(6);
    ASSERT_EQ(Memberships(Servers->MainDb(), 6, 3), (std::vector<int>{1, 4}));
    Servers->ClearTrace();
    ClickEntry(2);
    EXPECT_EQ(Access().SelectedGroup(), 1);
    EXPECT_EQ(Memberships(Servers->MainDb(), 6, 3), (std::vector<int>{1}));
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipDelete(6, 3)), 1);
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipInsert(6, 3, 1)), 1);

    // Once one row is left, showing the groups again writes nothing.
    Servers->ClearTrace();
    ClickEntry(0);
    ClickEntry(2);
    EXPECT_EQ(Access().SelectedGroup(), 1);
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipDelete(6, 3)), 0);
    EXPECT_EQ(Servers->TraceCount(Commit), 0);
}

TEST_F(ProgramAccessTest, AnEmptyUserListReadsForUserZeroAndWritesNothing) {
    Servers->Exec(Servers->MainDb(), QStringLiteral("DELETE FROM KMR_USER_PSW"));
    EditMode();
    Servers->ClearTrace();
    OpenWindow();
    EXPECT_EQ(Access().SelectedUser(), 0);
    EXPECT_EQ(Servers->TraceCount(Execute, GrantRead(0)), 1);
    EXPECT_GE(Servers->TraceCount(Execute, MembershipRead(0, 1)), 1);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false}));

    ClickCheck(0);
    EXPECT_FALSE(Marks()[0]);
    EXPECT_EQ(Servers->TraceCount(Execute, GrantInsert), 0);
    EXPECT_EQ(Grants(Servers->MainDb(), 0, 1), 0);
}

TEST_F(ProgramAccessTest, InViewModeMarksAndGroupsStayAsStoredAndTheUserIsTold) {
    ViewMode();
    OpenWindow();
    GoToUser(41);
    Servers->ClearTrace();
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра"));
    ClickCheck(0);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(Access().RG->isEnabled());
    EXPECT_EQ(Servers->TraceCount(Execute, GrantInsert), 0);
    EXPECT_EQ(Grants(Servers->MainDb(), 41, 1), 0);

    GoToUser(1);
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра"));
    ClickCheck(0);
    EXPECT_TRUE(Marks()[0]);
    EXPECT_TRUE(Access().RG->isEnabled());
    EXPECT_EQ(Grants(Servers->MainDb(), 1, 1), 1);

    ASSERT_EQ(Access().SelectedGroup(), 2);
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра"));
    ClickGroup(3);
    EXPECT_EQ(Access().SelectedGroup(), 2);
    EXPECT_EQ(Memberships(Servers->MainDb(), 1, 1), (std::vector<int>{2}));
    EXPECT_EQ(Servers->TraceCount(Execute, MembershipDelete(1, 1)), 0);
    EXPECT_EQ(Answers->Asked().at(0).Type, mtWarning);
}

TEST_F(ProgramAccessTest, ARefusedWriteShowsWhatIsStoredWithTheServersMessage) {
    // Another session holds the server's write lock: changes wait briefly, then fail.
    qputenv("OCISQLITE_BUSY_TIMEOUT_MS", "200");
    EditMode();
    OpenWindow();
    GoToUser(1);
    ClickEntry(1);
    ASSERT_EQ(Access().SelectedGroup(), 2);
    GoToUser(41);

    TOracleSession locker;
    locker.SetLogonUsername(QStringLiteral("USER_OIK"));
    locker.SetLogonPassword(QStringLiteral("QUILLMOSS"));
    locker.SetLogonDatabase(Servers->MainDb());
    locker.LogOn();
    TOracleQuery lock;
    lock.SetSession(&locker);
    lock.SetSQLText(QStringLiteral("INSERT INTO KMR_PROG_PROP VALUES (999, 'lock', 9)"));
    lock.Execute();

    Answers->ExpectError(QStringLiteral("Не удалось разрешить пользователю программу \"Отключения\""));
    ClickCheck(1);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(Access().RG->isEnabled());
    ASSERT_FALSE(Answers->Asked().isEmpty());
    EXPECT_TRUE(Answers->Asked().last().Details.startsWith(QStringLiteral("ORA-")))
        << Answers->Asked().last().Details.toStdString();

    // Back at user 1 (the lock lets reads through): a new group cannot be written either.
    locker.Rollback();
    GoToUser(1);
    lock.Execute();
    Answers->ExpectError(
        QStringLiteral("Не удалось сохранить группу \"Оформление заявок\" в программе \"Отключения\""));
    ClickGroup(3);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Access().SelectedGroup(), 2);
    EXPECT_TRUE(Answers->Asked().last().Details.startsWith(QStringLiteral("ORA-")));

    locker.Rollback();
    locker.LogOff();
    EXPECT_EQ(Grants(Servers->MainDb(), 41, 2), 0);
    EXPECT_EQ(Memberships(Servers->MainDb(), 1, 2), (std::vector<int>{2}));
}

} // namespace
