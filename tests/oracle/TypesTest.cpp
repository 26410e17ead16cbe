// Bind variables, value conversions, connect strings and the script reader: no server needed.
#include "Oracle.h"
#include "OracleTypes.h"
#include "SqlScript.h"
#include "TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

QString MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

TEST(Variables, NamesAreStoredUpperCasedWithColonAndFoundInAnyForm) {
    TOracleQuery q;
    q.DeclareVariable(QStringLiteral("idUser"), otInteger);
    ASSERT_EQ(q.Variables().Count(), 1);
    EXPECT_EQ(q.Variables().Data(0)->Name(), QStringLiteral(":IDUSER"));
    q.SetVariable(QStringLiteral(":iduser"), 7);
    EXPECT_EQ(q.GetVariable(QStringLiteral("IDUSER")), QVariant(7));
    // Re-declaring replaces in place with the new type and a NULL value.
    q.DeclareVariable(QStringLiteral("IDUSER"), otString);
    ASSERT_EQ(q.Variables().Count(), 1);
    EXPECT_EQ(q.Variables().Data(0)->DataType(), otString);
    EXPECT_FALSE(q.GetVariable(QStringLiteral("iduser")).isValid());
}

TEST(Variables, MisuseGivesTheDocumentedTexts) {
    TOracleQuery q;
    EXPECT_EQ(MessageOf([&] { q.DeclareVariable(QString(), otString); }),
              QStringLiteral("You cannot declare a variable with an empty name"));
    EXPECT_EQ(MessageOf([&] { q.DeclareVariable(QStringLiteral(":"), otString); }),
              QStringLiteral("You cannot declare a variable with an empty name"));
    EXPECT_EQ(MessageOf([&] { q.DeclareVariable(QStringLiteral("x"), 116); }),
              QStringLiteral("Unsupported variable type"));
    EXPECT_EQ(MessageOf([&] { q.SetVariable(QStringLiteral("nope"), 1); }),
              QStringLiteral("Variable :NOPE not declared"));
    EXPECT_EQ(MessageOf([&] { q.GetVariable(QStringLiteral("prname")); }),
              QStringLiteral("Unknown variable: :PRNAME"));
    q.DeclareVariable(QStringLiteral("s"), otString);
    char byte = 1;
    EXPECT_EQ(MessageOf([&] { q.SetLongVariable(QStringLiteral("s"), &byte, 1); }),
              QStringLiteral("Variable :S is not a Long"));
    q.DeclareVariable(QStringLiteral("n"), otInteger);
    EXPECT_EQ(MessageOf([&] { q.SetVariable(QStringLiteral("n"), QStringLiteral("abc")); }),
              QStringLiteral("Variant conversion error for variable :N"));
    EXPECT_EQ(MessageOf([&] { q.SetVariable(QStringLiteral("n"), QVariant::fromValue(QStringList{"a"})); }),
              QStringLiteral("Variant conversion error for variable :N"));
    q.DeclareVariable(QStringLiteral("code"), otLongRaw);
    EXPECT_EQ(MessageOf([&] { q.SetVariable(QStringLiteral("code"), 5); }),
              QStringLiteral("Only one-dimensional array of bytes allowed for :CODE"));
    EXPECT_EQ(MessageOf([&] { q.Execute(); }), QStringLiteral("Session undefined"));
}

