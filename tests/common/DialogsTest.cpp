#include "../support/AccessibleNames.h"
#include "Desktop.h"
#include "DialogGateway.h"
#include "ErrorOra.h"
#include "MessageForm.h"
#include "ScriptedAnswerer.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Collects the answerer's complaints instead of failing at once, to check its strictness.
struct Complaints {
    QStringList List;
    ScriptedAnswerer::FailureHandler Handler() {
        return [this](const QString& message) { List.append(message); };
    }
};

ScriptedAnswerer::FailureHandler FailTest() {
    return [](const QString& message) { ADD_FAILURE() << message.toStdString(); };
}

// Runs action on the modal dialog that opens next, once it is shown.
void WhenModalShown(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

DesktopInfo TwoMonitors(QPoint mouse) {
    return DesktopInfo{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1280, 1024)}, mouse};
}

} // namespace

TEST(DialogGatewayTest, CaptionsButtonsAndResults) {
    EXPECT_EQ(MsgDlgCaption(mtWarning), "Предупреждение");
    EXPECT_EQ(MsgDlgCaption(mtError), "Ошибка");
    EXPECT_EQ(MsgDlgCaption(mtInformation), "Информация");
    EXPECT_EQ(MsgDlgCaption(mtConfirmation), "Подтверждение");
    EXPECT_EQ(MsgDlgCaption(mtCustom), "Admin_KMR");
    const struct {
        TMsgDlgBtn Button;
        const char* Caption;
        int Result;
    } buttons[] = {{mbYes, "&Да", mrYes},
                   {mbNo, "&Нет", mrNo},
                   {mbOK, "OK", mrOk},
                   {mbCancel, "Отмена", mrCancel},
                   {mbAbort, "&Abort", mrAbort},
                   {mbRetry, "Повторить", mrRetry},
                   {mbIgnore, "&Игнорировать", mrIgnore},
                   {mbAll, "&All", mrAll},
                   {mbNoToAll, "Нет для всех", mrNoToAll},
                   {mbYesToAll, "Да для всех", mrYesToAll},
                   {mbHelp, "&Помощь", mrNone}};
    for (const auto& b : buttons) {
        EXPECT_EQ(MsgDlgButtonCaption(b.Button), QString::fromUtf8(b.Caption));
        EXPECT_EQ(MsgDlgButtonResult(b.Button), b.Result) << b.Caption;
    }
    EXPECT_EQ(mrOk, 1);
    EXPECT_EQ(mrCancel, 2);
    EXPECT_EQ(mrYes, 6);
}

