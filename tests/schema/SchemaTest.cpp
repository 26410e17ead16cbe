// The schema and demo scripts, run through ocisql on fresh embedded databases: they load
// without an error, every statement the program sends reads rows from the demo data, and the
// demo data covers every coded value of the event log and every sign-in case.
#include "ServerTools.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

const QString kUser = QString::fromLatin1(DemoUser);
const QString kPassword = QString::fromLatin1(DemoPassword);

QString sourcePath(const QString& relative) {
    return QString::fromStdString(SourcePath(relative.toStdString()));
}

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
    QString all() const { return out + err; }
};

// A select result as ocisql prints it: a header line, then one tab-separated line per row.
struct Rows {
    QStringList header;
    QList<QStringList> rows;

    int column(const QString& name) const { return header.indexOf(name.toUpper()); }
    QString value(int row, const QString& name) const {
        const int c = column(name);
        return c < 0 || row >= rows.size() || c >= rows[row].size() ? QString() : rows[row][c];
    }
    QStringList columnValues(const QString& name) const {
        QStringList values;
        for (int r = 0; r < rows.size(); ++r)
            values << value(r, name);
        return values;
    }
};

// One embedded server in a temporary folder, created with the demo account.
class Server {
public:
    explicit Server(const QString& identifier) : identifier_(identifier) {}