TEST(Variables, ValuesAreConvertedToTheVariableType) {
    TVariables vars;
    TVariableData* n = vars.Declare(QStringLiteral("n"), otInteger);
    n->SetValue(QStringLiteral("42"));
    EXPECT_EQ(n->Value(), QVariant(42));
    n->SetValue(2.5); // rounds half to even
    EXPECT_EQ(n->Value(), QVariant(2));
    n->SetValue(QVariant());
    EXPECT_TRUE(n->IsNull());

    TVariableData* s = vars.Declare(QStringLiteral("s"), otString);
    s->SetValue(QStringLiteral("a\r\nb\rc"));
    EXPECT_EQ(s->Value(), QVariant(QStringLiteral("a\nbc")));
    s->SetValue(QString(5000, QLatin1Char('x')));
    EXPECT_EQ(s->Value().toString().size(), 4000);
    // Cyrillic text needs more than one byte a character; the buffer grows instead of cutting it.
    const QString cyrillic(4000, QChar(0x0416));
    s->SetValue(cyrillic);
    EXPECT_EQ(s->Value().toString(), cyrillic);

    TVariableData* date = vars.Declare(QStringLiteral("d"), otDate);
    date->SetValue(0);
    EXPECT_TRUE(date->IsNull());
    date->SetValue(QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9)));
    EXPECT_EQ(date->Value().toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9)));
    date->SetValue(QStringLiteral("01.03.2025 08:30:00"));
    EXPECT_EQ(date->Value().toDateTime(), QDateTime(QDate(2025, 3, 1), QTime(8, 30)));
    date->SetValue(45000.5); // a day number: 45000 days after 30 December 1899, noon
    EXPECT_EQ(date->Value().toDateTime(), QDateTime(QDate(2023, 3, 15), QTime(12, 0)));

    TVariableData* raw = vars.Declare(QStringLiteral("r"), otLongRaw);
    const QByteArray bytes("\x00\x01\xff", 3);
    raw->SetValue(bytes);
    EXPECT_EQ(raw->Value().toByteArray(), bytes);
    EXPECT_EQ(raw->BindSize(), 3);
    raw->SetLongValue(bytes.constData(), 0);
    EXPECT_TRUE(raw->IsNull());
}

TEST(Variables, NullReadsAsUnassignedOrNullVariant) {
    TVariableData v(QStringLiteral(":X"), otString);
    EXPECT_FALSE(v.Value(nvUnAssigned).isValid());
    const QVariant null = v.Value(nvNull);
    EXPECT_TRUE(null.isValid());
    EXPECT_TRUE(null.isNull());
}

TEST(Dates, OracleSevenByteFormat) {
    const unsigned char sample[7] = {119, 192, 11, 30, 16, 18, 1};
    EXPECT_EQ(DateFromOracle(sample), QDateTime(QDate(1992, 11, 30), QTime(15, 17, 0)));
    unsigned char back[7];
    ASSERT_TRUE(DateToOracle(QDateTime(QDate(1992, 11, 30), QTime(15, 17, 0)), back));
    EXPECT_EQ(std::memcmp(sample, back, 7), 0);
    // Year 0 or an impossible day reads as the zero date.
    const unsigned char yearZero[7] = {100, 100, 1, 1, 1, 1, 1};
    EXPECT_EQ(DateFromOracle(yearZero).date(), OracleZeroDate().date());
    const unsigned char february30[7] = {120, 124, 2, 30, 1, 1, 1};
    EXPECT_EQ(DateFromOracle(february30).date(), OracleZeroDate().date());
    EXPECT_EQ(OracleZeroDate().date().addDays(1), QDate(1, 1, 1));
    EXPECT_EQ(DateTimeFromDayNumber(-693594).date(), OracleZeroDate().date());
}

TEST(FieldBuffers, ValuesAndTextsOfTheBufferTypes) {
    TFieldData f;
    f.Name = QStringLiteral("NOTE");
    f.BufferType = otString;
    f.BufferSize = 16;
    f.Allocate(2);
    std::strcpy(f.Buffer.data(), "a\nb\r\nc");
    f.Indicators[0] = 0;
    EXPECT_EQ(f.Value(0, nvUnAssigned), QVariant(QStringLiteral("a\r\nb\r\nc")));
    EXPECT_EQ(f.AsString(1), QString());
    EXPECT_FALSE(f.Value(1, nvUnAssigned).isValid());

    TFieldData x;
    x.BufferType = otFloat;
    x.BufferSize = 8;
    x.Allocate(1);
    const double d = 0.1 + 0.2;
    std::memcpy(x.Buffer.data(), &d, 8);
    x.Indicators[0] = 0;
    EXPECT_EQ(x.AsString(0), QStringLiteral("0.3"));
}

