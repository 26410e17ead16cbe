// The sign-in against demo servers: the credential check with its refusals, the command line, the
// record of the workstation, the profile and rights, and the dialog's own behaviour.
#include "../support/FixedHost.h"
#include "../support/NamedServers.h"
#include "../support/QtTestApplication.h"
#include "ErrorOra.h"
#include "Login.h"
#include "LoginRules.h"
#include "LoginType.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ScriptedAnswerer.h"
#include "Settings.h"
#include "Termination.h"
#include "WindowStore.h"

#include <QApplication>
#include <QDate>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] ::testing::Environment* const App = RegisterQtTestApplication("signin_test", "Admin_KMR");

const QString Main = QString::fromLatin1(TServerPair::MainServer);
const QString Reserve = QString::fromLatin1(TServerPair::ReserveServer);
const QString Refusal = QStringLiteral("не существует");

class SignIn : public ::testing::Test {
protected:
    // Starts the servers and the database module as seen from a workstation with that address
    // (empty: the name does not resolve).
    void Start(const QString& address, bool twoServers = false) {
        FServers = std::make_unique<TNamedServers>(twoServers);
        ResetTerminationRequest();
        UserProfile.Clear();
        TempFileName.clear();
        TDbModuleEnvironment env;
        env.Host = std::make_shared<TFixedHost>(address);
        env.ShowError = [](const QString& text, const QString& details) { ShowError(text, details); };
        env.RequestTermination = [] { RequestTermination(); };
        new TFOracleBase(nullptr, env);
    }
    void TearDown() override {
        delete FOracleBase;
        FServers.reset();
        TLoginForm::SetDefaultParameters({});
    }

    // A dialog that never uses the command line unless a test gives it one.
    std::unique_ptr<TNoteLogin> Dialog(const QStringList& parameters = {}) {
        TLoginForm::SetDefaultParameters(parameters);
        return std::make_unique<TNoteLogin>(nullptr);
    }

    ScriptedAnswerer Answerer{[](const QString& m) { ADD_FAILURE() << m.toStdString(); }};
    std::unique_ptr<TNamedServers> FServers;
};

TEST_F(SignIn, CommandLineAcceptedRecordsTheWorkstationOnTheMainServerOnly) {
    Start(QStringLiteral("10.20.1.1"), true);
    auto login = Dialog({QStringLiteral("admin/kmr2026@SERVER_OIK")});
    EXPECT_EQ(login->ShowModal(), 1);
    EXPECT_FALSE(login->isVisible());

    EXPECT_EQ(UserProfile.TabNum, 1);
    EXPECT_EQ(UserProfile.NAME, QStringLiteral("admin"));
    EXPECT_EQ(UserProfile.ALLNAME, QStringLiteral("Соколов Андрей Викторович"));
    EXPECT_EQ(UserProfile.GROUPID, QStringLiteral("1"));
    EXPECT_TRUE(AdminRight());
    EXPECT_EQ(FOracleBase->UserTabNum.load(), 1);
    EXPECT_EQ(FOracleBase->UserFullName(), UserProfile.ALLNAME);

    EXPECT_EQ(FServers->Scalar(Main, QStringLiteral("SELECT IP FROM USER_PSW WHERE TABNUM = 1")).toString(),
              QStringLiteral("10.20.1.1"));
    EXPECT_NE(
        FServers->Scalar(Reserve, QStringLiteral("SELECT IP FROM USER_PSW WHERE TABNUM = 1")).toString(),
        QStringLiteral("10.20.1.1"));
    // A command-line sign-in remembers no name.
    EXPECT_EQ(ReadLoginName(), QString());

    // The server session carries the title, the workstation and the administrator's number.
    const QStringList sessions = FServers->Rows(
        Main, QStringLiteral("SELECT MODULE, ACTION, CLIENT_INFO FROM V$SESSION WHERE CLIENT_INFO = '1'"));
    EXPECT_TRUE(sessions.contains(QStringLiteral("Admin_KMR|10.20.1.1|1")))
        << sessions.join(u'\n').toStdString();
}

