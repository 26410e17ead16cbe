// The administration window against demo servers: creation after the sign-in, the user list edited
// through the grid, the navigator and the controls below it, mirroring to the reserve server, view
// mode, the stored geometry, and the program's start-up as a whole.
#include "../support/AccessibleNames.h"
#include "AdminWindowFixture.h"
#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "ErrorOra.h"
#include "HostInfo.h"
#include "Login.h"
#include "LoginType.h"
#include "Main.h"
#include "MesConnect.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ProfileFile.h"
#include "Protokol_View.h"
#include "ScriptedAnswerer.h"
#include "Settings.h"
#include "StartUp.h"
#include "Termination.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

#include <gtest/gtest.h>

namespace {

TEST_F(AdminWindow, OpensWithTheUserListAfterTheSignIn) {
    Start(false);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Администратор"));
    EXPECT_FALSE(TerminationRequested());
    ASSERT_NE(Users(), nullptr);
    EXPECT_TRUE(Users()->Active());
    EXPECT_EQ(Users()->RecordCount(),
              FServers->Scalar(Main, QStringLiteral("SELECT COUNT(*) FROM USER_PSW")).toInt());
    // Ordered by group, then full name; users without a group last.
    EXPECT_EQ(Users()->RecordValue(0, 2).toString(), QStringLiteral("kuznetsova"));
    EXPECT_EQ(Users()->RecordValue(Users()->RecordCount() - 1, 2).toString(), QStringLiteral("romanov"));
    QAbstractItemModel* model = Window->DBGridEh1->model();
    EXPECT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Ф.И.О. Пользователя"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Имя для входа"));
    EXPECT_EQ(Window->DBGridEh1->columnWidth(0), 172);
    EXPECT_EQ(Window->DBGridEh1->columnWidth(1), 96);
    EXPECT_TRUE(Window->clbProgrammName->isEnabled());
    EXPECT_EQ(Nav(nbInsert)->toolTip(), QStringLiteral("Добавить"));
    EXPECT_EQ(Nav(nbRefresh)->toolTip(), QStringLiteral("Обновить"));
    EXPECT_EQ(Window->tbViewProtokol->toolTip(), QStringLiteral("Промотр журнала событий"));
    // Designed hidden, shown so that the property editor can be reached.
    EXPECT_TRUE(Window->ToolButton1->isVisibleTo(Window.get()));
    EXPECT_EQ(Window->ToolButton1->toolTip(), QStringLiteral("Редактировать список свойств"));
    // The controls below the grid follow the current user.
    SelectUser(2);
    EXPECT_EQ(Window->DBEdit1->text(), QStringLiteral("10.20.1.11; 10.20.1.12"));
    EXPECT_TRUE(Window->DBCheckBox1->isChecked());
    SelectUser(13); // lebedev is barred
    EXPECT_FALSE(Window->DBCheckBox1->isChecked());
    Window->Panel5->resize(400, 67);
    EXPECT_EQ(Window->DBEdit1->width(), 390);
}

// A screen reader, and an end-to-end test, find every control by its name: the hint, or the
// command's words where an image-only button has none.
TEST_F(AdminWindow, EveryControlHasAnAccessibleName) {
    Start(true);
    EXPECT_EQ(ControlsWithoutAccessibleName(Window.get()), "");
    EXPECT_EQ(AccessibleName(Window->tbAddProgramm), QStringLiteral("Добавить программу"));
    EXPECT_EQ(AccessibleName(Window->tbDeleteProgramm), QStringLiteral("Удалить программу"));
    EXPECT_EQ(AccessibleName(Window->ToolButton1), QStringLiteral("Редактировать список свойств"));
    EXPECT_EQ(AccessibleName(Window->tbAddGroup), QStringLiteral("Добавить группу"));
    EXPECT_EQ(AccessibleName(Nav(nbFirst)), QStringLiteral("В начало"));
    EXPECT_EQ(AccessibleName(Nav(nbRefresh)), QStringLiteral("Обновить"));
    EXPECT_EQ(AccessibleName(Window->DBEdit1), QStringLiteral("Возможные IP адреса машин"));
    EXPECT_EQ(AccessibleName(Window->clbProgrammName), QStringLiteral("Программы"));

    TNoteLogin login(nullptr);
    EXPECT_EQ(ControlsWithoutAccessibleName(&login), "");
    EXPECT_EQ(AccessibleName(login.Edit2), QStringLiteral("Пароль"));
    TFMesConnect notice({});
    EXPECT_EQ(ControlsWithoutAccessibleName(&notice), "");
}

