// The administration window's buttons that open the editors: what they open, and what the window
// shows after the editor has closed.
#include "EditorsTestSupport.h"

#include "EdListGroup.h"
#include "EdListProp.h"
#include "Login.h"
#include "LoginType.h"
#include "Main.h"
#include "ProgramAccess.h"
#include "Settings.h"
#include "Termination.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

class AdminButtonsTest : public EditorsTest {
protected:
    void OpenAdmin() {
        ResetTerminationRequest();
        UserProfile.Clear();
        TempFileName.clear();
        TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
        Window = std::make_unique<TKMF_Admin>();
        ASSERT_NE(Window->UsersSet, nullptr);
        Window->show();
    }
    void TearDown() override {
        Window.reset();
        TLoginForm::SetDefaultParameters({});
        ResetTerminationRequest();
        EditorsTest::TearDown();
    }

    QStringList GroupButtons() const {
        QStringList names;
        for (QAbstractButton* button : Window->Programs->RGButtons->buttons())
            names << button->text();
        return names;
    }

    std::unique_ptr<TKMF_Admin> Window;
};

TEST_F(AdminButtonsTest, AGroupAddedInTheEditorCanBeChosenAtOnce) {
    EditMode();
    OpenAdmin();
    Window->clbProgrammName->setCurrentRow(1);
    ASSERT_EQ(GroupButtons().size(), 4);

    QString caption;
    WhenShown<TfmEditListGroup>([&](TfmEditListGroup& editor) {
        caption = editor.windowTitle();
        Answers->ExpectInput(QStringLiteral("Смена")).ExpectMessage(mrOk, QStringLiteral("добавлена"));
        QTest::mouseClick(editor.tbAddGroup, Qt::LeftButton);
        QTest::mouseClick(editor.BitBtn1, Qt::LeftButton);
    });
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Редактирование списка групп \"Отключения\""));
    EXPECT_EQ(GroupButtons().last(), QStringLiteral("Смена"));
    EXPECT_EQ(Window->Programs->RGButtons->buttons().size(), 5);
    EXPECT_EQ(TProgramAccess::ButtonId(Window->Programs->RGButtons->buttons().last()), 6);
}

TEST_F(AdminButtonsTest, ThePropertyEditorIsReachableFromItsButton) {
    EditMode();
    OpenAdmin();
    EXPECT_TRUE(Window->ToolButton1->isVisible());
    EXPECT_EQ(Window->ToolButton1->toolTip(), QStringLiteral("Редактировать список свойств"));
    EXPECT_EQ(Window->ToolButton1->accessibleName(), QStringLiteral("Редактировать список свойств"));

    int programs = 0;
    WhenShown<TfmEditListProp>([&](TfmEditListProp& editor) {
        programs = editor.lbProg->count();
        QTest::mouseClick(editor.BitBtn1, Qt::LeftButton);
    });
    QTest::mouseClick(Window->ToolButton1, Qt::LeftButton);
    EXPECT_EQ(programs, 3);
}

TEST_F(AdminButtonsTest, WithoutProgramsTheGroupButtonOpensNothing) {
    Servers->Exec(Servers->MainDb(), QStringLiteral("DELETE FROM KMR_PROGRAMMEXE"));
    EditMode();
    OpenAdmin();
    ASSERT_EQ(Window->clbProgrammName->count(), 0);
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
    QTest::mouseClick(Window->tbAddGroup, Qt::LeftButton);
    QTest::qWait(10);
    EXPECT_FALSE(opened);
}

} // namespace