TEST_F(SignIn, TypedTextNeverBecomesSql) {
    Start(QStringLiteral("10.20.1.1"));
    auto login = Dialog();
    for (const char* text : {"' OR '1'='1", "admin' --", "admin') OR ((NAME IS NOT NULL"}) {
        Answerer.ExpectMessage(mrCancel, Refusal);
        EXPECT_EQ(login->CheckLogin(QString::fromUtf8(text), QString::fromUtf8(text)), 0) << text;
        Answerer.ExpectMessage(mrCancel, Refusal);
        EXPECT_EQ(login->CheckLogin(QStringLiteral("admin"), QString::fromUtf8(text)), 0) << text;
    }
    EXPECT_EQ(FOracleBase->UserTabNum.load(), 0);
    // A name with an apostrophe is an ordinary name.
    FServers->Exec(
        Main, QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, PWD, WENABLED) VALUES (900, 'o''brien', "
                             "'it''s', 'T')"));
    EXPECT_EQ(login->CheckLogin(QStringLiteral("o'brien"), QStringLiteral("it's")), 1);
    EXPECT_EQ(UserProfile.TabNum, 900);
}

TEST_F(SignIn, NameAndPasswordMatchOnlyInTheirOwnCase) {
    Start(QStringLiteral("10.20.1.1"));
    FServers->Exec(Main, QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, PWD, WENABLED) VALUES (903, "
                                        "'Дежурный', 'Смена-Ночь', 'T')"));
    const QString storedIp = QStringLiteral("SELECT IP FROM USER_PSW WHERE TABNUM = 1");
    const QVariant ipBefore = FServers->Scalar(Main, storedIp);
    auto login = Dialog();
    struct Attempt {
        const char* Name;
        const char* Password;
    };
    // The right password in another case, and the right name in another case, Latin and Cyrillic.
    for (const Attempt& wrong :
         {Attempt{"admin", "KMR2026"}, Attempt{"admin", "Kmr2026"}, Attempt{"ADMIN", "kmr2026"},
          Attempt{"Admin", "kmr2026"}, Attempt{"Дежурный", "смена-ночь"}, Attempt{"Дежурный", "СМЕНА-НОЧЬ"},
          Attempt{"ДЕЖУРНЫЙ", "Смена-Ночь"}}) {
        Answerer.ExpectMessage(mrCancel, Refusal);
        EXPECT_EQ(login->CheckLogin(QString::fromUtf8(wrong.Name), QString::fromUtf8(wrong.Password)), 0)
            << wrong.Name << " / " << wrong.Password;
        EXPECT_EQ(Answerer.Pending(), 0) << wrong.Name << " / " << wrong.Password;
    }
    EXPECT_EQ(FOracleBase->UserTabNum.load(), 0);
    EXPECT_FALSE(AdminRight());
    // Nothing refused reaches the user's row.
    EXPECT_EQ(FServers->Scalar(Main, storedIp), ipBefore);

    EXPECT_EQ(login->CheckLogin(QStringLiteral("Дежурный"), QStringLiteral("Смена-Ночь")), 1);
    EXPECT_EQ(UserProfile.TabNum, 903);
    EXPECT_EQ(login->CheckLogin(QStringLiteral("admin"), QStringLiteral("kmr2026")), 1);
    EXPECT_EQ(UserProfile.TabNum, 1);
    // The address goes into the accepted users' rows and no other.
    EXPECT_EQ(FServers->Rows(Main, QStringLiteral("SELECT TABNUM FROM USER_PSW WHERE IP = '10.20.1.1' "
                                                  "ORDER BY TABNUM")),
              (QStringList{QStringLiteral("1"), QStringLiteral("903")}));
}

