// The group list editor against the demo servers: the lists it shows, adding and deleting groups
// with the statements that reach the servers, the name rules, numbering above memberships, view
// mode, mirroring, failures, and the way the window closes.
#include "AccessibleNames.h"
#include "EditorsTestSupport.h"
#include "QtTestApplication.h"

#include "EdListGroup.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

[[maybe_unused]] ::testing::Environment* const appEnvironment = RegisterQtTestApplication("editors_test");

const QString Added = QStringLiteral("\" добавлена.");

QString GroupInsert(int program, int group) {
    return QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES(%1\n, %2, :GROUP_NAME)")
        .arg(program)
        .arg(group);
}
QString GroupDelete(int program, int group) {
    return QStringLiteral("DELETE FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = %1\nAND ID_GROUP = %2")
        .arg(program)
        .arg(group);
}

class GroupEditorTest : public EditorsTest {
protected:
    void TearDown() override {
        Window.reset();
        EditorsTest::TearDown();
    }

    void Open(int program, const QString& name) {
        Window = std::make_unique<TfmEditListGroup>(program, name);
        Window->show();
    }

    QStringList Entries() const {
        QStringList texts;
        for (int i = 0; i < Window->lbGroup->count(); ++i)
            texts << Window->lbGroup->item(i)->text();
        return texts;
    }
    std::vector<int> Carried(const QListWidget* list) const {
        std::vector<int> numbers;
        for (int i = 0; i < list->count(); ++i)
            numbers.push_back(TfmEditListGroup::Carried(list->item(i)));
        return numbers;
    }
    std::vector<int> StoredIds(const QString& db, int program) {
        return Servers->Column(
            db,
            QStringLiteral("SELECT ID_GROUP FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = %1 ORDER BY ID_GROUP")
                .arg(program));
    }
    QStringList StoredNames(const QString& db, int program) {
        return Servers->Texts(
            db, QStringLiteral(
                    "SELECT GROUP_NAME FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = %1 ORDER BY ID_GROUP")
                    .arg(program));
    }

    // A person types the answer into the add dialog (a success box is expected when given).
    void Add(const QString& answer, const QString& expectedBox = QString()) {
        Answers->ExpectInput(answer, QStringLiteral("Группа в программе"));
        if (!expectedBox.isNull())
            Answers->ExpectMessage(mrOk, expectedBox);
        QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
        EXPECT_EQ(Answers->Pending(), 0) << answer.toStdString();
    }
    void Select(int row) {
        const QRect r = Window->lbGroup->visualItemRect(Window->lbGroup->item(row));
        QTest::mouseClick(Window->lbGroup->viewport(), Qt::LeftButton, {}, r.center());
        ASSERT_EQ(Window->lbGroup->currentRow(), row);
    }
    void Delete(int row, int answer = mrYes) {
        Select(row);
        Answers->ExpectMessage(
            answer, QStringLiteral("Удалить группу \"%1\" ?").arg(Window->lbGroup->item(row)->text()));
        QTest::mouseClick(Window->tbDeleteGroup, Qt::LeftButton);
        EXPECT_EQ(Answers->Pending(), 0);
    }

    std::unique_ptr<TfmEditListGroup> Window;
};

