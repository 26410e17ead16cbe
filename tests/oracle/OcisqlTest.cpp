// The ocisql command against an ocisqlite database.
#include "OracleServer.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class OcisqlTest : public OracleServer {
protected:
    ToolRun Ocisql(const QStringList& args, const QByteArray& input = QByteArray()) {
        QProcess p;
        p.setWorkingDirectory(Dir->path());
        p.start(QStringLiteral(KMR_BIN_DIR) + QStringLiteral("/ocisql"), QStringList{ConnectString()} + args);
        EXPECT_TRUE(p.waitForStarted(10000));
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString WriteScript(const QString& name, const QString& text) {
        const QString path = QDir(Dir->path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        return path;
    }
};

TEST_F(OcisqlTest, ScriptRunsStatementsAndBlocksAndPrintsSelects) {
    WriteScript(QStringLiteral("setup.sql"), QStringLiteral("-- a table\n"
                                                            "CREATE TABLE OCISQL_T (\n"
                                                            "  A NUMBER(9),\n"
                                                            "  B VARCHAR2(10));\n"
                                                            "INSERT INTO OCISQL_T VALUES (1, 'один');\n"
                                                            "INSERT INTO OCISQL_T VALUES (2, NULL);\n"
                                                            "begin\n"
                                                            "  null;\n"
                                                            "end;\n"
                                                            "/\n"
                                                            "SELECT A, B FROM OCISQL_T ORDER BY A;\n"));
    const ToolRun run = Ocisql({QStringLiteral("@setup.sql")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("A\tB\n1\tодин\n2\t\n"));

    // Committed: another run sees the rows; statements also come from standard input.
    const ToolRun piped = Ocisql({}, "SELECT COUNT(*) N\n  FROM OCISQL_T;\n");
    EXPECT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_EQ(piped.out, QStringLiteral("N\n2\n"));

    const ToolRun single =
        Ocisql({QStringLiteral("-c"), QStringLiteral("SELECT B FROM OCISQL_T WHERE A = 1")});
    EXPECT_EQ(single.out, QStringLiteral("B\nодин\n"));
}

TEST_F(OcisqlTest, AnExpressionColumnIsHeadedByItsText) {
    const ToolRun run = Ocisql(
        {QStringLiteral("-c"), QStringLiteral("select TO_CHAR(TO_DATE('09.12.2026 10:20:30','DD.MM.YYYY "
                                              "HH24:MI:SS'),'DD.MM.YYYY HH24:MI:SS') from dual;")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.section(QLatin1Char('\n'), 1, 1), QStringLiteral("09.12.2026 10:20:30"));
    // The whole text, not bytes of a freed descriptor.
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("TO_CHAR(TO_DATE('09.12.2026 10:20:30'")))
        << run.out.toStdString();
}

TEST_F(OcisqlTest, ErrorsCarryTheScriptLineAndStopUnlessKeepGoing) {
    WriteScript(QStringLiteral("broken.sql"), QStringLiteral("SELECT 1 X FROM DUAL;\n"
                                                             "\n"
                                                             "SELECT *\n"
                                                             "  FROM NO_SUCH_TABLE;\n"
                                                             "SELECT 2 Y FROM DUAL;\n"));
    ToolRun run = Ocisql({QStringLiteral("@broken.sql")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("broken.sql:3: ORA-00942: table or view does not exist\n"));
    EXPECT_EQ(run.out, QStringLiteral("X\n1\n"));

    run = Ocisql({QStringLiteral("-k"), QStringLiteral("@broken.sql")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("X\n1\nY\n2\n"));

    QProcess bad;
    bad.start(QStringLiteral(KMR_BIN_DIR) + QStringLiteral("/ocisql"),
              {User + QStringLiteral("/wrong@") + Database, QStringLiteral("-c"),
               QStringLiteral("SELECT 1 FROM DUAL")});
    ASSERT_TRUE(bad.waitForFinished(60000));
    EXPECT_EQ(bad.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(bad.readAllStandardError()).startsWith(QStringLiteral("ORA-01017")));
}

} // namespace
