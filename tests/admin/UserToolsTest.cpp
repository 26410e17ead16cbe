// What the administration window offers beyond its documented commands, against the demo servers:
// the search above the user list, copying rights, the rights overview, the CSV files, and the guard
// that keeps the signed-in administrator from locking themselves out.
#include "UserTools.h"
#include "../support/CsvReader.h"
#include "../support/TraceFile.h"
#include "AdminWindowFixture.h"
#include "CopyRights.h"
#include "DBCheckBox.h"
#include "DataSource.h"
#include "ProgramAccess.h"
#include "RightsOverview.h"
#include "RightsOverviewWindow.h"
#include "SearchEdit.h"
#include "UserSearch.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <set>

namespace {

class UserTools : public AdminWindow {
protected:
    TUserTools* Tools() const { return Window->Tools; }
    // Types into the search box as a person does.
    void Search(const QString& text) {
        Tools()->edSearch->clear();
        TypeText(Tools()->edSearch, text);
    }
    // The numbers of the users the grid shows, in order.
    std::vector<int> ShownUsers() const {
        std::vector<int> shown;
        for (int i = 0; i < Users()->RecordCount(); ++i)
            if (!Window->DBGridEh1->isRowHidden(i))
                shown.push_back(Users()->RecordValue(i, 0).toInt());
        return shown;
    }
    int Current() const { return Users()->FieldByName(QStringLiteral("TABNUM"))->AsInteger(); }
    // A user's grants and groups on a server, as "program" and "program:group" texts.
    std::set<QString> Rights(const QString& server, int tabNum) const {
        std::set<QString> rights;
        for (const QString& g : FServers->Rows(
                 server,
                 QStringLiteral("SELECT ID_PROGRAMM FROM KMR_PROG_FOR_USER WHERE TABNUM = %1").arg(tabNum)))
            rights.insert(g);
        for (const QString& g : FServers->Rows(
                 server,
                 QStringLiteral("SELECT ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER WHERE TABNUM = %1")
                     .arg(tabNum)))
            rights.insert(QString(g).replace(u'|', u':'));
        return rights;
    }
};

TEST(UserSearch, EveryWordInOneOfTheThreeFieldsCaseBlindWithCyrillic) {
    const QString name = QStringLiteral("Фёдоров Алексей Михайлович");
    EXPECT_TRUE(TUserSearch(QStringLiteral("фЁДОРОВ")).Matches(name, QStringLiteral("fedorov")));
    EXPECT_TRUE(TUserSearch(QStringLiteral("  алексей\tфёдоров ")).Matches(name, QString()));
    EXPECT_TRUE(TUserSearch(QStringLiteral("FEDOR")).Matches(name, QStringLiteral("fedorov")));
    EXPECT_TRUE(
        TUserSearch(QStringLiteral("10.20.3.24")).Matches(name, {}, QStringLiteral("10.20.3.21 10.20.3.24")));
    EXPECT_TRUE(
        TUserSearch(QStringLiteral("фёдоров 10.20.3")).Matches(name, {}, QStringLiteral("10.20.3.21")));
    EXPECT_FALSE(
        TUserSearch(QStringLiteral("фёдоров 10.20.4")).Matches(name, {}, QStringLiteral("10.20.3.21")));
    EXPECT_FALSE(TUserSearch(QStringLiteral("иванов")).Matches(name, QStringLiteral("fedorov")));
    EXPECT_TRUE(TUserSearch(QStringLiteral("   ")).IsEmpty());
}

TEST_F(UserTools, SearchNarrowsTheListByFullNameSignInNameAndAddress) {
    Start(false);
    const int total = Users()->RecordCount();
    EXPECT_EQ(Tools()->edSearch->placeholderText(), QStringLiteral("Поиск"));
    EXPECT_EQ(Tools()->edSearch->accessibleName(), QStringLiteral("Поиск"));

    Search(QStringLiteral("ИРИНА николаевна"));
    EXPECT_EQ(ShownUsers(), std::vector<int>{4});
    EXPECT_EQ(Tools()->lbSearchCount->text(), QStringLiteral("1 из %1").arg(total));
    // The hidden current user gave way to the one shown; the program panel follows.
    EXPECT_EQ(Current(), 4);
    EXPECT_EQ(Window->Programs->SelectedUser(), 4);

    Search(QStringLiteral("KUZNETSOVA"));
    EXPECT_EQ(ShownUsers(), std::vector<int>{2});
    Search(QStringLiteral("10.20.3.21"));
    std::vector<int> shown = ShownUsers();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<int>{5, 9}));
    EXPECT_EQ(Tools()->lbSearchCount->text(), QStringLiteral("2 из %1").arg(total));

    // The navigator moves among the users shown only.
    Nav(nbFirst)->click();
    const int first = Current();
    Nav(nbNext)->click();
    EXPECT_NE(Current(), first);
    EXPECT_TRUE(Current() == 5 || Current() == 9);
    EXPECT_FALSE(Nav(nbNext)->isEnabled());

    // Nobody matches: the panels that act on the current user are out of reach.
    Search(QStringLiteral("нет такого"));
    EXPECT_TRUE(ShownUsers().empty());
    EXPECT_EQ(Tools()->lbSearchCount->text(), QStringLiteral("0 из %1").arg(total));
    EXPECT_FALSE(Window->Panel1->isEnabled());
    EXPECT_FALSE(Window->Panel5->isEnabled());

    // Esc clears the box and every user is back.
    QTest::keyClick(Tools()->edSearch, Qt::Key_Escape);
    EXPECT_TRUE(Tools()->edSearch->text().isEmpty());
    EXPECT_EQ(int(ShownUsers().size()), total);
    EXPECT_TRUE(Window->Panel1->isEnabled());

    // Ctrl+F brings the focus to the box (a shortcut needs the window active).
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Window->DBGridEh1->setFocus();
    QTest::keyClick(Window->DBGridEh1, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Window->focusWidget(), Tools()->edSearch);
}

