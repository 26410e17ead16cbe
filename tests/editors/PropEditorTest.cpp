// The property list editor against the demo servers: the application list and the catalogue it
// shows, numbering of new rows, switching applications, mirroring of posts and deletes, view mode,
// texts longer than their columns, two editors at once, and the way the window closes.
#include "AccessibleNames.h"
#include "EditorsTestSupport.h"
#include "GridTyping.h"

#include "DBGridEh.h"
#include "DBNavigator.h"
#include "DataSource.h"
#include "EdListProp.h"
#include "NoteDataSet.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace {

const QString DeleteOnReserve = QStringLiteral("DELETE FROM KMR_PROP_FOR_PROG WHERE ID_PROP =");

QString Catalogue(int program) {
    return QStringLiteral(
               "SELECT ID_PROP, ID_PROGRAMM, FORM_NAME, PROP_NAME, PROP_TYPE, PROP_ALIAS, ROWID FROM "
               "KMR_PROP_FOR_PROG\nWHERE ID_PROGRAMM = %1\nORDER BY ID_PROP")
        .arg(program);
}

class PropEditorTest : public EditorsTest {
protected:
    void TearDown() override {
        Windows.clear();
        EditorsTest::TearDown();
    }

    TfmEditListProp& Open() {
        Windows.push_back(std::make_unique<TfmEditListProp>());
        Windows.back()->show();
        return *Windows.back();
    }
    TfmEditListProp& W() { return *Windows.front(); }
    TNoteDataSet& Rows() { return *W().PropSet; }

    void Click(TfmEditListProp& w, TNavigateBtn button) {
        QTest::mouseClick(w.DBNavigator1->Button(button), Qt::LeftButton);
    }
    void SelectProgram(int row) {
        const QRect r = W().lbProg->visualItemRect(W().lbProg->item(row));
        QTest::mouseClick(W().lbProg->viewport(), Qt::LeftButton, {}, r.center());
    }
    // A new row typed in and posted with the navigator.
    void AddRow(TfmEditListProp& w, const QStringList& texts) {
        Click(w, nbInsert);
        ASSERT_EQ(w.PropSet->State(), dsInsert);
        const int row = w.PropSet->CurrentIndex();
        for (int c = 0; c < texts.size(); ++c)
            ASSERT_TRUE(TypeIntoGridCell(w.DBGridEh1, row, c, texts[c]));
        Click(w, nbPost);
    }
    // Makes the row with this ID_PROP current (a new row sits where it was inserted, not in order).
    void GoTo(int id) {
        for (int i = 0; i < Rows().RecordCount(); ++i)
            if (Rows().RecordValue(i, 0).toInt() == id) {
                Rows().MoveTo(i);
                return;
            }
        ADD_FAILURE() << "no row " << id;
    }
    std::vector<int> Ids() {
        std::vector<int> ids;
        for (int i = 0; i < Rows().RecordCount(); ++i)
            ids.push_back(Rows().RecordValue(i, 0).toInt());
        return ids;
    }
    std::vector<int> Stored(const QString& db, const QString& where = QString()) {
        return Servers->Column(db, QStringLiteral("SELECT ID_PROP FROM KMR_PROP_FOR_PROG ") + where +
                                       QStringLiteral(" ORDER BY ID_PROP"));
    }
    QStringList StoredTexts(const QString& db, int id) {
        return Servers->Texts(
            db, QStringLiteral("SELECT FORM_NAME || '|' || PROP_NAME || '|' || PROP_TYPE || '|' || "
                               "PROP_ALIAS FROM KMR_PROP_FOR_PROG WHERE ID_PROP = %1")
                    .arg(id));
    }
    // The position in the trace of the first execute of this text, or -1.
    int TracePosition(const QString& text) {
        const QList<TTraceLine> trace = Servers->Trace();
        for (qsizetype i = 0; i < trace.size(); ++i)
            if (trace[i].Call == QStringLiteral("OCIStmtExecute") && trace[i].Text.startsWith(text))
                return int(i);
        return -1;
    }

