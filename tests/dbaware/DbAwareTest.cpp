// The data-aware controls on the demo user list, offscreen: a grid and a navigator driven the way a
// person drives them (click, type, move to the next row), with the dialog questions answered by
// the scripted answerer and the results read back from the server by a second session.
#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "DBText.h"
#include "DataSource.h"
#include "QtTestApplication.h"
#include "ScriptedAnswerer.h"
#include "TypeText.h"

#include "ServerPair.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] ::testing::Environment* const Qt = RegisterQtTestApplication("dbaware_test");

const QString UserListSql =
    "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM KMR_USER_PSW\r\n"
    "ORDER BY GROUPID, ALLNAME";

// The user list as the administration window lays it out.
struct UserList : QWidget {
    explicit UserList(TOracleSession* session) {
        auto* layout = new QVBoxLayout(this);
        Navigator = new TDBNavigator(this);
        Grid = new TDBGridEh(this);
        CheckBox = new TDBCheckBox("Разрешение на работу", this);
        Edit = new TDBEdit(this);
        Text = new TDBText(this);
        for (QWidget* w : std::initializer_list<QWidget*>{Navigator, Grid, CheckBox, Edit, Text})
            layout->addWidget(w);
        Grid->AddColumn("ALLNAME", "Ф.И.О. Пользователя", 172);
        Grid->AddColumn("NAME", "Имя для входа", 96);
        CheckBox->SetDataField("WENABLED");
        Edit->SetDataField("IPADR");
        Text->SetDataField("IP");

        Users = new TOracleDataSet(this);
        Users->SetSession(session);
        Users->SetSQLText(UserListSql);
        Users->Open();
        Users->AfterInsert = [session](TOracleDataSet* ds) {
            TOracleQuery query;
            query.SetSession(session);
            query.SetSQLText("SELECT MAX(TABNUM) ID FROM KMR_USER_PSW");
            query.Execute();
            ds->FieldByName("TABNUM")->SetAsInteger(query.Field("ID").toInt() + 1);
        };
        Source = new TDataSource(this);
        Source->SetDataSet(Users);
        for (auto* control : {Navigator})
            control->SetDataSource(Source);
        Grid->SetDataSource(Source);
        CheckBox->SetDataSource(Source);
        Edit->SetDataSource(Source);
        Text->SetDataSource(Source);
        resize(400, 600);
    }

    TDBNavigator* Navigator;
    TDBGridEh* Grid;
    TDBCheckBox* CheckBox;
    TDBEdit* Edit;
    TDBText* Text;
    TOracleDataSet* Users;
    TDataSource* Source;
};

class DbAwareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Db.Error().isEmpty()) << Db.Error().toStdString();
        Session = Db.LogOn(Db.MainDb());
        Other = Db.LogOn(Db.MainDb());
        Window = std::make_unique<UserList>(Session.get());
        Tester = std::make_unique<QAbstractItemModelTester>(
            Window->Grid->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }

    void TearDown() override {
        Tester.reset();
        Window.reset();
    }

    // A column of a user as the second session reads it ("<no row>" when the user is gone).
    QString ServerValue(int tabnum, const QString& column) {
        TOracleQuery query;
        query.SetSession(Other.get());
        query.SetSQLText(QString("SELECT %1 FROM KMR_USER_PSW WHERE TABNUM = %2").arg(column).arg(tabnum));
        query.Execute();
        return query.Eof() ? QString("<no row>") : query.FieldAsString(column);
    }

    int CurrentTabnum() { return Window->Users->FieldByName("TABNUM")->AsInteger(); }

    // Types into the cell as a person does: a key opens the editor, the text replaces the value.
    void TypeIntoCell(int row, int column, const QString& text) {
        TDBGridEh* grid = Window->Grid;
        grid->setFocus();
        grid->setCurrentIndex(grid->Model()->index(row, column));
        QTest::keyClick(grid, Qt::Key_F2);
        QLineEdit* editor = OpenEditor();
        ASSERT_NE(editor, nullptr) << "no editor opened";
        editor->selectAll();
        TypeText(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The view commits an editor closed with Return through a queued call.
        QCoreApplication::processEvents();
    }

    // The grid's open cell editor (closed ones wait for deletion a while).
    QLineEdit* OpenEditor() {
        for (QLineEdit* editor : Window->Grid->viewport()->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }

    void ClickCheckBox() {
        QTest::mouseClick(Window->CheckBox, Qt::LeftButton, {}, QPoint(6, Window->CheckBox->height() / 2));
    }

    void Click(TNavigateBtn button) {
        QToolButton* b = Window->Navigator->Button(button);
        ASSERT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    }

    // Every test works on a copy of the servers made once.
    TServerPair Db{TServerContent::Demo};
    std::unique_ptr<TOracleSession> Session;
    std::unique_ptr<TOracleSession> Other;
    std::unique_ptr<UserList> Window;
    std::unique_ptr<QAbstractItemModelTester> Tester;
    ScriptedAnswerer Answerer{[](const QString& message) { ADD_FAILURE() << message.toStdString(); }};
};

TEST_F(DbAwareTest, GridAndNavigatorShowTheUserList) {
    TDBGridEh* grid = Window->Grid;
    QAbstractItemModel* model = grid->model();
    EXPECT_EQ(model->rowCount(), 40);
    EXPECT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Ф.И.О. Пользователя");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Имя для входа");
    EXPECT_TRUE(model->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignHCenter);
    EXPECT_EQ(grid->columnWidth(0), 172);
    EXPECT_EQ(grid->columnWidth(1), 96);
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), Window->Users->FieldByName("ALLNAME")->AsString());

    const QStringList hints{"В начало",           "Предыдущее", "Следующее",     "В конец",
                            "Добавить",           "Удалить",    "Редактировать", "Принять Изменения",
                            "Отменить Изменения", "Обновить"};
    for (int b = nbFirst; b <= nbRefresh; ++b)
        EXPECT_EQ(Window->Navigator->Button(TNavigateBtn(b))->toolTip(), hints[b]);

    auto enabled = [&](TNavigateBtn b) { return Window->Navigator->Button(b)->isEnabled(); };
    EXPECT_FALSE(enabled(nbFirst));
    EXPECT_FALSE(enabled(nbPrior));
    EXPECT_TRUE(enabled(nbNext));
    EXPECT_TRUE(enabled(nbInsert));
    EXPECT_TRUE(enabled(nbDelete));
    EXPECT_TRUE(enabled(nbEdit));
    EXPECT_FALSE(enabled(nbPost));
    EXPECT_FALSE(enabled(nbCancel));

    // The navigator moves the grid's cursor, the grid's cursor moves the dataset.
    Click(nbLast);
    EXPECT_EQ(grid->currentIndex().row(), 39);
    EXPECT_FALSE(enabled(nbNext));
    grid->setCurrentIndex(model->index(5, 1));
    EXPECT_EQ(Window->Users->CurrentIndex(), 5);
    EXPECT_TRUE(enabled(nbFirst));

    // Check box, edit box and text follow the current row.
    Window->Users->First();
    const TField* wenabled = Window->Users->FieldByName("WENABLED");
    for (int row = 0; row < 40; ++row) {
        Window->Users->MoveTo(row);
        EXPECT_EQ(Window->CheckBox->isChecked(), wenabled->AsString() == "T") << row;
        EXPECT_EQ(Window->Text->text(), Window->Users->FieldByName("IP")->AsString());
        EXPECT_EQ(Window->Edit->text(), Window->Users->FieldByName("IPADR")->AsString());
    }
}

