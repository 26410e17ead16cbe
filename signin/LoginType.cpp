#include "LoginType.h"

#include "Desktop.h"
#include "DialogGateway.h"
#include "ErrorOra.h"
#include "Login.h"
#include "LoginCheck.h"
#include "LoginRules.h"
#include "MessageForm.h"
#include "OracleBase.h"
#include "OracleTypes.h"
#include "Settings.h"
#include "StatusPanel.h"
#include "Termination.h"
#include "TitleBar.h"
#include "WindowStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <optional>

double ShiftChangeTime = 0;

namespace {

std::optional<QStringList> GDefaultParameters;

double Now() {
    return DayNumberFromDateTime(QDateTime::currentDateTime());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TLoginForm

TLoginForm::TLoginForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    if (!ShowSmenaPassword)
        ShiftChangeTime = ShiftTimeFarAhead(Now());

    setObjectName(QStringLiteral("LoginForm"));
    setWindowTitle(QStringLiteral("Регистрация"));
    setModal(true);

    GroupBox = new QGroupBox(this);
    GroupBox->setObjectName(QStringLiteral("GroupBox"));
    Label1 = new QLabel(QStringLiteral("Имя пользователя"), GroupBox);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Edit1 = new QLineEdit(GroupBox);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label2 = new QLabel(QStringLiteral("Пароль"), GroupBox);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Edit2 = new QLineEdit(GroupBox);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setEchoMode(QLineEdit::Password);
    Edit2->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);

    auto* grid = new QGridLayout(GroupBox);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit2, 1, 1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &TLoginForm::OKBtnPressed);
    connect(CancelBtn, &QPushButton::clicked, this, &TLoginForm::CancelBtnPressed);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(6, 6, 6, 0);
    main->setSpacing(4);
    main->addWidget(GroupBox);
    main->addLayout(buttons);
    main->addWidget(StatusBar1);

    FormCreate();
    // No caption-bar buttons; 280 x 127 at least, more where the texts need it.
    AllowTitleBarButtons(this, TTitleBarButtons::None);
    FixDialogSize(this, QSize(280, 127));

    ParamLogin = true;
    if (ShiftChangeTime == 0)
        ShiftChangeTime = Now();
    Parameters = DefaultParameters();
}

QStringList TLoginForm::DefaultParameters() {
    return GDefaultParameters ? *GDefaultParameters : QCoreApplication::arguments().mid(1);
}

void TLoginForm::SetDefaultParameters(const QStringList& parameters) {
    GDefaultParameters = parameters;
}

void TLoginForm::FormCreate() {
    UseDesktopMonitor(this);
    // The status panel is the one ShowStatus adds on first use.
    ShowStatus(StatusBar1);
}

int TLoginForm::ShowModal() {
    int result = 0;
    if (!Parameters.isEmpty() && ParamLogin) {
        const TCommandLineLogin login = ParseCommandLineLogin(Parameters.first());
        Edit1->setText(login.Name);
        result = CheckLogin(Edit1->text(), login.Password);
    } else {
        Edit1->setText(ReadLoginName());
    }
    if (result != 0)
        return result;
    FModalResult = 0;
    return exec();
}

void TLoginForm::FormActivate() {
    MoveToMouseMonitor(this);
    FitToDesktop(this);
    if (!FKeepPassword)
        Edit2->clear();
    if (isVisible() && isEnabled()) {
        if (Edit1->text().isEmpty())
            Edit1->setFocus();
        else
            Edit2->setFocus();
    }
}

bool TLoginForm::event(QEvent* e) {
    const bool handled = QDialog::event(e);
    if (e->type() == QEvent::WindowActivate && !FChecking)
        FormActivate();
    return handled;
}

void TLoginForm::OKBtnClick() {
    FKeepPassword = false;
    FChecking = true;
    FModalResult = CheckLogin(Edit1->text(), Edit2->text());
    FChecking = false;
    UpdateShiftTime(Now());
    try {
        WriteLoginName(Edit1->text());
    } catch (...) {
        // A Temp.tmp that cannot be written only loses the remembered name.
    }
}

void TLoginForm::UpdateShiftTime(double now) {
    ShiftChangeTime = ShowSmenaPassword ? ShiftTimeAfter(now) : ShiftTimeFarAhead(now);
    if (ReadLoginShowTime()) {
        const QDateTime t = DateTimeFromDayNumber(ShiftChangeTime);
        const QLocale locale = QLocale::system();
        setWindowTitle(locale.toString(t.date(), QLocale::ShortFormat) + u' ' +
                       locale.toString(t.time(), QLocale::LongFormat));
    }
}

void TLoginForm::OKBtnPressed() {
    FModalResult = mrOk;
    OKBtnClick();
    if (FModalResult != mrNone)
        done(FModalResult);
}

void TLoginForm::CancelBtnPressed() {
    FModalResult = mrCancel;
    if (CancelBtnClick)
        CancelBtnClick();
    if (FModalResult != mrNone)
        done(FModalResult);
}

void TLoginForm::reject() {
    CancelBtnPressed();
}

// ---------------------------------------------------------------------------------------------
// TLoginWithQuery

TLoginWithQuery::TLoginWithQuery(QWidget* owner) : TLoginForm(owner) {}

int TLoginWithQuery::CheckLogin(const QString& Name, const QString& Password) {
    const TLoginCheck::TResult r =
        TLoginCheck::Check(Name, Password, [this](TOracleQuery& query) { return ReadUserInfo(query); });
    switch (r.Outcome) {
    case TLoginCheck::Accepted:
        return r.ModalResult;
    case TLoginCheck::Refused: {
        const bool wasChecking = FChecking;
        FChecking = true;
        MessageDlgAtMouse(RefusalMessage(Name), mtError, {mbCancel}, 0);
        FChecking = wasChecking;
        FormActivate();
        return 0;
    }
    case TLoginCheck::Failed:
        // The password stays: the user may only have to wait for the server.
        FKeepPassword = true;
        ShowError(r.Message, r.Details);
        return 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// TNoteLogin

TNoteLogin::TNoteLogin(QWidget* owner) : TLoginWithQuery(owner) {
    CancelBtnClick = [this] { DoCancelBtnClick(); };
}

int TNoteLogin::ReadUserInfo(TOracleQuery& Query) {
    const int result = LoadUserProfile(Query, UserProfile);
    // The status bar of the module names the signed-in user.
    FOracleBase->SetUserFullName(UserProfile.ALLNAME);
    return result;
}

void TNoteLogin::DoCancelBtnClick() {
    FChecking = true;
    const int answer = MessageDlgAtMouse(CancelQuestion(), mtConfirmation, {mbYes, mbNo}, 0);
    FChecking = false;
    if (answer == mrYes) {
        RequestTermination();
        SetModalResult(mrCancel);
    } else {
        SetModalResult(mrNone);
    }
}