    std::vector<std::unique_ptr<TfmEditListProp>> Windows;
};

TEST_F(PropEditorTest, ShowsTheApplicationsAndTheFirstOnesCatalogue) {
    EditMode();
    Servers->ClearTrace();
    Open();
    EXPECT_EQ(W().windowTitle(), QStringLiteral("Редактирование списка свойств"));
    EXPECT_EQ(W().size(), QSize(755, 370));
    EXPECT_FALSE(W().windowFlags() & Qt::WindowCloseButtonHint);
    ASSERT_EQ(W().lbProg->count(), 3);
    EXPECT_EQ(W().lbProg->item(2)->text(), QStringLiteral("Заявки"));
    EXPECT_EQ(W().lbProg->currentRow(), 0);
    EXPECT_EQ(W().lbProg->width(), 238);
    EXPECT_EQ(W().ToolBarGap->width(), 249);

    const QStringList titles{"Имя формы", "Имя объекта", "Имя свойства", "Функциональное назначение"};
    const std::vector<int> widths{104, 112, 100, 159};
    ASSERT_EQ(W().DBGridEh1->model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(W().DBGridEh1->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        // The whole title, also when the column cuts it short.
        EXPECT_EQ(W().DBGridEh1->model()->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString(),
                  titles[c]);
        // The last one takes the room left.
        if (c < 3)
            EXPECT_EQ(W().DBGridEh1->columnWidth(c), widths[size_t(c)]);
        else
            EXPECT_GE(W().DBGridEh1->columnWidth(c), widths[size_t(c)]);
    }
    const QStringList hints{"В начало",           "Предыдущее", "Следующее",     "В конец",
                            "Добавить",           "Удалить",    "Редактировать", "Принять Изменения",
                            "Отменить Изменения", "Обновить"};
    for (int b = nbFirst; b <= nbRefresh; ++b)
        EXPECT_EQ(W().DBNavigator1->Button(TNavigateBtn(b))->toolTip(), hints[b]);

    EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(W().DBGridEh1->model()->data(W().DBGridEh1->model()->index(0, 1)).toString(),
              QStringLiteral("tbAddDefect"));
    EXPECT_EQ(Executes(QStringLiteral(
                  "SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE\nORDER BY ID_PROGRAMMEXE")),
              1);
    EXPECT_EQ(Executes(Catalogue(1)), 1);
    EXPECT_TRUE(W().StateLabel->text().isEmpty());
    EXPECT_TRUE(W().DBNavigator1->Button(nbInsert)->isEnabled());
    EXPECT_EQ(ControlsWithoutAccessibleName(&W()), "");
}

TEST_F(PropEditorTest, NewRowsAreNumberedOverTheWholeTable) {
    Servers->Exec(Servers->MainDb(), QStringLiteral("DELETE FROM KMR_PROP_FOR_PROG"));
    EditMode();
    Open();
    ASSERT_TRUE(Rows().IsEmpty());
    // The keyboard goes to the new row at once.
    W().lbProg->setFocus();
    Click(W(), nbInsert);
    EXPECT_EQ(W().focusWidget(), W().DBGridEh1);
    Rows().Cancel();
    AddRow(W(), {QStringLiteral("TfmDefects"), QStringLiteral("tbPrint"), QStringLiteral("Enabled"),
                 QStringLiteral("Кнопка печати")});
    EXPECT_EQ(Rows().State(), dsBrowse);
    EXPECT_EQ(Stored(Servers->MainDb()), (std::vector<int>{1}));
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 1), (QStringList{"TfmDefects|tbPrint|Enabled|Кнопка печати"}));

    // 1, 2 and 7 present in any applications: the next is 8.
    Servers->Exec(Servers->MainDb(),
                  QStringLiteral("INSERT INTO KMR_PROP_FOR_PROG (ID_PROP, ID_PROGRAMM) VALUES (2, 3)"));
    Servers->Exec(Servers->MainDb(),
                  QStringLiteral("INSERT INTO KMR_PROP_FOR_PROG (ID_PROP, ID_PROGRAMM) VALUES (7, 2)"));
    AddRow(W(), {QStringLiteral("TfmDefectCard"), QStringLiteral("Memo2")});
    EXPECT_EQ(Stored(Servers->MainDb(), QStringLiteral("WHERE ID_PROGRAMM = 1")), (std::vector<int>{1, 8}));
}