TEST_F(SignIn, ViewModeStillRecordsTheWorkstationOnTheMainServer) {
    Start(QStringLiteral("10.20.7.99"), true);
    FServers->Exec(Main, QStringLiteral("UPDATE SRV SET RO = 2"));
    FOracleBase->RefreshServers();
    ASSERT_FALSE(CanWrite.load());
    auto login = Dialog();
    EXPECT_EQ(login->CheckLogin(QStringLiteral("ilin"), QStringLiteral("br02")), 1);
    const QString ip = QStringLiteral("SELECT IP FROM USER_PSW WHERE NAME = 'ilin'");
    EXPECT_EQ(FServers->Scalar(Main, ip).toString(), QStringLiteral("10.20.7.99"));
    EXPECT_EQ(FServers->Scalar(Reserve, ip).toString(), QStringLiteral("10.20.7.51"));
    EXPECT_FALSE(FOracleBase->ADatabase->InTransaction());
}

TEST_F(SignIn, EmptyValuesMatchOnlyNullColumns) {
    Start(QStringLiteral("10.20.1.1"));
    FServers->Exec(
        Main,
        QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, PWD, WENABLED) VALUES (901, NULL, 'x', 'T')"));
    auto login = Dialog();
    // yakovlev has no password: an empty password field signs him in.
    EXPECT_EQ(login->CheckLogin(QStringLiteral("yakovlev"), QString()), 1);
    EXPECT_EQ(UserProfile.NAME, QStringLiteral("yakovlev"));
    Answerer.ExpectMessage(mrCancel, Refusal);
    EXPECT_EQ(login->CheckLogin(QStringLiteral("admin"), QString()), 0);
    // An empty name finds the row without a name.
    EXPECT_EQ(login->CheckLogin(QString(), QStringLiteral("x")), 1);
    EXPECT_EQ(UserProfile.TabNum, 901);
    Answerer.ExpectMessage(mrCancel, Refusal);
    EXPECT_EQ(login->CheckLogin(QString(), QStringLiteral("y")), 0);
}

TEST_F(SignIn, AddressMustOccurInTheListAsAWholeAddress) {
    Start(QStringLiteral("10.20.1.1"));
    auto login = Dialog();
    // kuznetsova's list "10.20.1.11; 10.20.1.12" holds 10.20.1.1 only as part of a longer address.
    Answerer.ExpectMessage(mrCancel, QStringLiteral("\"kuznetsova\""));
    EXPECT_EQ(login->CheckLogin(QStringLiteral("kuznetsova"), QStringLiteral("ep1979")), 0);
    FServers->Exec(
        Main,
        QStringLiteral("UPDATE USER_PSW SET IPADR = '10.20.1.11, 10.20.1.1' WHERE NAME = 'kuznetsova'"));
    EXPECT_EQ(login->CheckLogin(QStringLiteral("kuznetsova"), QStringLiteral("ep1979")), 1);
    // A user without a list signs in anywhere.
    EXPECT_EQ(login->CheckLogin(QStringLiteral("admin"), QStringLiteral("kmr2026")), 1);
}

TEST_F(SignIn, AddressListAdmitsItsOwnAddresses) {
    Start(QStringLiteral("10.20.1.12"));
    auto login = Dialog();
    EXPECT_EQ(login->CheckLogin(QStringLiteral("kuznetsova"), QStringLiteral("ep1979")), 1);
    EXPECT_EQ(FServers->Scalar(Main, QStringLiteral("SELECT IP FROM USER_PSW WHERE NAME = 'kuznetsova'"))
                  .toString(),
              QStringLiteral("10.20.1.12"));
}

TEST_F(SignIn, UnknownWorkstationUsesTheWordForUnknown) {
    Start(QString());
    FServers->Exec(Main, QStringLiteral("UPDATE USER_PSW SET IPADR = 'Неизвестный' WHERE NAME = 'soloviev'"));
    auto login = Dialog();
    EXPECT_EQ(login->CheckLogin(QStringLiteral("soloviev"), QStringLiteral("adm02")), 1);
    EXPECT_EQ(
        FServers->Scalar(Main, QStringLiteral("SELECT IP FROM USER_PSW WHERE NAME = 'soloviev'")).toString(),
        QStringLiteral("Неизвестный"));
    Answerer.ExpectMessage(mrCancel, QStringLiteral("\"kuznetsova\""));
    EXPECT_EQ(login->CheckLogin(QStringLiteral("kuznetsova"), QStringLiteral("ep1979")), 0);
}