TEST_F(UserTools, EditingPostingAndGrantsWorkOnTheNarrowedList) {
    Start(false);
    Search(QStringLiteral("морозов"));
    ASSERT_EQ(ShownUsers(), std::vector<int>{3});
    ASSERT_EQ(Current(), 3);
    TypeIntoCell(0, QStringLiteral("Морозов Виктор Иванович мл."));
    Nav(nbPost)->click();
    EXPECT_EQ(
        FServers->Scalar(Main, QStringLiteral("SELECT ALLNAME FROM USER_PSW WHERE TABNUM = 3")).toString(),
        QStringLiteral("Морозов Виктор Иванович мл."));
    // Re-read after the post, still narrowed, still on the user.
    EXPECT_EQ(ShownUsers(), std::vector<int>{3});
    QCoreApplication::processEvents();
    EXPECT_EQ(Current(), 3);

    // A grant withdrawn in the panel belongs to the user shown.
    QListWidget* programs = Window->clbProgrammName;
    ASSERT_EQ(programs->item(1)->checkState(), Qt::Checked);
    programs->setCurrentRow(1);
    programs->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(FServers
                  ->Scalar(Main, QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE TABNUM = 3 "
                                                "AND ID_PROGRAMM = 2"))
                  .toInt(),
              0);
}