TEST(ConnectString, SplitIntoUserPasswordDatabaseAndRole) {
    struct Case {
        const char* text;
        const char* user;
        const char* password;
        const char* database;
        TConnectAsOption as;
    };
    const Case cases[] = {
        {"scott/tiger@orcl", "scott", "tiger", "orcl", caNormal},
        {"scott/tiger", "scott", "tiger", "", caNormal},
        {"scott@orcl", "scott", "", "orcl", caNormal},
        {"sys/pw@db as sysdba", "sys", "pw", "db", caSYSDBA},
        {"sys/pw\tAS\tSysOper", "sys", "pw", "", caSYSOPER},
        {"/", "", "", "", caNormal},
        {"u/\"p@s/s\"@db", "u", "\"p@s/s\"", "db", caNormal},
        {"u/p@host:1521/service", "u", "p", "host:1521/service", caNormal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const QString text = QString::fromUtf8(c.text);
        EXPECT_TRUE(TOracleSession::IsConnectString(text));
        const auto parts = TOracleSession::SplitConnectString(text);
        EXPECT_EQ(parts.User, QString::fromUtf8(c.user));
        EXPECT_EQ(parts.Password, QString::fromUtf8(c.password));
        EXPECT_EQ(parts.Database, QString::fromUtf8(c.database));
        EXPECT_EQ(parts.ConnectAs, c.as);
    }
    EXPECT_FALSE(TOracleSession::IsConnectString(QStringLiteral("KMR_ADMIN")));
    EXPECT_FALSE(TOracleSession::IsConnectString(QStringLiteral("basil")));
}

TEST(Session, PropertiesWithoutServer) {
    TOracleSession s;
    EXPECT_FALSE(s.Connected());
    EXPECT_FALSE(s.InTransaction());
    s.Commit(); // nothing happens on a disconnected session
    s.Rollback();
    s.LogOff();
    s.SetThreadSafe(true);
    EXPECT_TRUE(s.ThreadSafe());
    EXPECT_EQ(s.NullValue(), nvUnAssigned);
}

TEST(ScriptReader, StatementsEndWithSemicolonOrSlash) {
    TSqlScriptReader r;
    QList<TScriptStatement> out;
    const QStringList lines = {
        "-- demo",
        "CREATE TABLE T (",
        "  A NUMBER(9));",
        "",
        "insert into T values (1);  ",
        "begin",
        "  null;",
        "end;",
        "/",
        "@other.sql",
        "select * from T",
        "/",
        "prompt Готово",
        "exit",
        "select 1 from dual",
    };
    for (const QString& line : lines)
        if (auto s = r.AddLine(line))
            out << *s;
    if (auto s = r.Finish())
        out << *s;
    ASSERT_EQ(out.size(), 8);
    EXPECT_EQ(out[0].Text, QStringLiteral("CREATE TABLE T (\n  A NUMBER(9))"));
    EXPECT_EQ(out[0].Line, 2);
    EXPECT_EQ(out[1].Text, QStringLiteral("insert into T values (1)"));
    EXPECT_EQ(out[2].Text, QStringLiteral("begin\n  null;\nend;"));
    EXPECT_EQ(out[2].Line, 6);
    EXPECT_EQ(out[3].Type, TScriptStatement::Include);
    EXPECT_EQ(out[3].Text, QStringLiteral("other.sql"));
    EXPECT_EQ(out[4].Text, QStringLiteral("select * from T"));
    EXPECT_EQ(out[5].Type, TScriptStatement::Prompt);
    EXPECT_EQ(out[5].Text, QStringLiteral("Готово"));
    EXPECT_EQ(out[6].Type, TScriptStatement::Exit);
    EXPECT_EQ(out[7].Text, QStringLiteral("select 1 from dual"));
    EXPECT_EQ(out[7].Line, 15);
    EXPECT_EQ(TSqlScriptReader::StripTerminator(QStringLiteral("select 1 from dual;")),
              QStringLiteral("select 1 from dual"));
    EXPECT_EQ(TSqlScriptReader::StripTerminator(QStringLiteral("begin null; end;")),
              QStringLiteral("begin null; end;"));
}

} // namespace
