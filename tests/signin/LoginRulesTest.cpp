// The sign-in rules that need no server: command-line sign-in, the whole-address test, the
// shift time, the credential statement, and the rights of a group.
#include "LoginRules.h"
#include "Login.h"

#include <gtest/gtest.h>

TEST(CommandLineLogin, SplitsNamePasswordAndIgnoresTheRest) {
    struct Case {
        const char* parameter;
        const char* name;
        const char* password;
    } cases[] = {
        {"admin/kmr2026", "admin", "kmr2026"},
        {"admin", "admin", ""},                           // no slash: all of it is the name
        {"admin/kmr2026@SERVER_OIK", "admin", "kmr2026"}, // an at sign ends the password
        {"admin/kmr2026/anything", "admin", "kmr2026"},   // so does a second slash
        {"admin/", "admin", ""},
        {"/secret", "", "secret"},
        {"admin/@db", "admin", ""},
    };
    for (const Case& c : cases) {
        const TCommandLineLogin login = ParseCommandLineLogin(QString::fromUtf8(c.parameter));
        EXPECT_EQ(login.Name, QString::fromUtf8(c.name)) << c.parameter;
        EXPECT_EQ(login.Password, QString::fromUtf8(c.password)) << c.parameter;
    }
}

TEST(AddressList, AdmitsOnlyWholeAddresses) {
    struct Case {
        const char* list;
        const char* address;
        bool admitted;
    } cases[] = {
        {"10.0.0.1", "10.0.0.1", true},
        {"10.0.0.15", "10.0.0.1", false}, // a longer address that starts with it
        {"110.0.0.1", "10.0.0.1", false}, // one that ends with it
        {"10.0.0.15 10.0.0.1", "10.0.0.1", true},
        {"10.0.0.15;10.0.0.1;", "10.0.0.1", true},
        {"10.0.0.2,10.0.0.1,10.0.0.3", "10.0.0.1", true},
        {"[10.0.0.1]", "10.0.0.1", true},
        {"ip 10.0.0.1.", "10.0.0.1", true}, // a full stop after the last address
        {"10.0.0.1.5", "10.0.0.1", false},
        {"1.10.0.0.1", "10.0.0.1", false},
        {"10.20.1.11, 10.20.1.12", "10.20.1.1", false},
        {"Неизвестный", "Неизвестный", true},
        {"10.0.0.1", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AddressListAdmits(QString::fromUtf8(c.list), QString::fromUtf8(c.address)), c.admitted)
            << c.list << " / " << c.address;
}

TEST(ShiftTime, NearestMidnightOrNoonPlusEightHours) {
    const double eight = 1.0 / 3.0;
    EXPECT_DOUBLE_EQ(ShiftTimeAfter(100.1), 100.0 + eight);
    EXPECT_DOUBLE_EQ(ShiftTimeAfter(100.3), 100.5 + eight);
    EXPECT_DOUBLE_EQ(ShiftTimeAfter(100.8), 101.0 + eight);
    // Exactly between two halves: to the even multiple of a half.
    EXPECT_DOUBLE_EQ(ShiftTimeAfter(100.25), 100.0 + eight);
    EXPECT_DOUBLE_EQ(ShiftTimeAfter(100.75), 101.0 + eight);
    EXPECT_DOUBLE_EQ(ShiftTimeFarAhead(46000.5), 56000.5);
}

TEST(CredentialStatement, BindsTheTypedValuesAndKeepsTheNullRules) {
    const QString full = CredentialStatement(false, false).join(u'\n');
    EXPECT_TRUE(full.contains(QStringLiteral("NAME = :NAME")));
    EXPECT_TRUE(full.contains(QStringLiteral("PWD = :PWD")));
    EXPECT_TRUE(full.contains(QStringLiteral("IPADR LIKE :IPADR_LIKE")));
    EXPECT_TRUE(full.contains(QStringLiteral("(WENABLED='T')")));
    EXPECT_FALSE(full.contains(QStringLiteral("= '"))) << full.toStdString();
    EXPECT_FALSE(full.contains(QStringLiteral("NAME IS NULL")));
    EXPECT_FALSE(full.contains(QStringLiteral("PWD IS NULL")));
    const QString empty = CredentialStatement(true, true).join(u'\n');
    EXPECT_TRUE(empty.contains(QStringLiteral("or (NAME IS NULL)")));
    EXPECT_TRUE(empty.contains(QStringLiteral("or (PWD IS NULL)")));
}

TEST(Messages, RefusalAndCancelTexts) {
    EXPECT_EQ(
        RefusalMessage(QStringLiteral("ivanov")),
        QStringLiteral("Пользователь \"ivanov\" не существует, Вы ввели неправильный пароль или Ваш доступ в "
                       "систему запрещен!"));
    EXPECT_EQ(CancelQuestion(),
              QStringLiteral("Вы нажали кнопку ОТМЕНА. В Данном режиме можно только прекратить "
                             "работу.\r\n              Вы действительно хотите выйти из программы?"));
}

TEST(GroupRights, NumbersWithoutARightAreIgnored) {
    TUserProfile p;
    for (int n : {-1, 0, 14, 26, 27, 28, 29, 41, 42, 100, 14})
        GrantRight(p, n);
    EXPECT_FALSE(ApplyNarrowingRight(p));
    for (int n = 0; n < TUserProfile::RightCount; ++n) {
        const bool expected = n == 0 || n == 14 || n == 26 || n == 29 || n == 41;
        EXPECT_EQ(p.Rights[size_t(n)], expected) << n;
    }
}

TEST(GroupRights, PropertyTwentyFourNarrowsButKeepsTheAdministrationRight) {
    TUserProfile p;
    for (int n : {1, 2, 14, 16, 24, 30})
        GrantRight(p, n);
    EXPECT_TRUE(ApplyNarrowingRight(p));
    for (int n = 0; n < TUserProfile::RightCount; ++n) {
        const bool expected = n == 12 || n == 13 || n == 14 || n == 16 || n == 24;
        EXPECT_EQ(p.Rights[size_t(n)], expected) << n;
    }
    TUserProfile q;
    GrantRight(q, 24);
    ApplyNarrowingRight(q);
    EXPECT_FALSE(q.Rights[14]);
    EXPECT_FALSE(q.Rights[16]);
}