TEST_F(SignIn, BarredUserGetsTheWrongPasswordMessage) {
    Start(QStringLiteral("10.20.5.43"));
    auto login = Dialog();
    Answerer.ExpectMessage(mrCancel, RefusalMessage(QStringLiteral("lebedev")));
    EXPECT_EQ(login->CheckLogin(QStringLiteral("lebedev"), QStringLiteral("dsp09")), 0);
    Answerer.ExpectMessage(mrCancel, QStringLiteral("\"andreeva\""));
    EXPECT_EQ(login->CheckLogin(QStringLiteral("andreeva"), QStringLiteral("rza04")), 0);
}

TEST_F(SignIn, RefusalEmptiesThePasswordAndStoresTheTypedName) {
    Start(QStringLiteral("10.20.1.1"));
    auto login = Dialog();
    login->Edit1->setText(QStringLiteral("admin"));
    login->Edit2->setText(QStringLiteral("wrong"));
    Answerer.ExpectMessage(mrCancel, Refusal);
    login->OKBtnClick();
    EXPECT_EQ(login->ModalResult(), 0);
    EXPECT_EQ(login->Edit2->text(), QString());
    EXPECT_EQ(ReadLoginName(), QStringLiteral("admin"));
}

TEST_F(SignIn, ServerFailureShowsTheErrorAndKeepsThePassword) {
    Start(QStringLiteral("10.20.1.1"));
    auto login = Dialog();
    FOracleBase->ADatabase->LogOff();
    QFile down(FServers->DbFile(Main) + QStringLiteral(".down"));
    ASSERT_TRUE(down.open(QIODevice::WriteOnly));
    down.close();
    login->Edit1->setText(QStringLiteral("admin"));
    login->Edit2->setText(QStringLiteral("kmr2026"));
    Answerer.ExpectError(QStringLiteral("ORA-"));
    login->OKBtnClick();
    EXPECT_EQ(login->ModalResult(), 0);
    EXPECT_EQ(login->Edit2->text(), QStringLiteral("kmr2026"));
    EXPECT_EQ(FOracleBase->UserTabNum.load(), 0);
    // A real window system activates the dialog again only after the error box has closed.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(login.get(), &activate);
    EXPECT_EQ(login->Edit2->text(), QStringLiteral("kmr2026"));
    QFile::remove(down.fileName());
    // The next attempt that is refused empties it as usual.
    login->Edit2->setText(QStringLiteral("wrong"));
    Answerer.ExpectMessage(mrCancel, Refusal);
    login->OKBtnClick();
    QApplication::sendEvent(login.get(), &activate);
    EXPECT_EQ(login->Edit2->text(), QString());
}

TEST_F(SignIn, RefusedCommandLineOpensTheDialogWithTheNameAndCancelEndsTheProgram) {
    Start(QStringLiteral("10.20.1.1"));
    auto login = Dialog({QStringLiteral("admin/wrong")});
    Answerer.ExpectMessage(mrCancel, Refusal);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        seen = login->isVisible();
        EXPECT_EQ(login->windowTitle(), QStringLiteral("Регистрация"));
        EXPECT_EQ(login->Edit1->text(), QStringLiteral("admin"));
        EXPECT_EQ(login->Edit2->text(), QString());
        // "&Нет" keeps the dialog open, "&Да" ends the program.
        Answerer.ExpectMessage(mrNo, QStringLiteral("ОТМЕНА"));
        login->CancelBtn->click();
        EXPECT_TRUE(login->isVisible());
        EXPECT_FALSE(TerminationRequested());
        Answerer.ExpectMessage(mrYes, QStringLiteral("выйти из программы"));
        login->CancelBtn->click();
    });
    EXPECT_EQ(login->ShowModal(), 2);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(TerminationRequested());
    EXPECT_FALSE(AdminRight());
    ResetTerminationRequest();
    // Drop the posted quit so that it cannot end a later test's loop.
    QCoreApplication::removePostedEvents(qApp);
}