TEST(DialogGatewayTest, ScriptedAnswersAreRecorded) {
    ScriptedAnswerer script(FailTest());
    script.ExpectMessage(mrYes, "выход")
        .ExpectMessage(mrOk, "Файл не сохранён")
        .ExpectError("Программа")
        .ExpectInput("Группа 1", "Имя")
        .ExpectInputCancelled()
        .ExpectOpenFile("/tmp/prog.exe", "Выбор")
        .ExpectOpenFile("");

    EXPECT_EQ(MessageDlgAtMouse("Подтвердите выход", mtConfirmation, {mbYes, mbNo}, 0), mrYes);
    EXPECT_EQ(ShowPlainMessage("Файл не сохранён! \n\rdisk full"), mrOk);
    ShowError("Программа 'x' не сохранена!", "ORA-00942");
    QString value = "old";
    EXPECT_TRUE(InputQuery("Группа", "Имя группы", value));
    EXPECT_EQ(value, "Группа 1");
    EXPECT_FALSE(InputQuery("Группа", "Имя группы", value));
    EXPECT_EQ(value, "Группа 1");
    EXPECT_EQ(OpenFileDialog(nullptr, "Выбор программы", "/tmp", "Programs (*.exe)"), "/tmp/prog.exe");
    EXPECT_EQ(OpenFileDialog(nullptr, "Выбор программы", "/tmp", ""), "");
    EXPECT_EQ(script.Pending(), 0);

    const QList<DialogRequest>& asked = script.Asked();
    ASSERT_EQ(asked.size(), 7);
    EXPECT_EQ(asked[0].Caption, "Подтверждение");
    EXPECT_EQ(asked[0].Type, mtConfirmation);
    EXPECT_EQ(asked[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
    EXPECT_EQ(asked[1].Caption, "Admin_KMR");
    EXPECT_EQ(asked[1].Type, mtCustom);
    EXPECT_EQ(asked[1].Buttons, TMsgDlgButtons{mbOK});
    EXPECT_EQ(asked[2].Kind, DialogKind::ErrorForm);
    EXPECT_EQ(asked[2].Caption, "Ошибка");
    EXPECT_EQ(asked[2].Details, "ORA-00942");
    EXPECT_EQ(asked[3].Value, "old");
    EXPECT_EQ(asked[5].Filter, "Programs (*.exe)");
}

TEST(DialogGatewayTest, TheScriptIsStrict) {
    Complaints complaints;
    {
        ScriptedAnswerer script(complaints.Handler());
        // Nothing expected: any question fails and is answered as cancelled.
        EXPECT_EQ(MessageDlgAtMouse("?", mtWarning, {mbOK, mbCancel}, 0), mrCancel);
        EXPECT_EQ(complaints.List.size(), 1);
        // The wrong kind of question, the wrong text, a button the box does not offer.
        script.ExpectError().ExpectMessage(mrOk, "alpha").ExpectMessage(mrYes);
        EXPECT_EQ(MessageDlgAtMouse("?", mtWarning, {mbOK}, 0), mrCancel);
        EXPECT_EQ(MessageDlgAtMouse("beta", mtWarning, {mbOK}, 0), mrCancel);
        MessageDlgAtMouse("gamma", mtWarning, {mbOK}, 0);
        EXPECT_EQ(complaints.List.size(), 4);
        // An answer never asked for is reported when the script ends.
        script.ExpectInput("x");
    }
    ASSERT_EQ(complaints.List.size(), 5);
    EXPECT_TRUE(complaints.List.last().contains("never asked")) << complaints.List.last().toStdString();
    EXPECT_EQ(DialogGateway::Instance().Answerer(), nullptr);
}

TEST(MessageFormTest, ShowsTheButtonsAskedForAndPlacesAtTheMouse) {
    TMessageForm form("Удалить?", mtConfirmation, {mbNo, mbYes, mbHelp});
    EXPECT_EQ(form.windowTitle(), "Подтверждение");
    EXPECT_EQ(form.Message()->text(), "Удалить?");
    EXPECT_EQ(TMessageForm("a\r\nb\n\rc", mtCustom, {mbOK}).Message()->text(), "a\nb\n\nc");
    ASSERT_NE(form.Button(mbYes), nullptr);
    EXPECT_EQ(form.Button(mbYes)->text(), "&Да");
    EXPECT_TRUE(form.Button(mbYes)->isDefault());
    EXPECT_EQ(form.Button(mbOK), nullptr);
    EXPECT_EQ(form.findChildren<QPushButton*>().size(), 3);

    // The real box through the gateway, on two monitors: 100 pixels above and left of the mouse.
    FixedDesktop desktop(TwoMonitors({1500, 600}));
    ScopedDesktop scoped(desktop);
    QPoint shownAt;
    WhenModalShown([&shownAt](QWidget* box) {
        shownAt = box->pos();
        box->findChild<QPushButton*>("Help")->click(); // does not close the box
        box->findChild<QPushButton*>("No")->click();
    });
    EXPECT_EQ(MessageDlgAtMouse("Удалить?", mtConfirmation, {mbYes, mbNo, mbHelp}, 0), mrNo);
    EXPECT_EQ(shownAt, QPoint(1400, 500));

    // Escape gives the cancel button's result.
    WhenModalShown([](QWidget* box) { static_cast<QDialog*>(box)->reject(); });
    EXPECT_EQ(MessageDlgAtMouse("?", mtWarning, {mbYes, mbNo}, 0), mrNo);
}

// A refusal that names a 2000-character sign-in, or a message of many lines, still fits the smallest
// monitor: wrapped, cut with an ellipsis, and the whole wording in the details.
TEST(MessageFormTest, ALongTextFitsTheScreenAndKeepsItsWholeWordingInTheDetails) {
    FixedDesktop desktop(DesktopInfo{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 800, 600)}, {100, 100}});
    ScopedDesktop scoped(desktop);
    QString lines;
    for (int i = 0; i < 200; ++i)
        lines += QStringLiteral("строка %1\r\n").arg(i);
    const QString refusal =
        "Пользователь \"" + QString(2000, u'x') +
        "\" не существует, Вы ввели неправильный пароль или Ваш доступ в систему запрещен!";
    for (const QString& text : {refusal, lines}) {
        TMessageForm box(text, mtError, {mbCancel});
        EXPECT_LE(box.width(), 800);
        EXPECT_LE(box.height(), 600);
        ASSERT_TRUE(box.TextCut());
        EXPECT_TRUE(box.Message()->text().endsWith(QChar(0x2026)))
            << box.Message()->text().right(20).toStdString();
        for (const QString& line : box.Message()->text().split(u'\n'))
            EXPECT_LE(box.Message()->fontMetrics().horizontalAdvance(line), 800);
        ASSERT_NE(box.DetailsButton(), nullptr);
        EXPECT_EQ(box.DetailsButton()->text(), "Дополнительно  >>");
        EXPECT_TRUE(box.Details()->isHidden());
        box.DetailsButton()->click();
        EXPECT_FALSE(box.Details()->isHidden());
        EXPECT_EQ(box.Details()->toPlainText(), QString(text).replace("\r\n", "\n"));
        EXPECT_LE(box.height(), 600);
        box.DetailsButton()->click();
        EXPECT_TRUE(box.Details()->isHidden());
    }
    // A text that fits is shown whole, without the toggle.
    TMessageForm shortBox("Удалить запись?", mtConfirmation, {mbOK, mbCancel});
    EXPECT_FALSE(shortBox.TextCut());
    EXPECT_EQ(shortBox.DetailsButton(), nullptr);
    EXPECT_EQ(shortBox.Message()->text(), "Удалить запись?");
    // A long word is broken where it has to be; the pieces keep every character.
    const TFittedText word = FitMessageText(QString(300, u'y'), shortBox.font(), 200, 100);
    EXPECT_FALSE(word.Cut);
    EXPECT_GT(word.Text.count(u'\n'), 1);
    EXPECT_EQ(QString(word.Text).remove(u'\n'), QString(300, u'y'));
}