// The sign-in dialog and the connection-loss window have no title-bar buttons at all: the window
// manager is asked for none, and a state it offers anyway is undone.
TEST_F(AdminWindow, SignInAndConnectionLossWindowsHaveNoTitleBarButtons) {
    Start(false);
    TNoteLogin login(nullptr);
    TFMesConnect notice({});
    for (QWidget* window : {static_cast<QWidget*>(&login), static_cast<QWidget*>(&notice)}) {
        EXPECT_FALSE(window->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                              Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint))
            << window->objectName().toStdString();
        EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
        window->show();
        for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
            window->setWindowState(state);
            QTest::qWait(20);
            EXPECT_EQ(window->windowState() & ~Qt::WindowActive, Qt::WindowNoState);
            EXPECT_TRUE(window->isVisible());
        }
        window->hide();
    }
    EXPECT_GE(login.width(), 280);
    EXPECT_GE(login.height(), 127);
    EXPECT_GE(notice.width(), 332);
    EXPECT_GE(notice.height(), 138);
}

// The right half is loaded with the registered programs and follows the user selected in the grid.
TEST_F(AdminWindow, ProgramMarksFollowTheSelectedUser) {
    Start(false);
    QListWidget* list = Window->clbProgrammName;
    ASSERT_EQ(list->count(),
              FServers->Scalar(Main, QStringLiteral("SELECT COUNT(*) FROM KMR_PROGRAMMEXE")).toInt());
    for (int tabNum : {2, 13, 41}) {
        SelectUser(tabNum);
        EXPECT_EQ(CheckedCount(), GrantedCount(tabNum)) << "user " << tabNum;
    }
}