TEST_F(GroupEditorTest, ShowsTheGroupsAndPropertiesOfTheApplication) {
    EditMode();
    Servers->ClearTrace();
    Open(1, QStringLiteral("Дефекты"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Редактирование списка групп \"Дефекты\""));
    EXPECT_EQ(Window->size(), QSize(531, 412));
    EXPECT_FALSE(Window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(Entries(), (QStringList{"Диспетчеры", "Старшие диспетчеры", "Мастера участков", "Служба РЗА",
                                      "Только просмотр"}));
    EXPECT_EQ(Carried(Window->lbGroup), (std::vector<int>{1001, 1002, 1003, 1004, 1005}));
    EXPECT_EQ(Window->lbGroup->currentRow(), 0);
    EXPECT_TRUE(Window->tbDeleteGroup->isEnabled());
    EXPECT_EQ(Window->tbAddGroup->toolTip(), QStringLiteral("Добавить группу"));
    EXPECT_EQ(Window->tbDeleteGroup->accessibleName(), QStringLiteral("Удалить группу"));
    EXPECT_EQ(ControlsWithoutAccessibleName(Window.get()), "");

    ASSERT_EQ(Window->clbProp->count(), 9);
    EXPECT_EQ(Window->clbProp->item(0)->text(), QStringLiteral("Ввод нового дефекта"));
    EXPECT_EQ(Carried(Window->clbProp).back(), 1009);
    for (int i = 0; i < Window->clbProp->count(); ++i)
        EXPECT_EQ(Window->clbProp->item(i)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(Window->clbProp->toolTip().contains(QStringLiteral("не сохраняются")));

    EXPECT_EQ(
        Executes(QStringLiteral("SELECT ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG\nWHERE ID_PROGRAMM = "
                                "1\nORDER BY ID_GROUP")),
        1);
    EXPECT_EQ(
        Executes(QStringLiteral("SELECT ID_PROP, NAME_PROP FROM KMR_PROG_PROP\nWHERE ID_PROGRAMM = 1\nORDER "
                                "BY ID_PROP")),
        1);

    // Ticking properties and saving stores nothing.
    Servers->ClearTrace();
    Window->clbProp->item(2)->setCheckState(Qt::Checked);
    QTest::mouseClick(Window->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(Window->result(), mrOk);
    EXPECT_TRUE(Servers->Trace().empty());
}

// Two columns as designed, but a column left empty does not cut the names in the other.
TEST_F(GroupEditorTest, PropertyNamesTakeTheWholeWidthWhileOneColumnHoldsThem) {
    EditMode();
    Open(1, QStringLiteral("Дефекты"));
    QListWidget* list = Window->clbProp;
    ASSERT_EQ(list->count(), 9);
    QApplication::processEvents();
    const int room = list->viewport()->width();
    EXPECT_GT(list->visualItemRect(list->item(0)).width(), room / 2);
    EXPECT_EQ(list->visualItemRect(list->item(8)).left(), list->visualItemRect(list->item(0)).left());

    // Too low for nine entries: the rest go on in the second column, each half the width.
    Window->resize(Window->width(), 160);
    QApplication::processEvents();
    ASSERT_LT(list->viewport()->height(), 9 * list->visualItemRect(list->item(0)).height());
    EXPECT_LE(list->visualItemRect(list->item(0)).width(), list->viewport()->width() / 2);
    EXPECT_GT(list->visualItemRect(list->item(8)).left(), list->visualItemRect(list->item(0)).left());
}

TEST_F(GroupEditorTest, TheFirstGroupOfAnApplicationGetsNumberOne) {
    Servers->Exec(Servers->MainDb(),
                  QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) "
                                 "VALUES (4, 'UCHET.EXE', 'Учёт')"));
    EditMode();
    Open(4, QStringLiteral("Учёт"));
    EXPECT_TRUE(Entries().isEmpty());
    EXPECT_EQ(Window->lbGroup->currentRow(), -1);
    EXPECT_FALSE(Window->tbDeleteGroup->isEnabled());

    Servers->ClearTrace();
    Add(QStringLiteral("Смена"), QStringLiteral("Группа \"Смена\" добавлена."));
    EXPECT_EQ(Executes(GroupInsert(4, 1)), 1);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 4), (std::vector<int>{1}));
    EXPECT_EQ(Entries(), (QStringList{"Смена"}));
    EXPECT_EQ(Carried(Window->lbGroup), (std::vector<int>{1001}));
    // The selection does not move to the new entry.
    EXPECT_FALSE(Window->tbDeleteGroup->isEnabled());
}

TEST_F(GroupEditorTest, DuplicatesAreFoundTrimmedAndCaseBlind) {
    Servers->Exec(Servers->MainDb(),
                  QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES (1, 6, 'Группа А')"));
    EditMode();
    Open(1, QStringLiteral("Дефекты"));
    Servers->ClearTrace();

    for (const QString& answer :
         {QStringLiteral(" группа а "), QStringLiteral("ГРУППА А"), QStringLiteral("\tгруппа А")}) {
        Answers->ExpectInput(answer).ExpectMessage(mrOk, QStringLiteral("Дублирование"));
        QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
        ASSERT_EQ(Answers->Pending(), 0);
        const DialogRequest& box = Answers->Asked().last();
        // The answer exactly as typed, blanks included.
        EXPECT_EQ(box.Text, QStringLiteral("Дублирование имени группы \"") + answer + QStringLiteral("\" !"));
        EXPECT_EQ(box.Type, mtError);
    }
    EXPECT_EQ(Servers->TraceCount(QStringLiteral("OCIStmtExecute"), GroupInsert(1, 7)), 0);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 1).size(), 6u);

    // An extra blank inside is another name.
    Add(QStringLiteral("Группа  А"), QStringLiteral("Группа \"Группа  А\" добавлена."));
    EXPECT_EQ(Executes(GroupInsert(1, 7)), 1);
    EXPECT_EQ(StoredNames(Servers->MainDb(), 1).last(), QStringLiteral("Группа  А"));
    EXPECT_EQ(Entries().last(), QStringLiteral("Группа  А"));
}