TEST_F(UserTools, UserListCsvHoldsTheFilteredRowsWithQuotesSemicolonsAndLineBreaks) {
    FServers = std::make_unique<TNamedServers>(false);
    const QString tricky = QStringLiteral("Иванов \"Ваня\"; мл.\r\nвторая строка");
    FServers->Exec(Main, QStringLiteral("UPDATE USER_PSW SET ALLNAME = '%1', IPADR = '10.1.1.1;10.1.1.2' "
                                        "WHERE TABNUM = 8")
                             .arg(QString(tricky).replace(u'\'', QStringLiteral("''"))));
    StartModule(QStringLiteral("admin/kmr2026"));
    Search(QStringLiteral("ова"));
    const std::vector<int> shown = ShownUsers();
    ASSERT_GT(shown.size(), 2u);
    ASSERT_LT(int(shown.size()), Users()->RecordCount());
    Search(QStringLiteral("в"));
    const std::vector<int> wide = ShownUsers();
    ASSERT_NE(std::find(wide.begin(), wide.end(), 8), wide.end());

    const QString file = FServers->Dir() + QStringLiteral("/users.csv");
    Answerer.ExpectSaveFile(file, QStringLiteral("CSV"));
    Tools()->tbSaveCsv->click();
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const TCsvContent csv = ReadCsv(bytes);
    EXPECT_TRUE(csv.Bom);
    ASSERT_EQ(csv.Rows.size(), qsizetype(wide.size()) + 1);
    EXPECT_EQ(csv.Rows[0],
              (QStringList{QStringLiteral("Ф.И.О. Пользователя"), QStringLiteral("Имя для входа"),
                           QStringLiteral("Разрешение на работу"),
                           QStringLiteral("Возможные IP адреса машин"), QStringLiteral("IP")}));
    for (size_t r = 0; r < wide.size(); ++r) {
        const QStringList& row = csv.Rows[qsizetype(r) + 1];
        ASSERT_EQ(row.size(), 5);
        const QStringList server = FServers->Rows(
            Main,
            QStringLiteral("SELECT ALLNAME, NAME, WENABLED FROM USER_PSW WHERE TABNUM = %1").arg(wide[r]));
        ASSERT_EQ(server.size(), 1);
        if (wide[r] == 8) {
            EXPECT_EQ(row[0], tricky);
            EXPECT_EQ(row[3], QStringLiteral("10.1.1.1;10.1.1.2"));
        } else {
            EXPECT_EQ(row[0], server[0].section(u'|', 0, 0));
        }
        EXPECT_EQ(row[1], server[0].section(u'|', 1, 1));
        EXPECT_EQ(row[2], server[0].section(u'|', 2, 2) == QStringLiteral("T") ? QStringLiteral("Да")
                                                                               : QStringLiteral("Нет"));
    }
    // No password reaches the file.
    EXPECT_FALSE(bytes.contains("kmr2026"));
    EXPECT_FALSE(bytes.contains("ep1979"));

    // A file that cannot be written is reported, and nothing is left behind.
    const QString bad = FServers->Dir() + QStringLiteral("/no such folder/users.csv");
    Answerer.ExpectSaveFile(bad).ExpectError(QStringLiteral("Не удалось сохранить файл"));
    Tools()->tbSaveCsv->click();
    EXPECT_FALSE(QFile::exists(bad));
}

TEST_F(UserTools, SignedInAdministratorCannotLockThemselvesOutButCanChangeAnother) {
    // morozov (3) holds the administration right and may sign in from any workstation.
    Start(false, QStringLiteral("morozov/zam2004"));
    ASSERT_EQ(Tools()->Guard().Self(), 3);
    auto enabled = [this](int tabNum) {
        return FServers
            ->Scalar(Main, QStringLiteral("SELECT WENABLED FROM USER_PSW WHERE TABNUM = %1").arg(tabNum))
            .toString();
    };
    auto addresses = [this](int tabNum) {
        return FServers
            ->Scalar(Main, QStringLiteral("SELECT IPADR FROM USER_PSW WHERE TABNUM = %1").arg(tabNum))
            .toString();
    };
    auto setAddresses = [this](const QString& value) {
        Users()->Edit();
        Users()->FieldByName(QStringLiteral("IPADR"))->SetAsString(value);
        Nav(nbPost)->click();
    };

    SelectUser(3);
    // Refused at once: no question whose answer would not matter.
    Answerer.ExpectMessage(mrOk, QStringLiteral("Нельзя удалить собственную учётную запись"));
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 3")), 1);

    Window->DBCheckBox1->click();
    Answerer.ExpectMessage(mrOk, QStringLiteral("Нельзя снять \"Разрешение на работу\" у самого себя"));
    Nav(nbPost)->click();
    EXPECT_EQ(enabled(3), QStringLiteral("T"));
    Nav(nbCancel)->click();

    Answerer.ExpectMessage(mrOk, QStringLiteral("Нельзя убрать из своего списка адрес 10.20.1.1"));
    setAddresses(QStringLiteral("10.20.1.15; 10.20.9.9"));
    EXPECT_TRUE(addresses(3).isEmpty());
    Nav(nbCancel)->click();
    // A list that still holds the address is fine.
    setAddresses(QStringLiteral("10.20.9.9; 10.20.1.1"));
    EXPECT_EQ(addresses(3), QStringLiteral("10.20.9.9; 10.20.1.1"));
    Answerer.Verify();

    // Another administrator's row: every one of the three is allowed. (A post re-reads the list.)
    SelectUser(1);
    setAddresses(QStringLiteral("10.20.9.9"));
    EXPECT_EQ(addresses(1), QStringLiteral("10.20.9.9"));
    SelectUser(1);
    Window->DBCheckBox1->click();
    Nav(nbPost)->click();
    EXPECT_EQ(enabled(1), QStringLiteral("F"));
    SelectUser(1);
    Answerer.ExpectMessage(mrOk, QStringLiteral("Удалить запись?"));
    Nav(nbDelete)->click();
    EXPECT_EQ(Count(Main, QStringLiteral("TABNUM = 1")), 0);
}