// Enter presses the default button and Esc the cancel button, in every box the program shows.
TEST(MessageFormTest, EnterPressesTheDefaultButtonAndEscTheCancelButton) {
    const struct {
        TMsgDlgButtons Buttons;
        Qt::Key Key;
        int Result;
    } cases[] = {
        {{mbCancel}, Qt::Key_Return, mrCancel}, // the sign-in refusal
        {{mbCancel}, Qt::Key_Escape, mrCancel},
        {{mbYes, mbNo}, Qt::Key_Return, mrYes},
        {{mbYes, mbNo}, Qt::Key_Escape, mrNo},
        {{mbOK}, Qt::Key_Enter, mrOk},
        {{mbOK}, Qt::Key_Escape, mrOk},
        {{mbOK, mbCancel}, Qt::Key_Return, mrOk},
        {{mbOK, mbCancel}, Qt::Key_Escape, mrCancel},
    };
    for (const auto& c : cases) {
        WhenModalShown([key = c.Key](QWidget* box) {
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
            // A key the box ignored leaves it open: close it with a result no button has.
            if (box->isVisible())
                static_cast<QDialog*>(box)->done(-1);
        });
        EXPECT_EQ(MessageDlgAtMouse("?", mtWarning, c.Buttons, 0), c.Result) << int(c.Key);
    }
}