TEST_F(AdminWindow, AddEditAndDeleteAUserReachBothServersWhileMirroring) {
    Start(true);
    ASSERT_TRUE(MirrorWrites.load());
    // A deleted user's grant is still stored under 500: the new user must not inherit it.
    FServers->Exec(Main, QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (500, 1)"));
    Window->clbProgrammName->setEnabled(false);

    Nav(nbInsert)->click();
    ASSERT_EQ(Users()->State(), dsInsert);
    EXPECT_EQ(Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger(), 501);
    TypeIntoCell(0, QStringLiteral("Новиков Пётр"));
    TypeIntoCell(1, QStringLiteral("novikov"));
    Window->DBCheckBox1->click();
    Nav(nbPost)->click();
    ASSERT_EQ(Users()->State(), dsBrowse);
    for (const QString& server : {Main, Reserve})
        EXPECT_EQ(
            FServers->Rows(server,
                           QStringLiteral("SELECT ALLNAME, NAME, WENABLED FROM USER_PSW WHERE TABNUM = 501")),
            QStringList{QStringLiteral("Новиков Пётр|novikov|T")})
            << server.toStdString();
    EXPECT_TRUE(Window->clbProgrammName->isEnabled());

    // A change is repeated on the reserve server too; the password there stays.
    FServers->Exec(Reserve, QStringLiteral("UPDATE USER_PSW SET PWD = 'keep' WHERE TABNUM = 501"));
    SelectUser(501);
    Window->DBEdit1->setFocus();
    TypeText(Window->DBEdit1, QStringLiteral("10.0.0.7"));
    Nav(nbPost)->click();
    for (const QString& server : {Main, Reserve})
        EXPECT_EQ(FServers->Scalar(server, QStringLiteral("SELECT IPADR FROM USER_PSW WHERE TABNUM = 501"))
                      .toString(),
                  QStringLiteral("10.0.0.7"))
            << server.toStdString();
    EXPECT_EQ(
        FServers->Scalar(Reserve, QStringLiteral("SELECT PWD FROM USER_PSW WHERE TABNUM = 501")).toString(),
        QStringLiteral("keep"));

    SelectUser(501);
    Answerer.ExpectMessage(mrOk, QStringLiteral("Удалить запись?"));
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 501")), 0);
    EXPECT_EQ(Count(Reserve, QStringLiteral("TABNUM = 501")), 0);
    // The grants stay, as documented; the next user is still numbered past them.
    EXPECT_EQ(
        FServers->Scalar(Main, QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE TABNUM = 500"))
            .toInt(),
        1);
    Nav(nbInsert)->click();
    EXPECT_EQ(Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger(), 501);
    Nav(nbCancel)->click();
}

TEST_F(AdminWindow, WhileMirroringAnEditedUserIsTheSameOnBothServersAndNoOtherRowMoves) {
    Start(true);
    ASSERT_TRUE(MirrorWrites.load());
    // What the list edits, and the password it never shows, for every user.
    const QString users = QStringLiteral(
        "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, PWD FROM USER_PSW ORDER BY TABNUM");
    const QStringList before = FServers->Rows(Main, users);
    ASSERT_EQ(FServers->Rows(Reserve, users), before);

    SelectUser(25);
    TypeIntoCell(0, QStringLiteral("Ильина Анна Романовна"));
    TypeIntoCell(1, QStringLiteral("ilina"));
    Window->DBCheckBox1->click();
    Window->DBEdit1->setFocus();
    TypeText(Window->DBEdit1, QStringLiteral("10.20.7.60"));
    Nav(nbPost)->click();
    ASSERT_EQ(Users()->State(), dsBrowse);

    const QString edited = QStringLiteral("25|Ильина Анна Романовна|ilina|6|F|10.20.7.60|br02");
    QStringList expected = before;
    for (QString& row : expected)
        if (row.startsWith(QStringLiteral("25|")))
            row = edited;
    EXPECT_EQ(FServers->Rows(Main, users), expected);
    EXPECT_EQ(FServers->Rows(Reserve, users), expected);

    // A post the main server refuses is not made on the reserve server either.
    SelectUser(26);
    TypeIntoCell(1, QStringLiteral("komarova"));
    QFile down(FServers->DbFile(Main) + QStringLiteral(".down"));
    ASSERT_TRUE(down.open(QIODevice::WriteOnly));
    down.close();
    Answerer.ExpectMessage(mrOk, QStringLiteral("ORA-"));
    Nav(nbPost)->click();
    EXPECT_EQ(Answerer.Pending(), 0);
    QFile::remove(down.fileName());
    EXPECT_EQ(FServers->Rows(Main, users), expected);
    EXPECT_EQ(FServers->Rows(Reserve, users), expected);
}

TEST_F(AdminWindow, DeleteOfAnExistingUserIsRepeatedOnTheReserveServer) {
    Start(true);
    SelectUser(25);
    Answerer.ExpectMessage(mrOk, QStringLiteral("Удалить запись?"));
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 25")), 0);
    EXPECT_EQ(Count(Reserve, QStringLiteral("TABNUM = 25")), 0);
    // Declining the question deletes nothing anywhere.
    SelectUser(26);
    Answerer.ExpectMessage(mrCancel, QStringLiteral("Удалить запись?"));
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 26")), 1);
    EXPECT_EQ(Count(Reserve, QStringLiteral("TABNUM = 26")), 1);

    // A reserve server that stopped answering does not hold up the main server's delete.
    QFile down(FServers->DbFile(Reserve) + QStringLiteral(".down"));
    ASSERT_TRUE(down.open(QIODevice::WriteOnly));
    down.close();
    SelectUser(26);
    Answerer.ExpectMessage(mrOk, QStringLiteral("Удалить запись?"));
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 26")), 0);
    QFile::remove(down.fileName());
    EXPECT_EQ(Count(Reserve, QStringLiteral("TABNUM = 26")), 1);
}

TEST_F(AdminWindow, WithOneServerChangesStayOnTheMainServer) {
    Start(false);
    EXPECT_FALSE(MirrorWrites.load());
    SelectUser(27);
    Answerer.ExpectMessage(mrOk);
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 27")), 0);
    EXPECT_EQ(Count(Reserve, QStringLiteral("TABNUM = 27")), 1);
}

TEST_F(AdminWindow, FirstUserOfAnEmptyListGetsNumberOne) {
    Start(false);
    FServers->Exec(Main,
                   {QStringLiteral("DELETE FROM USER_PSW"), QStringLiteral("DELETE FROM KMR_PROG_FOR_USER"),
                    QStringLiteral("DELETE FROM KMR_GROUP_FOR_USER")});
    Nav(nbRefresh)->click();
    EXPECT_TRUE(Users()->IsEmpty());
    Nav(nbInsert)->click();
    EXPECT_EQ(Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger(), 1);
    TypeIntoCell(1, QStringLiteral("first"));
    Nav(nbPost)->click();
    EXPECT_EQ(FServers->Rows(Main, QStringLiteral("SELECT TABNUM, NAME FROM USER_PSW")),
              QStringList{QStringLiteral("1|first")});
}

TEST_F(AdminWindow, UnreadableNumberRefusesTheNewRow) {
    Start(false);
    FServers->Exec(Main, QStringLiteral("DROP TABLE KMR_GROUP_FOR_USER"));
    const int before = Users()->RecordCount();
    Answerer.ExpectMessage(mrOk, QStringLiteral("номер"));
    Nav(nbInsert)->click();
    EXPECT_EQ(Users()->State(), dsBrowse);
    EXPECT_EQ(Users()->RecordCount(), before);
}

TEST_F(AdminWindow, ViewModeMakesTheListReadOnlyUntilEditModeReturns) {
    FServers = std::make_unique<TNamedServers>(false);
    FServers->Exec(Main, QStringLiteral("UPDATE SRV SET RO = 2"));
    StartModule(QStringLiteral("admin/kmr2026"));
    ASSERT_FALSE(CanWrite.load());
    EXPECT_TRUE(Window->ListReadOnly());
    EXPECT_FALSE(Nav(nbInsert)->isEnabled());
    EXPECT_FALSE(Nav(nbDelete)->isEnabled());
    EXPECT_FALSE(Nav(nbEdit)->isEnabled());
    EXPECT_TRUE(Nav(nbRefresh)->isEnabled());
    EXPECT_TRUE(Window->DBEdit1->isReadOnly());
    EXPECT_FALSE(Window->DBCheckBox1->isEnabled());
    // Every data-aware control stays read-only while the window says view mode, also after moves.
    for (int tabNum : {2, 13, 14}) {
        SelectUser(tabNum);
        EXPECT_FALSE(Window->DBCheckBox1->isEnabled()) << tabNum;
        EXPECT_TRUE(Window->DBEdit1->isReadOnly()) << tabNum;
        EXPECT_FALSE(Nav(nbEdit)->isEnabled()) << tabNum;
    }
    Window->DBCheckBox1->click();
    EXPECT_EQ(Users()->State(), dsBrowse);
    const QModelIndex cell = Window->DBGridEh1->model()->index(0, 0);
    EXPECT_FALSE(Window->DBGridEh1->model()->flags(cell) & Qt::ItemIsEditable);
    EXPECT_FALSE(Window->StatusPanel1->text().isEmpty());

    FServers->Exec(Main, QStringLiteral("UPDATE SRV SET RO = 0"));
    FOracleBase->CheckServers();
    ASSERT_TRUE(CanWrite.load());
    Window->UpdateEditMode();
    EXPECT_FALSE(Window->ListReadOnly());
    EXPECT_TRUE(Nav(nbInsert)->isEnabled());
    EXPECT_FALSE(Window->DBEdit1->isReadOnly());
    EXPECT_TRUE(Window->DBGridEh1->model()->flags(cell) & Qt::ItemIsEditable);
    EXPECT_TRUE(Window->StatusPanel1->text().isEmpty());
}

// Every post is decided when it is sent: view mode that began in the middle of an edit shows within
// the poll interval, refuses the post with its reason and keeps the typed value; back in edit mode the
// row reaches both servers.
TEST_F(AdminWindow, AnEditPostedAfterTheSwitchToViewModeIsRefusedAndKept) {
    Start(true);
    ASSERT_TRUE(MirrorWrites.load());
    const QString before =
        FServers->Scalar(Main, QStringLiteral("SELECT IPADR FROM USER_PSW WHERE TABNUM = 14")).toString();
    SelectUser(14);
    Window->DBEdit1->setFocus();
    Window->DBEdit1->selectAll();
    TypeText(Window->DBEdit1, QStringLiteral("10.9.9.9"));
    ASSERT_EQ(Users()->State(), dsEdit);

    FServers->Exec(Main, QStringLiteral("UPDATE SRV SET RO = 2"));
    FOracleBase->CheckServers();
    ASSERT_FALSE(CanWrite.load());
    QTest::qWait(700); // the window's poll interval
    EXPECT_TRUE(Window->ListReadOnly());
    EXPECT_FALSE(Window->StatusPanel1->text().isEmpty());
    EXPECT_TRUE(Window->DBEdit1->isReadOnly());
    EXPECT_EQ(Window->DBEdit1->text(), QStringLiteral("10.9.9.9"));
    EXPECT_FALSE(Nav(nbPost)->isEnabled());
    EXPECT_TRUE(Nav(nbCancel)->isEnabled());

    // Leaving the row posts it: refused with the view-mode reason; the row stays as typed.
    Answerer.ExpectMessage(mrOk, QStringLiteral("Режим просмотра"));
    Window->DBGridEh1->setCurrentIndex(Window->DBGridEh1->model()->index(0, 0));
    EXPECT_EQ(Users()->State(), dsEdit);
    EXPECT_EQ(Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger(), 14);
    EXPECT_EQ(Users()->FieldByName(QStringLiteral("IPADR"))->AsString(), QStringLiteral("10.9.9.9"));
    for (const QString& server : {Main, Reserve})
        EXPECT_EQ(FServers->Scalar(server, QStringLiteral("SELECT IPADR FROM USER_PSW WHERE TABNUM = 14"))
                      .toString(),
                  before)
            << server.toStdString();

    // Edit mode again: the same row goes to both servers.
    FServers->Exec(Main, QStringLiteral("UPDATE SRV SET RO = 0"));
    FOracleBase->CheckServers();
    ASSERT_TRUE(CanWrite.load() && MirrorWrites.load());
    Window->WatchServers();
    EXPECT_FALSE(Window->ListReadOnly());
    ASSERT_TRUE(Nav(nbPost)->isEnabled());
    Nav(nbPost)->click();
    EXPECT_EQ(Users()->State(), dsBrowse);
    for (const QString& server : {Main, Reserve})
        EXPECT_EQ(FServers->Scalar(server, QStringLiteral("SELECT IPADR FROM USER_PSW WHERE TABNUM = 14"))
                      .toString(),
                  QStringLiteral("10.9.9.9"))
            << server.toStdString();
}

// While two servers are configured and the reserve server is away, the status bar says that changes
// reach the main server only; the message goes when the reserve answers again.
TEST_F(AdminWindow, TheStatusBarSaysWhenTheReserveServerIsAway) {
    const QString away =
        QStringLiteral("Резервный сервер недоступен: изменения записываются только на основной сервер");
    Start(true);
    Window->WatchServers();
    EXPECT_TRUE(Window->ReserveStatus->isHidden());
    SetDown(Reserve, true);
    // The reserve watcher probes in the background.
    ASSERT_TRUE(TickUntil([] { return !MirrorWrites.load(); }));
    QTest::qWait(700); // the window's poll interval
    EXPECT_FALSE(Window->ReserveStatus->isHidden());
    EXPECT_EQ(Window->ReserveStatus->text(), away);
    SetDown(Reserve, false);
    ASSERT_TRUE(TickUntil([] { return MirrorWrites.load(); }));
    Window->WatchServers();
    EXPECT_TRUE(Window->ReserveStatus->isHidden());

    // One server: there is no reserve to miss.
    Stop();
    // The end of the first pair gives back the working folder and the environment it found.
    FServers.reset();
    FServers = std::make_unique<TNamedServers>(false);
    StartModule(QStringLiteral("admin/kmr2026"));
    Window->WatchServers();
    EXPECT_TRUE(Window->ReserveStatus->isHidden());
}

// A lost main server closes the user list; once a main server answers again the window reloads by
// itself, keeps the selected user where that user still exists, and is fully usable.
TEST_F(AdminWindow, AfterAMainServerOutageTheWindowReloadsAndKeepsTheSelectedUser) {
    Start(true);
    SelectUser(14);
    const QString addresses = Window->DBEdit1->text();
    SetDown(Main, true);
    EXPECT_FALSE(FOracleBase->CheckServers());
    QTest::qWait(50);
    EXPECT_FALSE(Users()->Active());
    // No user is selected meanwhile: the program panel shows no one's marks.
    EXPECT_EQ(CheckedCount(), 0);
    EXPECT_FALSE(Window->clbProgrammName->isEnabled());

    SetDown(Main, false);
    ASSERT_TRUE(TickUntil([this] { return Users()->Active(); }));
    EXPECT_EQ(Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger(), 14);
    EXPECT_EQ(Window->DBEdit1->text(), addresses);
    EXPECT_EQ(CheckedCount(), GrantedCount(14));
    EXPECT_TRUE(Window->clbProgrammName->isEnabled());
    for (TNavigateBtn b : {nbRefresh, nbInsert, nbDelete, nbEdit, nbFirst})
        EXPECT_TRUE(Nav(b)->isEnabled()) << b;
    EXPECT_TRUE(CanWrite.load());

    // A user deleted meanwhile: the list opens at its first row.
    SetDown(Main, true);
    EXPECT_FALSE(FOracleBase->CheckServers());
    SetDown(Main, false);
    FServers->Exec(Main, QStringLiteral("DELETE FROM USER_PSW WHERE TABNUM = 14"));
    ASSERT_TRUE(TickUntil([this] { return Users()->Active(); }));
    EXPECT_EQ(Users()->CurrentIndex(), 0);
    const int first = Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger();
    EXPECT_EQ(CheckedCount(), GrantedCount(first));
}

TEST_F(AdminWindow, GeometryIsSavedAndRestoredThroughTempTmp) {
    Start(false);
    Window->setGeometry(60, 70, 700, 400);
    Window->FormDestroy();
    const ProfileFile temp(TempFileName);
    const QString section =
        QCoreApplication::applicationFilePath().section(u'/', -1) + QStringLiteral(".TKMF_Admin");
    EXPECT_EQ(temp.ReadInteger(section, QStringLiteral("Left"), -1), 60);
    EXPECT_EQ(temp.ReadInteger(section, QStringLiteral("Top"), -1), 70);
    EXPECT_EQ(temp.ReadInteger(section, QStringLiteral("Width"), -1), 700);
    EXPECT_EQ(temp.ReadInteger(section, QStringLiteral("Height"), -1), 400);
    Stop();
    StartModule(QStringLiteral("admin/kmr2026"));
    EXPECT_EQ(Window->geometry(), QRect(60, 70, 700, 400));
}

TEST_F(AdminWindow, UserWithoutTheAdministrationRightEndsTheProgramSilently) {
    Start(false, QStringLiteral("novikova/dsp04"));
    EXPECT_TRUE(TerminationRequested());
    EXPECT_EQ(Users(), nullptr);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_TRUE(Answerer.Asked().isEmpty());
}

TEST_F(AdminWindow, StartUpShowsNoWindowAfterATerminationRequest) {
    FServers = std::make_unique<TNamedServers>(false);
    ResetTerminationRequest();
    TLoginForm::SetDefaultParameters({QStringLiteral("pavlova/dsp02")});
    {
        TAdminStartUp program;
        program.Create();
        EXPECT_TRUE(program.Terminated());
        EXPECT_EQ(program.HiddenWindows().size(), 4);
        EXPECT_FALSE(program.Show());
        EXPECT_FALSE(program.MainWindow()->isVisible());
    }
    EXPECT_EQ(FOracleBase, nullptr);
    ResetTerminationRequest();
    TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
    TAdminStartUp program;
    program.Create();
    EXPECT_FALSE(program.Terminated());
    EXPECT_TRUE(program.Show());
    EXPECT_TRUE(program.MainWindow()->isVisible());
    for (const auto& hidden : program.HiddenWindows())
        EXPECT_FALSE(hidden->isVisible());
}

TEST_F(AdminWindow, TheEventLogButtonShowsTheEventLogWindowModally) {
    FServers = std::make_unique<TNamedServers>(false);
    ResetTerminationRequest();
    TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
    {
        TAdminStartUp program;
        program.Create();
        ASSERT_TRUE(program.Show());
        ASSERT_NE(Protocol, nullptr);
        EXPECT_TRUE(program.HiddenWindows().contains(Protocol));
        EXPECT_FALSE(Protocol->isVisible());
        bool shownModally = false;
        QTimer::singleShot(0, Protocol, [&shownModally] {
            shownModally = Protocol->isVisible() && Protocol->isModal();
            Protocol->reject();
        });
        QTest::mouseClick(program.MainWindow()->tbViewProtokol, Qt::LeftButton);
        EXPECT_TRUE(shownModally);
        EXPECT_FALSE(Protocol->isVisible());
    }
    EXPECT_EQ(Protocol, nullptr);
}

// The program itself, as the desktop starts it.
TEST_F(AdminWindow, ProgramEndsAtOnceWithoutTheRightAndRunsForAnAdministrator) {
    FServers = std::make_unique<TNamedServers>(true);
    const QString program = QStringLiteral(KMR_BIN_DIR "/Admin_KMR");
    QProcess denied;
    denied.setWorkingDirectory(FServers->Dir());
    denied.start(program, {QStringLiteral("novikova/dsp04")});
    ASSERT_TRUE(denied.waitForFinished(30000));
    EXPECT_EQ(denied.exitCode(), 0);

    QProcess admin;
    admin.setWorkingDirectory(FServers->Dir());
    admin.start(program, {QStringLiteral("admin/kmr2026")});
    ASSERT_TRUE(admin.waitForStarted());
    // While it runs the main server's session names the tool, the workstation and the administrator.
    QStringList sessions;
    for (int i = 0; i < 100 && sessions.isEmpty(); ++i) {
        QTest::qWait(100);
        sessions = FServers->Rows(Main, QStringLiteral("SELECT MODULE, ACTION, CLIENT_INFO FROM V$SESSION "
                                                       "WHERE CLIENT_INFO = '1'"));
    }
    EXPECT_EQ(admin.state(), QProcess::Running);
    ASSERT_FALSE(sessions.isEmpty());
    EXPECT_EQ(sessions.first(),
              QStringLiteral("Admin_KMR|") + HostAddressText(TSystemHostInfo()) + QStringLiteral("|1"));
    admin.terminate();
    admin.waitForFinished(10000);
}

} // namespace