TEST_F(PropEditorTest, SwitchingApplicationsReloadsAndAnInsertBelongsToTheShownOne) {
    EditMode();
    Open();
    Servers->ClearTrace();
    SelectProgram(1);
    EXPECT_EQ(Executes(Catalogue(2)), 1);
    EXPECT_EQ(Ids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16}));
    AddRow(W(), {QStringLiteral("TfmGraph"), QStringLiteral("btnSave")});
    EXPECT_EQ(Stored(Servers->MainDb(), QStringLiteral("WHERE ID_PROGRAMM = 2")),
              (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 26}));

    // A row being typed is stored before another application is shown.
    Click(W(), nbInsert);
    ASSERT_TRUE(TypeIntoGridCell(W().DBGridEh1, Rows().CurrentIndex(), 0, QStringLiteral("TfmOtkl")));
    SelectProgram(2);
    EXPECT_EQ(W().lbProg->currentRow(), 2);
    EXPECT_EQ(Ids(), (std::vector<int>{17, 18, 19, 20, 21, 22, 23, 24, 25}));
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 27), (QStringList{"TfmOtkl|||"}));
    EXPECT_EQ(
        Servers->Count(
            Servers->MainDb(),
            QStringLiteral("SELECT ID_PROP FROM KMR_PROP_FOR_PROG WHERE ID_PROP = 27 AND ID_PROGRAMM = 2")),
        1);
}

TEST_F(PropEditorTest, WithoutMirroringTheReserveServerHearsNothing) {
    NotMirrored();
    Open();
    Servers->ClearTrace();
    Answers->ExpectMessage(mrOk, QStringLiteral("Удалить запись?"));
    Click(W(), nbDelete);
    EXPECT_EQ(Stored(Servers->MainDb(), QStringLiteral("WHERE ID_PROGRAMM = 1")),
              (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(TracePosition(DeleteOnReserve), -1);
    EXPECT_EQ(Stored(Servers->ReserveDb(), QStringLiteral("WHERE ID_PROGRAMM = 1")).front(), 1);
    AddRow(W(), {QStringLiteral("TfmDefects")});
    EXPECT_EQ(Stored(Servers->ReserveDb()).back(), 25);
}

TEST_F(PropEditorTest, WhileMirroringPostsAndDeletesFollowOnTheReserveServer) {
    Mirrored();
    Open();
    // A new row, then a change of it.
    AddRow(W(), {QStringLiteral("TfmDefects"), QStringLiteral("tbExport"), QStringLiteral("Visible"),
                 QStringLiteral("Выгрузка")});
    EXPECT_EQ(StoredTexts(Servers->ReserveDb(), 26), (QStringList{"TfmDefects|tbExport|Visible|Выгрузка"}));
    ASSERT_TRUE(TypeIntoGridCell(W().DBGridEh1, Rows().CurrentIndex(), 2, QStringLiteral("Enabled")));
    Click(W(), nbPost);
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 26), (QStringList{"TfmDefects|tbExport|Enabled|Выгрузка"}));
    EXPECT_EQ(StoredTexts(Servers->ReserveDb(), 26), (QStringList{"TfmDefects|tbExport|Enabled|Выгрузка"}));

    // The documented text reaches the reserve server after the main server's delete.
    GoTo(1);
    Servers->ClearTrace();
    Answers->ExpectMessage(mrOk, QStringLiteral("Удалить запись?"));
    Click(W(), nbDelete);
    const int mainDelete = TracePosition(QStringLiteral("delete from KMR_PROP_FOR_PROG"));
    const int reserveDelete = TracePosition(DeleteOnReserve + QStringLiteral("1"));
    ASSERT_GE(mainDelete, 0);
    EXPECT_GT(reserveDelete, mainDelete);
    EXPECT_EQ(Executes(DeleteOnReserve + QStringLiteral("1")), 1);
    EXPECT_EQ(Stored(Servers->MainDb()).front(), 2);
    EXPECT_EQ(Stored(Servers->ReserveDb()).front(), 2);
}