// Buttons and the box have room for their captions at the platform's font; the documented sizes stay
// the least they get.
TEST(MessageFormTest, ButtonsAndTheCaptionHaveRoomForTheirTexts) {
    TMessageForm box("Удалить запись?", mtConfirmation, {mbOK, mbCancel});
    QFont bold = box.font();
    bold.setBold(true);
    // The window manager draws the caption beside the window icon and its buttons.
    EXPECT_GE(box.width(), QFontMetrics(bold).horizontalAdvance("Подтверждение") + 100);
    box.show();
    for (QPushButton* button : box.findChildren<QPushButton*>()) {
        EXPECT_GE(button->width(), std::max(75, button->sizeHint().width())) << button->text().toStdString();
        EXPECT_GE(button->height(), 25);
    }
}

TEST(ErrorOraFormTest, FoldsAndUnfoldsTheDetails) {
    TErrorOraForm form("Ошибка выполнения", "SELECT * FROM KMR_USER", 1);
    EXPECT_EQ(form.windowTitle(), "Ошибка");
    // The documented sizes are the least the form gets; the toggle's caption is never cut.
    const int width = form.width();
    EXPECT_GE(width, 348);
    EXPECT_EQ(form.size(), QSize(width, 138));
    EXPECT_EQ(form.pnFirst->geometry(), QRect(0, 0, width, 97));
    EXPECT_EQ(form.btOk->pos(), QPoint(136, 8));
    EXPECT_GE(form.btOk->width(), 75);
    EXPECT_GE(form.btOk->height(), 25);
    EXPECT_EQ(form.btDop->pos(), QPoint(224, 8));
    EXPECT_GE(form.btDop->width(), std::max({115, QPushButton("Дополнительно  >>").sizeHint().width(),
                                             QPushButton("Дополнительно  <<").sizeHint().width()}));
    EXPECT_LE(form.btDop->geometry().right(), width - 9);
    EXPECT_EQ(form.btDop->text(), "Дополнительно  >>");
    EXPECT_FALSE(form.btDop->isHidden());
    EXPECT_EQ(form.DetailsPanel(), nullptr);

    form.btDop->click();
    ASSERT_NE(form.DetailsPanel(), nullptr);
    EXPECT_EQ(form.btDop->text(), "Дополнительно  <<");
    EXPECT_EQ(form.DetailsPanel()->geometry(), QRect(0, 139, width, 97));
    EXPECT_EQ(form.size(), QSize(width, 236));
    const auto* details = form.DetailsPanel()->findChild<QPlainTextEdit*>();
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->toPlainText(), "SELECT * FROM KMR_USER");
    EXPECT_TRUE(details->isReadOnly());
    EXPECT_EQ(details->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    form.btDop->click();
    EXPECT_EQ(form.DetailsPanel(), nullptr);
    EXPECT_EQ(form.btDop->text(), "Дополнительно  >>");
    EXPECT_EQ(form.size(), QSize(width, 138));
}

// A window manager may offer minimising and maximising whatever a window asks for; a box that allows
// neither comes back at once, so it can never vanish while the program waits for it.
TEST(TitleBarTest, DialogsOfferOnlyTheSystemMenuAndCloseAndRefuseOtherStates) {
    TMessageForm box("?", mtWarning, {mbOK});
    TErrorOraForm form("t", "d", 1);
    for (QDialog* dialog : {static_cast<QDialog*>(&box), static_cast<QDialog*>(&form)}) {
        const Qt::WindowFlags flags = dialog->windowFlags();
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
        EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        dialog->show();
        for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
            dialog->setWindowState(state);
            QTest::qWait(20);
            EXPECT_EQ(dialog->windowState() & ~Qt::WindowActive, Qt::WindowNoState)
                << dialog->objectName().toStdString();
            EXPECT_TRUE(dialog->isVisible());
        }
        dialog->hide();
    }
}

TEST(DialogNamesTest, EveryControlOfTheDialogsHasAnAccessibleName) {
    TMessageForm box("Удалить запись?", mtConfirmation, {mbOK, mbCancel});
    EXPECT_EQ(ControlsWithoutAccessibleName(&box), "");
    TErrorOraForm form("ORA-00942: table or view does not exist", "SELECT * FROM T", 1);
    form.btDop->click();
    EXPECT_EQ(ControlsWithoutAccessibleName(&form), "");
    EXPECT_EQ(AccessibleName(form.mmFirst), "Ошибка");
}