    bool create(QString* error) {
        if (!dir_.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        const QString file = dir_.filePath(identifier_.toLower() + QStringLiteral(".db"));
        *error = QString::fromStdString(CreateServerFile(file.toStdString(), DemoUser, DemoPassword));
        return error->isEmpty();
    }

    // Runs a script file; the whole output is returned for the caller to judge.
    RunResult script(const QString& path) const {
        return run("ocisql", {connect(), QStringLiteral("@") + path});
    }

    // Runs one statement given as its lines, exactly as the program joins them.
    RunResult statement(const QStringList& lines) const {
        QFile file(dir_.filePath(QStringLiteral("statement.sql")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write((lines.join(QLatin1Char('\n')) + QStringLiteral(";\n")).toUtf8());
        file.close();
        return script(file.fileName());
    }

    std::optional<Rows> select(const QStringList& lines, QString* output) const {
        const RunResult r = statement(lines);
        *output = r.all();
        if (r.exitCode != 0 || r.all().contains(QStringLiteral("ORA-")))
            return std::nullopt;
        return parse(r.out);
    }

    QString dataDir() const { return dir_.path(); }

private:
    QString connect() const { return kUser + QLatin1Char('/') + kPassword + QLatin1Char('@') + identifier_; }

    RunResult run(const std::string& program, const QStringList& args) const {
        std::vector<std::string> words;
        for (const QString& a : args)
            words.push_back(a.toStdString());
        const TToolResult t = RunTool(program, words, dir_.path().toStdString());
        return {t.ExitCode, QString::fromStdString(t.Out), QString::fromStdString(t.Err)};
    }

    static Rows parse(const QString& out) {
        Rows result;
        QStringList lines = out.split(QLatin1Char('\n'));
        for (QString& l : lines)
            if (l.endsWith(QLatin1Char('\r')))
                l.chop(1);
        while (!lines.isEmpty() && lines.first().isEmpty())
            lines.removeFirst();
        if (lines.isEmpty())
            return result;
        result.header = lines.takeFirst().split(QLatin1Char('\t'));
        for (QString& h : result.header)
            h = h.trimmed().toUpper();
        for (const QString& line : lines) {
            if (line.isEmpty())
                break;
            result.rows << line.split(QLatin1Char('\t'));
        }
        return result;
    }

    QString identifier_;
    QTemporaryDir dir_;
};

std::unique_ptr<Server> makeDemoServer(QString* error) {
    auto server = std::make_unique<Server>(QStringLiteral("SERVER_OIK"));
    if (!server->create(error))
        return nullptr;
    for (const char* script : {"schema/kmr_schema.sql", "schema/demo_data.sql", "schema/srv_main.sql"}) {
        const RunResult r = server->script(sourcePath(QString::fromLatin1(script)));
        if (r.exitCode != 0 || r.all().contains(QStringLiteral("ORA-"))) {
            *error = QString::fromLatin1(script) + QStringLiteral(": ") + r.all();
            return nullptr;
        }
    }
    return server;
}

// The demo server is filled once and only read by the tests below.
class DemoData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        server_ = makeDemoServer(&error).release();
        setupError_ = new QString(error);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
        delete setupError_;
        setupError_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(server_, nullptr) << setupError_->toStdString(); }

    static Rows select(const QStringList& lines) {
        QString output;
        const std::optional<Rows> rows = server_->select(lines, &output);
        EXPECT_TRUE(rows.has_value()) << lines.join(QLatin1Char('\n')).toStdString() << "\n"
                                      << output.toStdString();
        return rows.value_or(Rows{});
    }

    static int count(const QString& statement) {
        const Rows r = select({statement});
        return r.rows.isEmpty() ? -1 : r.value(0, QStringLiteral("N")).toInt();
    }

    static Server* server_;
    static QString* setupError_;
};

Server* DemoData::server_ = nullptr;
QString* DemoData::setupError_ = nullptr;

TEST(SchemaScripts, LoadOnFreshServersWithoutAnError) {
    for (const char* srv : {"schema/srv_main.sql", "schema/srv_reserve.sql"}) {
        Server server(QStringLiteral("SERVER_OIK_R"));
        QString error;
        ASSERT_TRUE(server.create(&error)) << error.toStdString();
        for (const QString& script :
             {sourcePath(QStringLiteral("schema/kmr_schema.sql")),
              sourcePath(QStringLiteral("schema/demo_data.sql")), sourcePath(QString::fromLatin1(srv))}) {
            const RunResult r = server.script(script);
            EXPECT_EQ(r.exitCode, 0) << script.toStdString() << "\n" << r.all().toStdString();
            EXPECT_FALSE(r.all().contains(QStringLiteral("ORA-"))) << r.all().toStdString();
        }
        QString output;
        const std::optional<Rows> rows =
            server.select({QStringLiteral("SELECT MAIN,SECOND,RO FROM SRV")}, &output);
        ASSERT_TRUE(rows.has_value()) << output.toStdString();
        ASSERT_EQ(rows->rows.size(), 1);
        const QString expected = QString::fromLatin1(srv).contains(QStringLiteral("main"))
                                     ? QStringLiteral("0 1 0")
                                     : QStringLiteral("1 0 0");
        EXPECT_EQ(rows->rows[0].join(QLatin1Char(' ')), expected);
    }
}

// Keys the tool relies on fail loudly; the grant and membership tables take duplicates; a user
// written under the administration name is the one the sign-in reads.
TEST(SchemaScripts, KeysAndTheSharedUserTable) {
    Server server(QStringLiteral("SERVER_OIK"));
    QString error;
    ASSERT_TRUE(server.create(&error)) << error.toStdString();
    const RunResult schema = server.script(sourcePath(QStringLiteral("schema/kmr_schema.sql")));
    ASSERT_EQ(schema.exitCode, 0) << schema.all().toStdString();

    auto exec = [&](const QString& sql) { return server.statement({sql}); };
    auto ok = [&](const QString& sql) {
        const RunResult r = exec(sql);
        EXPECT_TRUE(r.exitCode == 0 && !r.all().contains(QStringLiteral("ORA-"))) << sql.toStdString() << "\n"
                                                                                  << r.all().toStdString();
    };
    auto unique = [&](const QString& sql) {
        const RunResult r = exec(sql);
        EXPECT_TRUE(r.all().contains(QStringLiteral("ORA-00001"))) << sql.toStdString() << "\n"
                                                                   << r.all().toStdString();
    };

    ok(QStringLiteral("INSERT INTO KMR_USER_PSW (TABNUM, ALLNAME, NAME, WENABLED) VALUES (1, 'Иванов И.И.', "
                      "'ivanov', 'T')"));
    unique(QStringLiteral("INSERT INTO KMR_USER_PSW (TABNUM, NAME) VALUES (1, 'petrov')"));
    QString output;
    const std::optional<Rows> signin =
        server.select({QStringLiteral("SELECT * FROM USER_PSW WHERE ((NAME = 'ivanov')"),
                       QStringLiteral(") AND ((PWD = '')"), QStringLiteral(" or (PWD IS NULL)"),
                       QStringLiteral(") AND ((IPADR LIKE '%10.0.0.1%')"),
                       QStringLiteral(" OR (IPADR ='') OR (IPADR IS NULL)) AND (WENABLED='T')")},
                      &output);
    ASSERT_TRUE(signin.has_value()) << output.toStdString();
    ASSERT_EQ(signin->rows.size(), 1) << output.toStdString();
    EXPECT_EQ(signin->header,
              QStringList({"TABNUM", "NAME", "PWD", "ALLNAME", "GROUPID", "WENABLED", "IPADR", "IP", "SHEMA",
                           "BMMESSAGE", "BMGOTOMESSAGE", "BMREGL", "BMSOUND", "BMCHWIND", "BMZKLTOP"}));

    ok(QStringLiteral(
        "INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (1, 'A.EXE', 'А')"));
    unique(QStringLiteral(
        "INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (1, 'B.EXE', 'Б')"));
    unique(QStringLiteral(
        "INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (2, 'A.EXE', 'Б')"));

    // The documented inserts name no columns: these tables have exactly two and three.
    ok(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (1, 1)"));
    ok(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (1, 1)"));
    ok(QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES(1, 1, 'Смена')"));
    unique(QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES(1, 1, 'Другая')"));
    ok(QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES(2, 1, 'Смена')"));
    ok(QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER (TABNUM, ID_PROGRAMM, ID_GROUP) VALUES (1, 1, 1)"));
    ok(QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER (TABNUM, ID_PROGRAMM, ID_GROUP) VALUES (1, 1, 1)"));
    ok(QStringLiteral("INSERT INTO KMR_PROP_FOR_PROG (ID_PROP, ID_PROGRAMM) VALUES (1, 1)"));
    unique(QStringLiteral("INSERT INTO KMR_PROP_FOR_PROG (ID_PROP, ID_PROGRAMM) VALUES (1, 2)"));

    const std::optional<Rows> grants =
        server.select({QStringLiteral("SELECT * FROM KMR_PROG_FOR_USER")}, &output);
    ASSERT_TRUE(grants.has_value()) << output.toStdString();
    EXPECT_EQ(grants->header, QStringList({"TABNUM", "ID_PROGRAMM"}));
    EXPECT_EQ(grants->rows.size(), 2);
    const std::optional<Rows> groups =
        server.select({QStringLiteral("SELECT * FROM KMR_GROUP_FOR_PROG")}, &output);
    ASSERT_TRUE(groups.has_value()) << output.toStdString();
    EXPECT_EQ(groups->header, QStringList({"ID_PROGRAMM", "ID_GROUP", "GROUP_NAME"}));
}

// Every read statement of the program, with values taken from the demo data, finds rows.
TEST_F(DemoData, EveryStatementOfTheProgramReadsRows) {
    const QList<QStringList> statements = {
        // server state
        {"SELECT MAIN,SECOND,RO FROM SRV"},
        {"SELECT MAIN,SECOND FROM SRV"},
        // barred user check after the sign-in (user 13 is barred)
        {"SELECT * FROM USER_PSW WHERE (TABNUM =13) AND (WENABLED = 'F')"},
        // profile
        {"SELECT USER_PROP FROM USER_G_P", "WHERE USER_GROUP = 1"},
        {"SELECT ACTIONID FROM USER_GROUP", "WHERE ID = 1"},
        // user list
        {"SELECT COUNT(*) CNT FROM KMR_USER_PSW"},
        {"SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM KMR_USER_PSW",
         "ORDER BY GROUPID, ALLNAME"},
        {"SELECT MAX(TABNUM) ID FROM KMR_USER_PSW"},
        // programs, grants and groups
        {"SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE ORDER BY ID_PROGRAMMEXE"},
        {"SELECT ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG", "WHERE ID_PROGRAMM = 1", "ORDER BY ID_GROUP"},
        {"SELECT ID_GROUP FROM KMR_GROUP_FOR_USER", "WHERE TABNUM = 1", "AND ID_PROGRAMM = 1"},
        {"SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER", "WHERE TABNUM = 1"},
        // group editor
        {"SELECT ID_PROP, NAME_PROP FROM KMR_PROG_PROP", "WHERE ID_PROGRAMM = 1", "ORDER BY ID_PROP"},
        {"SELECT GROUP_NAME FROM KMR_GROUP_FOR_PROG", "WHERE ID_PROGRAMM = 1"},
        {"SELECT MAX(ID_GROUP) ID FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = 1"},
        // property editor
        {"SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE", "ORDER BY ID_PROGRAMMEXE"},
        {"SELECT ID_PROP, ID_PROGRAMM, FORM_NAME, PROP_NAME, PROP_TYPE, PROP_ALIAS, ROWID FROM "
         "KMR_PROP_FOR_PROG",
         "WHERE ID_PROGRAMM = 1", "ORDER BY ID_PROP"},
        {"SELECT MAX(ID_PROP) ID FROM KMR_PROP_FOR_PROG"},
        // stored programs
        {"SELECT COUNT(*) PCOUNT FROM KMR_PROGRAMMEXE", "WHERE PRNAME='DEFECTS.EXE'"},
        {"SELECT MAX(ID_PROGRAMMEXE) ID FROM KMR_PROGRAMMEXE"},
    };
    for (const QStringList& lines : statements) {
        const Rows r = select(lines);
        EXPECT_FALSE(r.rows.isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
        if (!r.rows.isEmpty()) {
            // Aggregates must not read as an empty table.
            for (const char* name : {"CNT", "ID", "PCOUNT"}) {
                if (r.column(QString::fromLatin1(name)) >= 0) {
                    EXPECT_GT(r.value(0, QString::fromLatin1(name)).toInt(), 0)
                        << lines.join(QLatin1Char('\n')).toStdString();
                }
            }
        }
    }
}

QStringList eventLogStatement(int program, const QString& start, const QString& end) {
    auto decoded = [](const QString& column) {
        QStringList lines = {
            "(CASE kmr_protokol.FIELD_NAME",
            "when 'openclose' then decode(kmr_protokol.OLD_VALUE, '0', 'Нереализована', '1', 'Открыта', '2', "
            "'Закрыта')",
            "when 'sost' then decode(kmr_protokol.OLD_VALUE, '0', 'Снята', '1', 'Разрешена', '2', "
            "'Отказана', '3', "
            "'Не расмотрена', '4', 'Перенесена')",
            "when 'dostmer' then decode(SUBSTR(kmr_protokol.OLD_VALUE, 1,1), '0', '', '1', 'Достаточно. "
            "'||SUBSTR(kmr_protokol.OLD_VALUE, 2, 20), '2', 'Недостаточно. '||SUBSTR(kmr_protokol.OLD_VALUE, "
            "2, 20))",
            "when 'ComboBox1' then decode(kmr_protokol.OLD_VALUE, '0', 'Плановая', '1', 'Внеплановая', '2', "
            "'Срочная', '3', 'Аварийная')",
            "ELSE",
            "kmr_protokol.OLD_VALUE",
            "END) AS OLD_VALUE1,"};
        for (QString& l : lines)
            l.replace(QStringLiteral("kmr_protokol.OLD_VALUE"), QStringLiteral("kmr_protokol.") + column)
                .replace(QStringLiteral("OLD_VALUE1"), column + QStringLiteral("1"));
        return lines;
    };
    QStringList lines = {"select"};
    lines << decoded(QStringLiteral("OLD_VALUE")) << decoded(QStringLiteral("NEW_VALUE"));
    lines << "kmr_Programmexe.PRALIAS, kmr_field_name.OBJECT_NAME,"
          << "TO_CHAR(kmr_protokol.DATE_CHANGE, 'HH24:MI DD:MM:YY') DTCHANGE,"
          << "KMR_USER_PSW.ALLNAME"
          << "from kmr_protokol, kmr_field_name, KMR_USER_PSW, kmr_Programmexe"
          << "where kmr_protokol.FIELD_NAME=kmr_field_name.FIELD_NAME"
          << QStringLiteral("and kmr_protokol.ID_PROGRAMM = ") + QString::number(program)
          << "and kmr_protokol.ID_USER = KMR_USER_PSW.TABNUM"
          << "and kmr_Programmexe.ID_PROGRAMMEXE = kmr_protokol.ID_PROGRAMM"
          << QStringLiteral("and ((kmr_protokol.DATE_CHANGE >= TO_DATE('") + start +
                 QStringLiteral("', 'dd.mm.yyyy hh24:mi:ss'))")
          << QStringLiteral("and (kmr_protokol.DATE_CHANGE <=TO_DATE('") + end +
                 QStringLiteral("', 'dd.mm.yyyy hh24:mi:ss')))")
          << "order by kmr_protokol.ID_PROGRAMM, kmr_protokol.DATE_CHANGE";
    return lines;
}

// "HH24:MI DD:MM:YY" of the oldest and newest change -> the period the event log is asked for.
QString pickerDate(const QString& dtchange, const QString& time) {
    static const QRegularExpression re(QStringLiteral("^(\\d\\d):(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(dtchange);
    if (!m.hasMatch())
        return QString();
    return m.captured(3) + QLatin1Char('.') + m.captured(4) + QStringLiteral(".20") + m.captured(5) +
           QLatin1Char(' ') + time;
}

TEST_F(DemoData, EventLogListsEveryProgramAndDecodesEveryCode) {
    const Rows span = select({"SELECT TO_CHAR(MIN(DATE_CHANGE), 'HH24:MI DD:MM:YY') FIRSTCHANGE,",
                              "TO_CHAR(MAX(DATE_CHANGE), 'HH24:MI DD:MM:YY') LASTCHANGE FROM kmr_protokol"});
    const QString start =
        pickerDate(span.value(0, QStringLiteral("FIRSTCHANGE")), QStringLiteral("00:00:00"));
    const QString end = pickerDate(span.value(0, QStringLiteral("LASTCHANGE")), QStringLiteral("23:59:59"));
    ASSERT_FALSE(start.isEmpty());
    ASSERT_FALSE(end.isEmpty());

    QStringList shown;
    int listed = 0;
    for (int program : {1, 2, 3}) {
        const Rows r = select(eventLogStatement(program, start, end));
        EXPECT_GT(r.rows.size(), 100) << "program " << program;
        listed += r.rows.size();
        for (const char* column : {"PRALIAS", "ALLNAME", "DTCHANGE", "OBJECT_NAME"})
            EXPECT_FALSE(r.columnValues(QString::fromLatin1(column)).contains(QString()))
                << column << " empty for program " << program;
        shown << r.columnValues(QStringLiteral("OLD_VALUE1")) << r.columnValues(QStringLiteral("NEW_VALUE1"));
    }
    for (const char* word :
         {"Нереализована", "Открыта", "Закрыта", "Снята", "Разрешена", "Отказана", "Не расмотрена",
          "Перенесена", "Плановая", "Внеплановая", "Срочная", "Аварийная"})
        EXPECT_TRUE(shown.contains(QString::fromUtf8(word))) << word;
    bool enough = false, notEnough = false;
    for (const QString& s : shown) {
        enough = enough || s.startsWith(QStringLiteral("Достаточно. "));
        notEnough = notEnough || s.startsWith(QStringLiteral("Недостаточно. "));
    }
    EXPECT_TRUE(enough);
    EXPECT_TRUE(notEnough);

    // Records of the deleted user, of an unknown user and of a field without a display name are
    // in the table but not in the listing.
    EXPECT_LT(listed, count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol")));
}

TEST_F(DemoData, ChangeLogHoldsEveryCodedValueAndValuesOutsideTheCodes) {
    const QList<QPair<QString, QStringList>> coded = {
        {"openclose", {"0", "1", "2"}},
        {"sost", {"0", "1", "2", "3", "4"}},
        {"ComboBox1", {"0", "1", "2", "3"}},
    };
    for (const auto& [field, codes] : coded) {
        for (const QString& code : codes) {
            EXPECT_GT(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol WHERE FIELD_NAME = '%1' "
                                           "AND OLD_VALUE = '%2'")
                                .arg(field, code)),
                      0)
                << field.toStdString() << " old " << code.toStdString();
            EXPECT_GT(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol WHERE FIELD_NAME = '%1' "
                                           "AND NEW_VALUE = '%2'")
                                .arg(field, code)),
                      0)
                << field.toStdString() << " new " << code.toStdString();
        }
        const QString list = QLatin1Char('\'') + codes.join(QStringLiteral("', '")) + QLatin1Char('\'');
        EXPECT_GT(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol WHERE FIELD_NAME = '%1' "
                                       "AND NEW_VALUE NOT IN (%2)")
                            .arg(field, list)),
                  0)
            << field.toStdString() << " outside the codes";
    }
    for (const char* code : {"0", "1", "2", "3"})
        EXPECT_GT(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol WHERE FIELD_NAME = 'dostmer' "
                                       "AND SUBSTR(NEW_VALUE, 1, 1) = '%1'")
                            .arg(QString::fromLatin1(code))),
                  0)
            << "dostmer " << code;
    EXPECT_GT(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol WHERE FIELD_NAME = 'dostmer' "
                                   "AND LENGTH(NEW_VALUE) > 21")),
              0);
    EXPECT_GT(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol WHERE OLD_VALUE IS NULL")), 0);
    EXPECT_GE(count(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol")), 2000);
}

struct SignIn {
    const char* name;
    const char* password;
    const char* address;
    int tabnum; // 0: refused
    std::optional<bool> adminRight;
};

// The sign-in statement as the program builds it, for each sign-in case of the demo data.
TEST_F(DemoData, HoldsEverySignInCase) {
    const SignIn cases[] = {
        {"admin", "kmr2026", "192.168.77.5", 1, true},   // administrator, any workstation
        {"admin", "kmr", "192.168.77.5", 0, {}},         // wrong password
        {"kuznetsova", "ep1979", "10.20.1.12", 2, true}, // administrator with allowed addresses
        {"kuznetsova", "ep1979", "10.20.1.14", 0, {}},   // ... from another workstation
        {"kuznetsova", "ep1979", "10.20.1.1", 2, true},  // the address test finds 10.20.1.1 in 10.20.1.11
        {"morozov", "zam2004", "10.20.9.9", 3, true},    // narrowed rights keep the administration right
        {"novikova", "dsp04", "10.20.3.24", 8, false},   // dispatcher
        {"pavlova", "dsp02", "10.20.3.22", 6, false},    // senior dispatcher
        {"fedorov", "dsp05", "10.20.3.25", 9, false},    // dispatcher with a list of addresses
        {"lebedev", "dsp09", "10.20.3.29", 0, {}},       // barred
        {"andreeva", "rza04", "10.20.5.43", 0, {}},      // barred, with an address
        {"yakovlev", "", "10.20.3.30", 18, false},       // empty password
        {"sergeev", "br01", "10.20.7.50", 24, false},    // group without rights
        {"romanov", "", "10.20.7.60", 41, false},        // added by the tool: no password, no group
    };
    for (const SignIn& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        const QString password = QString::fromUtf8(c.password);
        QStringList lines;
        lines << QStringLiteral("SELECT * FROM USER_PSW WHERE ((NAME = '") + name + QStringLiteral("')");
        if (name.isEmpty())
            lines << QStringLiteral(" or (NAME IS NULL)");
        lines << QStringLiteral(") AND ((PWD = '") + password + QStringLiteral("')");
        if (password.isEmpty())
            lines << QStringLiteral(" or (PWD IS NULL)");
        lines << QStringLiteral(") AND ((IPADR LIKE '%") + QString::fromLatin1(c.address) +
                     QStringLiteral("%')")
              << QStringLiteral(" OR (IPADR ='') OR (IPADR IS NULL)) AND (WENABLED='T')");
        const Rows r = select(lines);
        const std::string label = std::string(c.name) + "/" + c.password + " from " + c.address;
        if (c.tabnum == 0) {
            EXPECT_TRUE(r.rows.isEmpty()) << label;
            continue;
        }
        ASSERT_EQ(r.rows.size(), 1) << label;
        EXPECT_EQ(r.value(0, QStringLiteral("TABNUM")).toInt(), c.tabnum) << label;
        const QString group = r.value(0, QStringLiteral("GROUPID"));
        if (group.isEmpty()) {
            EXPECT_FALSE(c.adminRight.value_or(false)) << label;
            continue;
        }
        const Rows rights = select({QStringLiteral("SELECT USER_PROP FROM USER_G_P"),
                                    QStringLiteral("WHERE USER_GROUP = ") + group});
        EXPECT_EQ(rights.columnValues(QStringLiteral("USER_PROP")).contains(QStringLiteral("14")),
                  c.adminRight.value_or(false))
            << label;
    }
}

} // namespace