TEST_F(SignIn, DialogAcceptsAfterARefusal) {
    Start(QStringLiteral("10.20.1.1"));
    auto login = Dialog();
    QTimer::singleShot(0, [&] {
        login->Edit1->setText(QStringLiteral("admin"));
        login->Edit2->setText(QStringLiteral("nope"));
        Answerer.ExpectMessage(mrCancel, Refusal);
        login->OKBtn->click();
        EXPECT_TRUE(login->isVisible());
        login->Edit2->setText(QStringLiteral("kmr2026"));
        login->OKBtn->click();
    });
    EXPECT_EQ(login->ShowModal(), 1);
    EXPECT_TRUE(AdminRight());
    EXPECT_EQ(ReadLoginName(), QStringLiteral("admin"));
}

TEST_F(SignIn, ShiftTimeInTheCaptionIsFarAheadWithoutTheShiftPassword) {
    Start(QStringLiteral("10.20.1.1"));
    WriteLoginShowTime(true);
    auto login = Dialog();
    login->Edit1->setText(QStringLiteral("admin"));
    login->Edit2->setText(QStringLiteral("kmr2026"));
    login->OKBtnClick();
    EXPECT_EQ(login->ModalResult(), 1);
    const int year = QDate::currentDate().addDays(10000).year();
    EXPECT_TRUE(login->windowTitle().contains(QString::number(year)) ||
                login->windowTitle().contains(QString::number(year).right(2)))
        << login->windowTitle().toStdString();
}

TEST_F(SignIn, ProfileFlagsAndRightsOfTheGroup) {
    Start(QStringLiteral("10.20.1.1"));
    FServers->Exec(
        Main, {QStringLiteral("INSERT INTO USER_GROUP VALUES (7, 77)"),
               QStringLiteral("INSERT INTO USER_G_P VALUES (7, NULL)"),
               QStringLiteral("INSERT INTO USER_G_P VALUES (7, 14)"),
               QStringLiteral("INSERT INTO USER_G_P VALUES (7, 14)"),
               QStringLiteral("INSERT INTO USER_G_P VALUES (7, 27)"),
               QStringLiteral("INSERT INTO USER_G_P VALUES (7, 42)"),
               QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, PWD, ALLNAME, GROUPID, WENABLED, Shema, "
                              "BMMessage, BMRegl, BMSound) VALUES (902, 'g7', 'p', 'Group Seven', 7, 'T', 3, "
                              "'t', 'T', 'Y')")});
    auto login = Dialog();
    EXPECT_EQ(login->CheckLogin(QStringLiteral("g7"), QStringLiteral("p")), 1);
    EXPECT_EQ(UserProfile.Shema, 3);
    EXPECT_FALSE(UserProfile.BMMessage);
    EXPECT_TRUE(UserProfile.BMRegl);
    EXPECT_FALSE(UserProfile.BMSound);
    EXPECT_TRUE(UserProfile.Rights[0]); // a NULL property counts as 0
    EXPECT_TRUE(AdminRight());
    EXPECT_FALSE(UserProfile.Rights[27]);
    EXPECT_EQ(UserProfile.ACTIONID, 77);

    // morozov's group holds 14 and 24: narrowed, the administration right kept, no action code read.
    EXPECT_EQ(login->CheckLogin(QStringLiteral("morozov"), QStringLiteral("zam2004")), 1);
    EXPECT_TRUE(AdminRight());
    EXPECT_TRUE(UserProfile.Rights[12]);
    EXPECT_TRUE(UserProfile.Rights[13]);
    EXPECT_EQ(UserProfile.ACTIONID, 77); // left as it was
    // romanov has no sign-in group: accepted without rights.
    EXPECT_EQ(login->CheckLogin(QStringLiteral("romanov"), QString()), 1);
    EXPECT_FALSE(AdminRight());
}

} // namespace