TEST(ErrorOraFormTest, KindsTextAndEmptyDetails) {
    const char* captions[] = {"Предупреждение", "Ошибка", "Информация", "Подтверждение", "Admin_KMR"};
    for (int kind = 0; kind <= 4; ++kind) {
        TErrorOraForm form("t", "", kind);
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(captions[kind]));
        EXPECT_EQ(TErrorOraForm::KindIcon(kind).has_value(), kind != 4);
        // No details: no toggle, only "OK".
        EXPECT_TRUE(form.btDop->isHidden());
    }
    EXPECT_EQ(TErrorOraForm::KindIcon(0), QStyle::SP_MessageBoxWarning);
    EXPECT_EQ(TErrorOraForm::KindIcon(1), QStyle::SP_MessageBoxCritical);
    EXPECT_EQ(TErrorOraForm::KindIcon(2), QStyle::SP_MessageBoxInformation);
    EXPECT_EQ(TErrorOraForm::KindIcon(3), QStyle::SP_MessageBoxQuestion);

    QString many;
    for (int i = 0; i < 40; ++i)
        many += QStringLiteral("строка %1\r\n").arg(i);
    TErrorOraForm form(many + "\n\rпоследняя", "", 1);
    EXPECT_TRUE(form.mmFirst->toPlainText().startsWith("строка 0\nстрока 1\n"));
    EXPECT_TRUE(form.mmFirst->toPlainText().endsWith("строка 39\n\n\nпоследняя"));
    EXPECT_EQ(form.mmFirst->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(form.mmFirst->isReadOnly());
    EXPECT_EQ(form.height(), 138);
}

TEST(ErrorOraFormTest, RealDialogOpensUnderTheMouseAndClosesWithOk) {
    FixedDesktop desktop(TwoMonitors({2500, 1000}));
    ScopedDesktop scoped(desktop);
    QRect shownAt;
    QString caption;
    WhenModalShown([&](QWidget* dialog) {
        shownAt = dialog->frameGeometry();
        caption = dialog->windowTitle();
        auto* form = qobject_cast<TErrorOraForm*>(dialog);
        ASSERT_NE(form, nullptr);
        form->btDop->click();
        form->btOk->click();
    });
    ShowError("Вам запрещена работа с сервером. Сеанс прекращен.",
              "Обратитесь к администратору ОИК за допуском к работе.");
    EXPECT_EQ(caption, "Ошибка");
    // Centred on the mouse, then pulled inside the desktop (2560 x 1024).
    EXPECT_EQ(shownAt.right() + 1, 2560);
    EXPECT_EQ(shownAt.bottom() + 1, 1024);
    // The outer bounds count, frame included.
    EXPECT_GE(shownAt.height(), 138);
    EXPECT_LT(shownAt.left(), 2500 - 174);
}

TEST(FormPlacementTest, AppliesTheRulesToAWindowsOuterBounds) {
    QWidget form;
    form.setGeometry(100, 100, 3000, 200);
    {
        FixedDesktop one(DesktopInfo{{QRect(0, 0, 1280, 1024)}, {2000, 900}});
        ScopedDesktop scoped(one);
        MoveToMouseMonitor(&form);
        UseDesktopMonitor(&form);
        EXPECT_EQ(form.geometry(), QRect(100, 100, 3000, 200));
        FitToDesktop(&form);
        EXPECT_EQ(form.geometry(), QRect(0, 100, 1280, 200));
    }
    FixedDesktop two(TwoMonitors({2000, 900}));
    ScopedDesktop scoped(two);
    form.setGeometry(490, 412, 300, 200);
    MoveToMouseMonitor(&form);
    EXPECT_EQ(form.geometry(), QRect(1850, 800, 300, 200));
    // Centred over the whole desktop of 2560 x 1024.
    UseDesktopMonitor(&form);
    EXPECT_EQ(form.geometry().center(), QRect(0, 0, 2560, 1024).center());
}