TEST_F(UserTools, CopyRightsReplacesGrantsAndGroupsInOneTransactionOnBothServers) {
    Start(true);
    ASSERT_TRUE(MirrorWrites.load());
    const std::set<QString> source = Rights(Main, 20);
    ASSERT_NE(source, Rights(Main, 5));
    SelectUser(5);
    std::vector<int> offered;
    Tools()->ChooseSource = [&](const QString& target,
                                const std::vector<TfmCopyRights::TCandidate>& candidates) {
        EXPECT_EQ(target, QStringLiteral("Волков Сергей Александрович"));
        for (const auto& c : candidates)
            offered.push_back(c.TabNum);
        return std::optional<int>(20);
    };
    FServers->ClearTrace();
    Answerer.ExpectMessage(mrYes, QStringLiteral("Дать пользователю \"Волков Сергей Александрович\" права"))
        .ExpectMessage(mrOk, QStringLiteral("Запрещены программы: \"Отключения\""));
    Tools()->tbCopyRights->click();
    // The round trips of the copy alone.
    const QList<TTraceLine> trace = FServers->Trace();
    EXPECT_EQ(offered.size(), size_t(Users()->RecordCount() - 1));
    EXPECT_EQ(std::find(offered.begin(), offered.end(), 5), offered.end());
    EXPECT_EQ(Rights(Main, 5), source);
    EXPECT_EQ(Rights(Reserve, 5), source);
    // The panel shows what is stored now.
    EXPECT_EQ(CheckedCount(), 2);

    // Both servers got the deletes and inserts, with bind variables only, and nothing was committed
    // before the last of them: one transaction on each server.
    qsizetype first = -1, last = -1;
    int deletes = 0, groupInserts = 0;
    for (qsizetype i = 0; i < trace.size(); ++i) {
        if (trace[i].Call != QStringLiteral("OCIStmtExecute"))
            continue;
        if (trace[i].Text == QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = :DST")) {
            ++deletes;
            if (first < 0)
                first = i;
        }
        if (trace[i].Text.startsWith(
                QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER (TABNUM, ID_PROGRAMM, ID_GROUP)\n"
                               "SELECT :V0_0, :V0_1, :V0_2 FROM DUAL"))) {
            ++groupInserts;
            last = i;
        }
    }
    EXPECT_EQ(deletes, 2);
    EXPECT_EQ(groupInserts, 2);
    ASSERT_GE(first, 0);
    ASSERT_GT(last, first);
    int commits = 0;
    for (qsizetype i = first; i < trace.size(); ++i) {
        if (trace[i].Call == QStringLiteral("OCITransCommit") ||
            trace[i].Call == QStringLiteral("OCITransRollback")) {
            EXPECT_GT(i, last) << trace[i].Call.toStdString();
            ++commits;
        }
        if (i <= last) {
            EXPECT_FALSE(trace[i].Text.contains(QStringLiteral("TABNUM = 5"))) << trace[i].Text.toStdString();
        }
    }
    EXPECT_GE(commits, 2);
}