TEST_F(GroupEditorTest, SmenaAfterHighestSevenIsEightAndItsDeleteNamesEight) {
    Servers->Exec(Servers->MainDb(),
                  QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES (3, 7, 'Резерв')"));
    EditMode();
    Open(3, QStringLiteral("Заявки"));
    Servers->ClearTrace();
    Add(QStringLiteral("Смена"), QStringLiteral("Группа \"Смена\" добавлена."));
    EXPECT_EQ(Executes(GroupInsert(3, 8)), 1);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 3), (std::vector<int>{1, 2, 3, 4, 7, 8}));
    EXPECT_EQ(StoredNames(Servers->MainDb(), 3).last(), QStringLiteral("Смена"));
    EXPECT_EQ(Entries().last(), QStringLiteral("Смена"));
    EXPECT_EQ(Carried(Window->lbGroup).back(), 1008);

    // "Нет" keeps it.
    Delete(5, mrNo);
    EXPECT_EQ(Executes(GroupDelete(3, 8)), 0);
    EXPECT_EQ(Entries().size(), 6);

    Delete(5);
    EXPECT_EQ(Executes(GroupDelete(3, 8)), 1);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 3), (std::vector<int>{1, 2, 3, 4, 7}));
    EXPECT_FALSE(Entries().contains(QStringLiteral("Смена")));
    EXPECT_TRUE(Window->lbGroup->selectedItems().isEmpty());
    EXPECT_FALSE(Window->tbDeleteGroup->isEnabled());
    // Without a selection the button does nothing even when pressed.
    Window->tbDeleteGroupClick();
    EXPECT_EQ(Entries().size(), 5);
}

TEST_F(GroupEditorTest, ANumberAMembershipStillHoldsIsNeverGivenAgain) {
    EditMode();
    Open(2, QStringLiteral("Отключения"));
    ASSERT_EQ(Entries().size(), 4);
    // Group 5 has members; so has the long-gone group 4 (user 19).
    Delete(3);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 2), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(
        Servers->Count(
            Servers->MainDb(),
            QStringLiteral("SELECT TABNUM FROM KMR_GROUP_FOR_USER WHERE ID_PROGRAMM = 2 AND ID_GROUP = 5")),
        3);

    Servers->ClearTrace();
    Add(QStringLiteral("Новые"), QStringLiteral("Группа \"Новые\" добавлена."));
    EXPECT_EQ(Executes(GroupInsert(2, 6)), 1);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 2), (std::vector<int>{1, 2, 3, 6}));
}

TEST_F(GroupEditorTest, CancellingOrKeepingTheDefaultTextAddsNothing) {
    EditMode();
    Open(1, QStringLiteral("Дефекты"));
    Servers->ClearTrace();
    Answers->ExpectInputCancelled(QStringLiteral("Группа в программе \"Дефекты\""));
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    Answers->ExpectInput(QStringLiteral("Новая группа"));
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    EXPECT_EQ(Answers->Pending(), 0);
    ASSERT_EQ(Answers->Asked().size(), 2);
    EXPECT_EQ(Answers->Asked().at(0).Caption, QStringLiteral("Добавить группу "));
    EXPECT_EQ(Answers->Asked().at(0).Value, QStringLiteral("Новая группа"));
    EXPECT_TRUE(Servers->Trace().empty());
    EXPECT_EQ(Entries().size(), 5);
}

TEST_F(GroupEditorTest, NamesAreStoredAsTypedWithinTheColumn) {
    EditMode();
    Open(1, QStringLiteral("Дефекты"));
    const QString longest = QString(100, QChar(0x0416)); // 200 bytes
    const QStringList accepted{QStringLiteral("A"),
                               longest,
                               QStringLiteral("  Дежурные  "),
                               QStringLiteral("Смена \"А\""),
                               QStringLiteral("O'Brien"),
                               QStringLiteral("x'); DELETE FROM KMR_GROUP_FOR_PROG; --")};
    for (const QString& name : accepted)
        Add(name, QStringLiteral("Группа \"") + name + Added);
    EXPECT_EQ(StoredNames(Servers->MainDb(), 1).mid(5), accepted);
    EXPECT_EQ(Entries().mid(5), accepted);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 1), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    // Refused before anything is sent.
    Servers->ClearTrace();
    Answers->ExpectInput(longest + QStringLiteral("x")).ExpectMessage(mrOk, QStringLiteral("201 байт"));
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    for (const QString& blank : {QString(), QStringLiteral("   ")}) {
        Answers->ExpectInput(blank).ExpectMessage(mrOk, QStringLiteral("не может быть пустым"));
        QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    }
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_TRUE(Servers->Trace().empty());
    EXPECT_EQ(Entries().size(), 11);
}