TEST_F(PropEditorTest, ARefusedMainDeleteLeavesTheReserveRow) {
    Mirrored();
    Open();
    // Another administrator removed the row meanwhile: the main server refuses the delete.
    Servers->Exec(Servers->MainDb(), QStringLiteral("DELETE FROM KMR_PROP_FOR_PROG WHERE ID_PROP = 1"));
    Servers->ClearTrace();
    Answers->ExpectMessage(mrOk, QStringLiteral("Удалить запись?"))
        .ExpectMessage(mrOk, QStringLiteral("Record has been deleted by another user"));
    Click(W(), nbDelete);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(TracePosition(DeleteOnReserve), -1);
    EXPECT_EQ(Stored(Servers->ReserveDb()).front(), 1);
}

TEST_F(PropEditorTest, TextsLongerThanTheirColumnsAreRefusedAndStayTyped) {
    EditMode();
    Open();
    const QString cyrillic50 = QString(50, QChar(0x0424)); // 100 bytes
    AddRow(W(), {QString(100, QLatin1Char('F')), cyrillic50, QString(100, QLatin1Char('T')),
                 QString(200, QChar(0x0416))});
    EXPECT_EQ(Rows().State(), dsBrowse);
    EXPECT_EQ(Stored(Servers->MainDb()).back(), 26);

    // One letter more in each column in turn (the grid's editor stops at the column's size in
    // letters, so the bytes of Cyrillic overflow it): the server's message, the row still in insert.
    const QString cyrillic51 = cyrillic50 + QStringLiteral("Ф");
    const QStringList tooLong{cyrillic51, cyrillic51, cyrillic51,
                              QString(200, QChar(0x0416)) + QStringLiteral("Ж")};
    for (int c = 0; c < 4; ++c) {
        QStringList texts{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
        texts[c] = tooLong[c];
        Answers->ExpectMessage(mrOk, QStringLiteral("ORA-12899"));
        AddRow(W(), texts);
        EXPECT_EQ(Answers->Pending(), 0) << c;
        EXPECT_EQ(Rows().State(), dsInsert) << c;
        EXPECT_EQ(Rows().FieldByName(QStringLiteral("FORM_NAME"))->AsString(), texts[0]);
        EXPECT_EQ(Rows().Fields(c + 2)->AsString(), tooLong[c]);
        Rows().Cancel();
    }
    EXPECT_EQ(Stored(Servers->MainDb()).back(), 26);
}

TEST_F(PropEditorTest, TwoEditorsInsertingAtOnceNeverShareANumber) {
    EditMode();
    TfmEditListProp& first = Open();
    TfmEditListProp& second = Open();
    Click(first, nbInsert);
    Click(second, nbInsert);
    EXPECT_EQ(first.PropSet->Fields(0)->AsInteger(), 26);
    EXPECT_EQ(second.PropSet->Fields(0)->AsInteger(), 26);
    ASSERT_TRUE(TypeIntoGridCell(first.DBGridEh1, first.PropSet->CurrentIndex(), 0, QStringLiteral("first")));
    Click(first, nbPost);
    ASSERT_TRUE(
        TypeIntoGridCell(second.DBGridEh1, second.PropSet->CurrentIndex(), 0, QStringLiteral("second")));
    Click(second, nbPost);
    EXPECT_EQ(second.PropSet->State(), dsBrowse);
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 26), (QStringList{"first|||"}));
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 27), (QStringList{"second|||"}));
}