TEST_F(UserTools, RefusedCopyLeavesTheTargetUnchangedOnBothServers) {
    FServers = std::make_unique<TNamedServers>(true);
    // Only the two users keep memberships, each in a different group of program 1; a unique key on
    // the main server then refuses the copied membership after the grants were already rewritten.
    for (const QString& server : {Main, Reserve})
        FServers->Exec(server, {QStringLiteral("DELETE FROM KMR_GROUP_FOR_USER"),
                                QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER VALUES (20, 1, 4)"),
                                QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER VALUES (5, 1, 2)"),
                                QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER VALUES (5, 2, 2)")});
    FServers->Exec(
        Main, QStringLiteral("CREATE UNIQUE INDEX UQ_TEST ON KMR_GROUP_FOR_USER (ID_PROGRAMM, ID_GROUP)"));
    StartModule(QStringLiteral("admin/kmr2026"));
    ASSERT_TRUE(MirrorWrites.load());
    const std::set<QString> before = Rights(Main, 5);
    ASSERT_EQ(Rights(Reserve, 5), before);
    SelectUser(5);
    Answerer.ExpectMessage(mrYes).ExpectError(QStringLiteral("Не удалось скопировать права"));
    Tools()->CopyRightsFrom(20);
    EXPECT_EQ(Rights(Main, 5), before);
    EXPECT_EQ(Rights(Reserve, 5), before);
    EXPECT_TRUE(MirrorWrites.load());
}

TEST_F(UserTools, CopyRightsIsRefusedInViewModeWhileEditingAndForADeletedSource) {
    Start(false);
    const std::set<QString> before = Rights(Main, 5);
    SelectUser(5);
    Tools()->ChooseSource = [](const QString&, const std::vector<TfmCopyRights::TCandidate>&) {
        ADD_FAILURE() << "the source was asked for";
        return std::optional<int>();
    };

    // The row being edited: told, nothing asked.
    Users()->Edit();
    Users()->FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("volkov2"));
    Answerer.ExpectMessage(mrOk, QStringLiteral("сейчас изменяется"));
    Tools()->tbCopyRightsClick();
    Users()->Cancel();

    // The source deleted by another administrator after the list was read.
    FServers->Exec(Main, QStringLiteral("DELETE FROM USER_PSW WHERE TABNUM = 20"));
    Answerer.ExpectMessage(mrYes).ExpectMessage(mrOk, QStringLiteral("удалён другим администратором"));
    Tools()->CopyRightsFrom(20);
    EXPECT_EQ(Rights(Main, 5), before);

    // View mode: refused with the reason before anything is asked.
    FServers->Exec(Main, QStringLiteral("UPDATE SRV SET RO = 2"));
    FOracleBase->CheckServers();
    ASSERT_FALSE(CanWrite.load());
    Answerer.ExpectMessage(mrOk, QStringLiteral("Режим просмотра"));
    Tools()->tbCopyRightsClick();
    EXPECT_EQ(TCopyRights::Copy(18, 5).Outcome, TCopyRights::TOutcome::ViewMode);
    EXPECT_EQ(Rights(Main, 5), before);
}

TEST_F(UserTools, CopyRightsDialogSearchesTheUsers) {
    const std::vector<TfmCopyRights::TCandidate> candidates{
        {1, QStringLiteral("Соколов Андрей"), QStringLiteral("admin")},
        {2, QStringLiteral("Кузнецова Елена"), QStringLiteral("kuznetsova")},
        {3, QStringLiteral("Морозов Виктор"), QStringLiteral("morozov")}};
    TfmCopyRights dialog(QStringLiteral("Волков"), candidates);
    TypeText(dialog.edSearch, QStringLiteral("ЕЛЕНА"));
    EXPECT_EQ(dialog.Chosen(), 2);
    TypeText(dialog.edSearch, QStringLiteral("x"));
    EXPECT_FALSE(dialog.Chosen());
    EXPECT_FALSE(dialog.OKBtn->isEnabled());
    QTest::keyClick(dialog.edSearch, Qt::Key_Escape);
    EXPECT_TRUE(dialog.edSearch->text().isEmpty());
    EXPECT_TRUE(dialog.OKBtn->isEnabled());
}

TEST_F(UserTools, OverviewShowsGroupsOfGrantedProgramsAndSelectsInTheMainWindow) {
    FServers = std::make_unique<TNamedServers>(false);
    // 8: granted "Дефекты" without a group; 41: a membership in "Заявки" without the grant.
    FServers->Exec(Main,
                   {QStringLiteral("DELETE FROM KMR_GROUP_FOR_USER WHERE TABNUM = 8 AND ID_PROGRAMM = 1"),
                    QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER VALUES (41, 3, 2)")});
    StartModule(QStringLiteral("admin/kmr2026"));
    Tools()->tbRightsOverview->click();
    TfmRightsOverview* overview = Tools()->Overview;
    ASSERT_NE(overview, nullptr);
    EXPECT_TRUE(overview->isVisible());
    EXPECT_EQ(overview->windowTitle(), QStringLiteral("Права пользователей"));
    TRightsOverviewModel* model = overview->Model;
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model->rowCount(), Users()->RecordCount());
    ASSERT_EQ(model->columnCount(), 2 + 3);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Дефекты"));
    auto cell = [&](int tabNum, int programColumn) {
        const int row = model->RowOfUser(tabNum);
        EXPECT_GE(row, 0) << tabNum;
        return model->index(row, 1 + programColumn).data().toString();
    };
    EXPECT_EQ(cell(8, 1), QStringLiteral("(без группы)"));
    EXPECT_EQ(cell(8, 2), QStringLiteral("Диспетчеры"));
    EXPECT_EQ(cell(41, 3), QString());
    EXPECT_EQ(cell(41, 1), QString());
    EXPECT_EQ(cell(20, 1), QStringLiteral("Служба РЗА"));
    EXPECT_EQ(cell(20, 2), QString());
    EXPECT_FALSE(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);
    // A group name is read whole in its column.
    const QFontMetrics metrics = overview->Grid->fontMetrics();
    for (int c = 2; c < model->columnCount(); ++c)
        EXPECT_GT(overview->Grid->columnWidth(c),
                  metrics.horizontalAdvance(QStringLiteral("Старшие диспетчеры")))
            << c;

    // Who can run "Отключения": only users with the grant, narrowed further by the search.
    overview->cbProgram->setCurrentIndex(overview->cbProgram->findText(QStringLiteral("Отключения")));
    overview->chkOnlyAccess->setChecked(true);
    const int granted =
        FServers
            ->Scalar(Main,
                     QStringLiteral("SELECT COUNT(DISTINCT F.TABNUM) FROM KMR_PROG_FOR_USER F, USER_PSW U "
                                    "WHERE F.TABNUM = U.TABNUM AND F.ID_PROGRAMM = 2"))
            .toInt();
    EXPECT_EQ(model->rowCount(), granted);
    for (int r = 0; r < model->rowCount(); ++r)
        EXPECT_FALSE(model->index(r, 3).data().toString().isEmpty()) << r;
    TypeText(overview->edSearch, QStringLiteral("ОВА"));
    EXPECT_LT(model->rowCount(), granted);
    EXPECT_EQ(overview->lbCount->text(),
              QStringLiteral("%1 из %2").arg(model->rowCount()).arg(Users()->RecordCount()));
    TypeText(overview->edPrograms, QStringLiteral("заяв"));
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Заявки"));

    // The CSV file holds exactly what the table shows.
    const QString file = FServers->Dir() + QStringLiteral("/rights.csv");
    Answerer.ExpectSaveFile(file);
    overview->bbSaveCsv->click();
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const TCsvContent csv = ReadCsv(in.readAll());
    EXPECT_TRUE(csv.Bom);
    ASSERT_EQ(csv.Rows.size(), model->rowCount() + 1);
    EXPECT_EQ(csv.Rows[0], model->Titles());
    for (int r = 0; r < model->rowCount(); ++r)
        EXPECT_EQ(csv.Rows[r + 1], model->RowTexts(r));

    // A double-click selects the user and the program in the main window, clearing a search there
    // that hides the user.
    Search(QStringLiteral("соколов"));
    ASSERT_GT(model->rowCount(), 0);
    const int tabNum = model->UserAt(0);
    ASSERT_NE(tabNum, 1);
    QTableView* grid = overview->Grid;
    const QRect rect = grid->visualRect(model->index(0, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_TRUE(Tools()->edSearch->text().isEmpty());
    EXPECT_EQ(Current(), tabNum);
    EXPECT_EQ(Window->Programs->SelectedProgram(), 3);

    // Shown again, the window reads the servers anew.
    overview->close();
    FServers->Exec(Main, QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (41, 3)"));
    Tools()->tbRightsOverview->click();
    overview->edPrograms->clear();
    overview->chkOnlyAccess->setChecked(false);
    overview->edSearch->clear();
    EXPECT_EQ(cell(41, 3), QStringLiteral("Оперативные бригады"));
}

} // namespace