TEST_F(GroupEditorTest, InViewModeNothingChangesAndTheUserIsTold) {
    ViewMode();
    Open(1, QStringLiteral("Дефекты"));
    Servers->ClearTrace();
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
    QTest::mouseClick(Window->tbDeleteGroup, Qt::LeftButton);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Entries().size(), 5);
    EXPECT_TRUE(Servers->Trace().empty());
    EXPECT_EQ(StoredIds(Servers->MainDb(), 1).size(), 5u);
}

TEST_F(GroupEditorTest, ASwitchToViewModeWhileAskingIsNoSuccess) {
    EditMode();
    Open(1, QStringLiteral("Дефекты"));
    QStringList told;
    TFunctionAnswerer person([&](const DialogRequest& request) {
        if (request.Kind == DialogKind::Input) {
            // The server watchers switch to view mode while the name is typed.
            CanWrite = false;
            return DialogAnswer{mrOk, QStringLiteral("Смена")};
        }
        told << request.Text;
        return DialogAnswer{mrOk, QString()};
    });
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    EXPECT_EQ(told, (QStringList{"Режим просмотра: изменения сейчас невозможны."}));
    EXPECT_EQ(Entries().size(), 5);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 1).size(), 5u);
}

TEST_F(GroupEditorTest, WhileMirroringAddAndDeleteReachBothServers) {
    Mirrored();
    Open(1, QStringLiteral("Дефекты"));
    Servers->ClearTrace();
    Add(QStringLiteral("Смена"), QStringLiteral("Группа \"Смена\" добавлена."));
    EXPECT_EQ(Executes(GroupInsert(1, 6)), 2);
    EXPECT_EQ(StoredNames(Servers->ReserveDb(), 1).last(), QStringLiteral("Смена"));
    EXPECT_EQ(StoredIds(Servers->ReserveDb(), 1), StoredIds(Servers->MainDb(), 1));

    Delete(5);
    EXPECT_EQ(Executes(GroupDelete(1, 6)), 2);
    EXPECT_EQ(StoredIds(Servers->MainDb(), 1), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(StoredIds(Servers->ReserveDb(), 1), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(GroupEditorTest, AFailedChangeIsReportedAndTheListKeepsWhatIsStored) {
    EditMode();
    Open(1, QStringLiteral("Дефекты"));
    MainDown();
    Answers->ExpectInput(QStringLiteral("Смена"))
        .ExpectError(QStringLiteral("Ошибка добавления группы \"Смена\""));
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    Select(1);
    Answers->ExpectMessage(mrYes, QStringLiteral("Удалить группу"))
        .ExpectError(QStringLiteral("Не удалось удалить группу \"Старшие диспетчеры\"."));
    QTest::mouseClick(Window->tbDeleteGroup, Qt::LeftButton);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Entries().size(), 5);
    EXPECT_FALSE(Answers->Asked().last().Details.isEmpty());
    MainUp();
    EXPECT_EQ(StoredIds(Servers->MainDb(), 1).size(), 5u);
}

TEST_F(GroupEditorTest, TheWindowClosesOnlyThroughItsButtonsAndCancelKeepsAnAddedGroup) {
    EditMode();
    bool stayedOpen = false;
    WhenShown<TfmEditListGroup>([&](TfmEditListGroup& window) {
        window.close();
        stayedOpen = window.isVisible();
        Answers->ExpectInput(QStringLiteral("Смена")).ExpectMessage(mrOk, Added);
        QTest::mouseClick(window.tbAddGroup, Qt::LeftButton);
        QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    });
    EXPECT_FALSE(EditListGroup(1, QStringLiteral("Дефекты")));
    EXPECT_TRUE(stayedOpen);
    FOracleBase->RollbackAll();
    EXPECT_EQ(StoredNames(Servers->MainDb(), 1).last(), QStringLiteral("Смена"));

    WhenShown<TfmEditListGroup>([](TfmEditListGroup& window) { QTest::keyClick(&window, Qt::Key_Return); });
    EXPECT_TRUE(EditListGroup(1, QStringLiteral("Дефекты")));
    WhenShown<TfmEditListGroup>([](TfmEditListGroup& window) { QTest::keyClick(&window, Qt::Key_Escape); });
    EXPECT_FALSE(EditListGroup(1, QStringLiteral("Дефекты")));
}

} // namespace