TEST_F(PropEditorTest, AnUnreadableNumberRefusesTheNewRow) {
    EditMode();
    Open();
    MainDown();
    Answers->ExpectMessage(mrOk, QStringLiteral("Не удалось определить номер нового свойства"));
    Click(W(), nbInsert);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Rows().State(), dsBrowse);
    EXPECT_EQ(Ids().size(), 8u);
    MainUp();
}

TEST_F(PropEditorTest, InViewModeTheGridIsReadOnlyAndSaysWhy) {
    ViewMode();
    Open();
    EXPECT_EQ(Ids().size(), 8u);
    EXPECT_TRUE(Rows().ReadOnly());
    EXPECT_FALSE(W().DBNavigator1->Button(nbInsert)->isEnabled());
    EXPECT_FALSE(W().DBNavigator1->Button(nbDelete)->isEnabled());
    EXPECT_FALSE(TypeIntoGridCell(W().DBGridEh1, 0, 0, QStringLiteral("x")));
    EXPECT_EQ(W().StateLabel->text(), QStringLiteral("Режим просмотра: изменения списка свойств запрещены"));

    // Edit mode comes back, then goes while a row is typed: the post is refused, the text stays.
    CanWrite = true;
    W().UpdateEditMode();
    EXPECT_TRUE(W().StateLabel->text().isEmpty());
    ASSERT_TRUE(TypeIntoGridCell(W().DBGridEh1, 0, 0, QStringLiteral("Другая")));
    ASSERT_EQ(Rows().State(), dsEdit);
    CanWrite = false;
    W().UpdateEditMode();
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
    Click(W(), nbPost);
    EXPECT_EQ(Answers->Pending(), 0);
    EXPECT_EQ(Rows().State(), dsEdit);
    EXPECT_EQ(Rows().FieldByName(QStringLiteral("FORM_NAME"))->AsString(), QStringLiteral("Другая"));
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 1).front().section(u'|', 0, 0), QStringLiteral("TfmDefects"));
}

TEST_F(PropEditorTest, WithoutApplicationsTheWindowSaysSo) {
    Servers->Exec(Servers->MainDb(), QStringLiteral("DELETE FROM KMR_PROGRAMMEXE"));
    EditMode();
    Open();
    EXPECT_EQ(W().lbProg->count(), 0);
    EXPECT_FALSE(W().DBGridEh1->isEnabled());
    EXPECT_FALSE(W().DBNavigator1->isEnabled());
    EXPECT_TRUE(W().StateLabel->text().contains(QStringLiteral("Ни одна программа не зарегистрирована")));
}

TEST_F(PropEditorTest, CancelAfterAPostKeepsTheRowAndSaveStoresTheRowBeingTyped) {
    EditMode();
    WhenShown<TfmEditListProp>([this](TfmEditListProp& w) {
        w.close();
        EXPECT_TRUE(w.isVisible());
        AddRow(w, {QStringLiteral("posted")});
        QTest::mouseClick(w.BitBtn2, Qt::LeftButton);
    });
    EXPECT_FALSE(EditListProp());
    FOracleBase->RollbackAll();
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 26), (QStringList{"posted|||"}));

    WhenShown<TfmEditListProp>([this](TfmEditListProp& w) {
        Click(w, nbInsert);
        ASSERT_TRUE(TypeIntoGridCell(w.DBGridEh1, w.PropSet->CurrentIndex(), 0, QStringLiteral("typed")));
        QTest::mouseClick(w.BitBtn1, Qt::LeftButton);
    });
    EXPECT_TRUE(EditListProp());
    EXPECT_EQ(StoredTexts(Servers->MainDb(), 27), (QStringList{"typed|||"}));
}

} // namespace
