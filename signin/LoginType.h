// The sign-in dialog family: the base dialog TLoginForm, TLoginWithQuery that checks against the
// user table, and TNoteLogin that also loads the signed-in user's profile.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class TOracleQuery;

// The shift-change time of the run (a day number); only the dialog's caption reads it here.
extern double ShiftChangeTime;

class TLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TLoginForm(QWidget* owner = nullptr);

    // Signing in from the first command-line parameter is allowed.
    bool ParamLogin = true;
    // The program's command-line parameters (without the program itself); DefaultParameters() at creation.
    QStringList Parameters;
    // The application's parameters, unless a test has put others in their place.
    static QStringList DefaultParameters();
    static void SetDefaultParameters(const QStringList& parameters);

    // 1 when the user was accepted, 2 when the dialog was left with the cancel button. A command-line
    // sign-in that is accepted returns without showing the dialog.
    virtual int ShowModal();
    // 1 when the user is accepted, 0 when the dialog must stay open.
    virtual int CheckLogin(const QString& Name, const QString& Password) = 0;

    // What the dialog ends with when it closes; 0 keeps it open.
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }

    QGroupBox* GroupBox;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QStatusBar* StatusBar1;

    void FormCreate();
    void FormActivate();
    void OKBtnClick();
    // Runs when the cancel button is pressed; none in the base dialog.
    std::function<void()> CancelBtnClick;

    // Esc and the window's close request act as the cancel button.
    void reject() override;

protected:
    bool event(QEvent* e) override;
    // ShiftChangeTime from the time given (a day number) and, with "SHOWTIME", the caption.
    void UpdateShiftTime(double now);
    // While a check runs, re-activation after its message boxes must not clear the password.
    bool FChecking = false;
    // A check that failed on the server (not a refusal) keeps the password for the next attempt,
    // also through the activation a window system delivers once the error box has closed.
    bool FKeepPassword = false;

private:
    void OKBtnPressed();
    void CancelBtnPressed();
    int FModalResult = 0;
};

class TLoginWithQuery : public TLoginForm {
    Q_OBJECT
public:
    explicit TLoginWithQuery(QWidget* owner = nullptr);

    int CheckLogin(const QString& Name, const QString& Password) override;
    // Reads what the program needs of the accepted row; the result is CheckLogin's on acceptance.
    virtual int ReadUserInfo(TOracleQuery& Query) = 0;
};

class TNoteLogin : public TLoginWithQuery {
    Q_OBJECT
public:
    explicit TNoteLogin(QWidget* owner = nullptr);

    // Loads UserProfile and the group's rights; always 1.
    int ReadUserInfo(TOracleQuery& Query) override;
    // Confirms the cancel: "&Да" ends the program, "&Нет" keeps the dialog open.
    void DoCancelBtnClick();
};