// A name cut short by its column is read whole in a hint; a name that fits shows none.
TEST_F(DbAwareTest, ACutValueShowsWholeInAHint) {
    TDBGridEh* grid = Window->Grid;
    QAbstractItemModel* model = grid->model();
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    auto hintAt = [&](int row, int column) {
        // A hint goes away a moment after it is told to.
        QToolTip::hideText();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
        const QRect cell = grid->visualRect(model->index(row, column));
        QHelpEvent help(QEvent::ToolTip, cell.center(), grid->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(grid->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    grid->setColumnWidth(0, 40);
    const QString name = model->data(model->index(0, 0)).toString();
    EXPECT_EQ(hintAt(0, 0), name);
    grid->setColumnWidth(0, grid->fontMetrics().horizontalAdvance(name) + 40);
    EXPECT_EQ(hintAt(0, 0), QString());
}

TEST_F(DbAwareTest, NameTypedIntoACellIsWrittenWhenMovingToTheNextRow) {
    const int tabnum = CurrentTabnum();
    Db.ClearTrace();
    TypeIntoCell(0, 0, "Смирнова Ольга Петровна");
    EXPECT_EQ(Window->Users->State(), dsEdit);
    EXPECT_EQ(ServerValue(tabnum, "ALLNAME").isEmpty(), false);
    EXPECT_NE(ServerValue(tabnum, "ALLNAME"), "Смирнова Ольга Петровна");

    QTest::keyClick(Window->Grid, Qt::Key_Down);
    EXPECT_EQ(Window->Grid->currentIndex().row(), 1);
    EXPECT_EQ(Window->Users->CurrentIndex(), 1);
    EXPECT_EQ(Window->Users->State(), dsBrowse);
    EXPECT_EQ(ServerValue(tabnum, "ALLNAME"), "Смирнова Ольга Петровна");
    EXPECT_EQ(Window->Grid->model()->data(Window->Grid->model()->index(0, 0)).toString(),
              "Смирнова Ольга Петровна");
    EXPECT_TRUE(Db.TraceFile().Statements().contains(
        "update KMR_USER_PSW\nset ALLNAME = :v2\nwhere rowid = :tav__rowid\n"
        "returning rowid into :tav__rowid"));
}

TEST_F(DbAwareTest, InsertFillAndPostWithTheNavigator) {
    Window->Grid->setCurrentIndex(Window->Grid->model()->index(3, 0));
    Click(nbInsert);
    EXPECT_EQ(Window->Users->State(), dsInsert);
    EXPECT_EQ(Window->Grid->model()->rowCount(), 41);
    EXPECT_EQ(Window->Grid->currentIndex().row(), 3);
    const int tabnum = CurrentTabnum();
    EXPECT_EQ(QString::number(tabnum - 1), [&] {
        TOracleQuery query;
        query.SetSession(Other.get());
        query.SetSQLText("SELECT MAX(TABNUM) M FROM KMR_USER_PSW");
        query.Execute();
        return query.FieldAsString("M");
    }());
    EXPECT_FALSE(Window->CheckBox->isChecked());

    TypeIntoCell(3, 0, "Новиков Денис Сергеевич");
    // The last cell is still being typed in when the post button is pressed.
    Window->Grid->setCurrentIndex(Window->Grid->model()->index(3, 1));
    QTest::keyClick(Window->Grid, Qt::Key_F2);
    ASSERT_NE(OpenEditor(), nullptr);
    OpenEditor()->selectAll();
    TypeText(OpenEditor(), "novikov");
    Click(nbPost);
    EXPECT_EQ(Window->Users->State(), dsBrowse);
    EXPECT_EQ(ServerValue(tabnum, "NAME"), "novikov");
    EXPECT_EQ(ServerValue(tabnum, "ALLNAME"), "Новиков Денис Сергеевич");
    EXPECT_EQ(ServerValue(tabnum, "WENABLED"), "");
}

TEST_F(DbAwareTest, DeleteAsksFirst) {
    Window->Grid->setCurrentIndex(Window->Grid->model()->index(2, 0));
    const int tabnum = CurrentTabnum();

    Answerer.ExpectMessage(mrCancel, "Удалить запись?");
    Click(nbDelete);
    EXPECT_EQ(ServerValue(tabnum, "TABNUM"), QString::number(tabnum));

    Answerer.ExpectMessage(mrOk, "Удалить запись?");
    Click(nbDelete);
    EXPECT_EQ(ServerValue(tabnum, "TABNUM"), "<no row>");
    EXPECT_EQ(Window->Grid->model()->rowCount(), 39);
    EXPECT_EQ(Window->Grid->currentIndex().row(), 2);
    ASSERT_EQ(Answerer.Asked().size(), 2);
    EXPECT_EQ(Answerer.Asked()[1].Buttons, (TMsgDlgButtons{mbOK, mbCancel}));
}

// A delete the window refuses is refused before the question: the user is not asked in vain.
TEST_F(DbAwareTest, ADeleteRefusedBeforeTheQuestionAsksNothingAndDeletesNothing) {
    const int tabnum = CurrentTabnum();
    Window->Navigator->BeforeDeleteQuestion = [] { throw EDatabaseError("Нельзя удалить эту запись"); };
    Answerer.ExpectMessage(mrOk, "Нельзя удалить эту запись");
    Click(nbDelete);
    EXPECT_EQ(ServerValue(tabnum, "TABNUM"), QString::number(tabnum));
    ASSERT_EQ(Answerer.Asked().size(), 1);

    // Allowed: the question follows as before.
    Window->Navigator->BeforeDeleteQuestion = [] {};
    Answerer.ExpectMessage(mrOk, "Удалить запись?");
    Click(nbDelete);
    EXPECT_EQ(ServerValue(tabnum, "TABNUM"), "<no row>");
}

TEST_F(DbAwareTest, RefusedPostKeepsTheRowInEditAndShowsWhy) {
    const int tabnum = CurrentTabnum();
    TypeIntoCell(0, 0, "Заблокированный");
    TServerPair::Exec(*Other, QString("UPDATE KMR_USER_PSW SET IP = IP WHERE TABNUM = %1").arg(tabnum));

    Answerer.ExpectMessage(mrOk, "Record is locked by another user");
    QTest::keyClick(Window->Grid, Qt::Key_Down);
    EXPECT_EQ(Answerer.Pending(), 0);
    EXPECT_EQ(Window->Grid->currentIndex().row(), 0);
    EXPECT_EQ(Window->Users->CurrentIndex(), 0);
    EXPECT_EQ(Window->Users->State(), dsEdit);
    EXPECT_EQ(Window->Grid->model()->data(Window->Grid->model()->index(0, 0)).toString(), "Заблокированный");

    Other->Rollback();
    QTest::keyClick(Window->Grid, Qt::Key_Down);
    EXPECT_EQ(Window->Users->State(), dsBrowse);
    EXPECT_EQ(ServerValue(tabnum, "ALLNAME"), "Заблокированный");
}

TEST_F(DbAwareTest, EditOfARowChangedMeanwhileIsRefusedBeforeTyping) {
    const int tabnum = CurrentTabnum();
    TServerPair::Exec(*Other,
                      QString("UPDATE KMR_USER_PSW SET NAME = 'renamed' WHERE TABNUM = %1").arg(tabnum));
    Other->Commit();
    Answerer.ExpectMessage(mrOk, "Record has been changed by another user");
    Window->Grid->setFocus();
    QTest::keyClick(Window->Grid, Qt::Key_F2);
    EXPECT_EQ(OpenEditor(), nullptr);
    EXPECT_EQ(Window->Users->State(), dsBrowse);
}

TEST_F(DbAwareTest, CheckBoxAndEditBoxWriteTheirFields) {
    Window->Users->First();
    while (Window->Users->FieldByName("WENABLED")->AsString() != "T")
        Window->Users->Next();
    const int tabnum = CurrentTabnum();
    ASSERT_TRUE(Window->CheckBox->isChecked());

    ClickCheckBox();
    EXPECT_EQ(Window->Users->State(), dsEdit);
    EXPECT_EQ(Window->Users->FieldByName("WENABLED")->AsString(), "F");
    EXPECT_FALSE(Window->CheckBox->isChecked());

    Window->Edit->setFocus();
    Window->Edit->selectAll();
    TypeText(Window->Edit, "10.9.9.9");
    Click(nbPost);
    EXPECT_EQ(Window->Users->State(), dsBrowse);
    EXPECT_EQ(ServerValue(tabnum, "WENABLED"), "F");
    EXPECT_EQ(ServerValue(tabnum, "IPADR"), "10.9.9.9");

    // Cancel drops what the controls wrote.
    ClickCheckBox();
    EXPECT_TRUE(Window->CheckBox->isChecked());
    Click(nbCancel);
    EXPECT_FALSE(Window->CheckBox->isChecked());
    EXPECT_EQ(ServerValue(tabnum, "WENABLED"), "F");
}

TEST_F(DbAwareTest, TextTypedIntoANumberColumnIsRefused) {
    Window->Grid->AddColumn("GROUPID", "Группа", 50);
    Db.ClearTrace();
    Answerer.ExpectMessage(mrOk, "'abc' is not a valid integer value");
    TypeIntoCell(0, 2, "abc");
    EXPECT_EQ(Answerer.Pending(), 0);
    EXPECT_FALSE(Window->Users->Modified());
    QTest::keyClick(Window->Grid, Qt::Key_Down);
    EXPECT_EQ(Window->Users->State(), dsBrowse);
    for (const QString& statement : Db.TraceFile().Statements())
        EXPECT_FALSE(statement.startsWith("update")) << statement.toStdString();
}

TEST_F(DbAwareTest, DataSourceTellsOfEveryDataChangeOnce) {
    TDataSource source;
    int changes = 0;
    QObject::connect(&source, &TDataSource::OnDataChange, [&](TField*) { ++changes; });
    TOracleDataSet* users = Window->Users;
    auto count = [&](const std::function<void()>& action) {
        changes = 0;
        action();
        return changes;
    };
    EXPECT_EQ(count([&] { source.SetDataSet(users); }), 1);
    EXPECT_EQ(count([&] { users->Next(); }), 1);
    EXPECT_EQ(count([&] { users->Edit(); }), 0);
    EXPECT_EQ(count([&] { users->FieldByName("IP")->SetAsString("10.1.2.3"); }), 1);
    EXPECT_EQ(count([&] { users->Cancel(); }), 1);
    users->AfterInsert = nullptr;
    EXPECT_EQ(count([&] { users->Insert(); }), 1);
    users->FieldByName("TABNUM")->SetAsInteger(500);
    users->FieldByName("NAME")->SetAsString("x500");
    EXPECT_EQ(count([&] { users->Post(); }), 1);
    Answerer.ExpectMessage(mrOk, "Удалить запись?");
    EXPECT_EQ(count([&] { Click(nbDelete); }), 1);
    EXPECT_EQ(count([&] { users->Refresh(); }), 1);
    EXPECT_EQ(count([&] { users->Close(); }), 0);
}

} // namespace

namespace {

TEST_F(DbAwareTest, RecordFilterNarrowsTheGridAndTheNavigatorKeepingNewAndEditedRows) {
    TDataSource* source = Window->Source;
    TOracleDataSet* users = Window->Users;
    const int name = users->FieldByName("NAME")->Index();
    // Every third user.
    source->SetRecordFilter([](int i) { return i % 3 == 0; });
    EXPECT_EQ(source->ShownCount(), 14);
    for (int i = 0; i < users->RecordCount(); ++i)
        EXPECT_EQ(Window->Grid->isRowHidden(i), i % 3 != 0) << i;
    Click(nbNext);
    EXPECT_EQ(users->CurrentIndex(), 3);
    Click(nbLast);
    EXPECT_EQ(users->CurrentIndex(), 39);
    EXPECT_FALSE(Window->Navigator->Button(nbNext)->isEnabled());
    Click(nbPrior);
    EXPECT_EQ(users->CurrentIndex(), 36);
    Click(nbFirst);
    EXPECT_EQ(users->CurrentIndex(), 0);

    // A new record is shown until the filter is asked again, and it is posted like any other.
    Click(nbInsert);
    const int inserted = users->CurrentIndex();
    EXPECT_FALSE(Window->Grid->isRowHidden(inserted));
    EXPECT_TRUE(source->RecordShown(inserted));
    users->FieldByName("NAME")->SetAsString("filtered");
    Click(nbPost);
    EXPECT_EQ(ServerValue(CurrentTabnum(), "NAME"), "filtered");
    EXPECT_EQ(source->ShownCount(), 15);

    // A reload asks the filter again; the row being edited stays in sight.
    users->MoveTo(1);
    users->Edit();
    source->SetRecordFilter([&](int i) { return users->RecordValue(i, name).toString() == "filtered"; });
    EXPECT_TRUE(source->RecordShown(1));
    EXPECT_FALSE(Window->Grid->isRowHidden(1));
    users->Cancel();
    users->Refresh();
    EXPECT_EQ(source->ShownCount(), 1);

    // Taken off, every row is back.
    source->SetRecordFilter({});
    EXPECT_EQ(source->ShownCount(), users->RecordCount());
    for (int i = 0; i < users->RecordCount(); ++i)
        EXPECT_FALSE(Window->Grid->isRowHidden(i)) << i;
}

} // namespace
