// Sessions, queries and package calls against an ocisqlite database.
#include "OracleServer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

namespace {

QString MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

using SessionTest = OracleServer;
using QueryTest = OracleServer;
using PackageTest = OracleServer;

TEST_F(SessionTest, ConnectStringInUserNameLogsOnAndSplitsIntoTheProperties) {
    TOracleSession s;
    s.SetLogonUsername(ConnectString());
    s.LogOn();
    EXPECT_TRUE(s.Connected());
    EXPECT_EQ(s.LogonUsername(), User);
    EXPECT_EQ(s.LogonPassword(), Password);
    EXPECT_EQ(s.LogonDatabase(), Database);
    s.SetConnected(false);
    EXPECT_FALSE(s.Connected());
}

TEST_F(SessionTest, FailedLogOnRaisesTheServerTextAndStillFiresAfterLogOn) {
    TOracleSession s;
    int before = 0, after = 0, changes = 0;
    bool connectedInHandler = true;
    s.BeforeLogOn = [&](TOracleSession*) { ++before; };
    s.AfterLogOn = [&](TOracleSession* session) {
        ++after;
        connectedInHandler = session->Connected();
    };
    s.OnChange = [&](TOracleSession*) { ++changes; };
    s.SetLogonUsername(User);
    s.SetLogonPassword(QStringLiteral("wrong"));
    s.SetLogonDatabase(Database);
    try {
        s.LogOn();
        FAIL() << "logon with a wrong password succeeded";
    } catch (const EOracleError& e) {
        EXPECT_EQ(e.ErrorCode(), 1017);
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("ORA-01017"))) << e.Message().toStdString();
        EXPECT_EQ(e.Session(), &s);
    }
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(connectedInHandler);

    // The handles kept from the failed attempt serve the next one.
    s.SetLogonPassword(Password);
    s.LogOn();
    EXPECT_TRUE(s.Connected());
    EXPECT_EQ(after, 2);

    // A LogOn on a connected session reconnects: OnChange for the log-off and the log-on.
    changes = 0;
    s.LogOn();
    EXPECT_TRUE(s.Connected());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(MessageOf([&] { s.SetThreadSafe(true); }),
              QStringLiteral("Cannot change ThreadSafe property when connected"));
}

TEST_F(SessionTest, UnknownDatabaseFailsWithTheServerError) {
    TOracleSession s;
    s.SetLogonUsername(User + QStringLiteral("/x@no_such_db"));
    try {
        s.LogOn();
        FAIL();
    } catch (const EOracleError& e) {
        EXPECT_EQ(e.ErrorCode(), 12154);
    }
    EXPECT_FALSE(s.Connected());
}

TEST_F(SessionTest, InTransactionProbesOnceBetweenStatements) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("TX_T"));
    Exec(*s, QStringLiteral("CREATE TABLE TX_T (A NUMBER(9))"));
    EXPECT_FALSE(s->InTransaction());
    Exec(*s, QStringLiteral("INSERT INTO TX_T VALUES (1)"));
    const QStringList probe{QStringLiteral("OCIStmtExecute"), QStringLiteral("local_transaction_id")};
    // A changed row opens a transaction: no need to ask.
    ClearTrace();
    EXPECT_TRUE(s->InTransaction());
    EXPECT_EQ(TraceCount(probe), 0);
    // After a block the server is asked, once for two questions.
    Exec(*s, QStringLiteral("begin null; end;"));
    ClearTrace();
    EXPECT_TRUE(s->InTransaction());
    EXPECT_TRUE(s->InTransaction());
    EXPECT_EQ(TraceCount(probe), 1);
    // A commit or a roll-back ends it, which needs no question either.
    s->Commit();
    ClearTrace();
    EXPECT_FALSE(s->InTransaction());
    EXPECT_EQ(TraceCount(probe), 0);
    Exec(*s, QStringLiteral("DELETE FROM TX_T"));
    EXPECT_TRUE(s->InTransaction());
    s->Rollback();
    EXPECT_FALSE(s->InTransaction());
    EXPECT_EQ(TraceCount(probe), 0);
    // The server agrees: the deleted row is back, nothing is open.
    Exec(*s, QStringLiteral("begin null; end;"));
    EXPECT_FALSE(s->InTransaction());
    EXPECT_EQ(TraceCount(probe), 1);
}

TEST_F(SessionTest, ExecuteAndCommitCommitsWithTheStatementOnlyWhenItSucceeds) {
    auto s = NewSession();
    auto other = NewSession();
    DropTable(*s, QStringLiteral("EC_T"));
    Exec(*s, QStringLiteral("CREATE TABLE EC_T (A NUMBER(9) NOT NULL)"));
    auto count = [&] {
        TOracleQuery q;
        q.SetSession(other.get());
        q.SetSQLText(QStringLiteral("SELECT COUNT(*) N FROM EC_T"));
        q.Execute();
        return q.Field(QStringLiteral("N")).toInt();
    };
    // Work pending before it is committed with it, in one round trip without OCITransCommit.
    Exec(*s, QStringLiteral("INSERT INTO EC_T VALUES (1)"));
    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("INSERT INTO EC_T VALUES (2)"));
    ClearTrace();
    q.ExecuteAndCommit();
    EXPECT_EQ(TraceCount({QStringLiteral("EC_T")}), 1);
    EXPECT_EQ(TraceCount({QStringLiteral("OCITransCommit")}), 0);
    EXPECT_EQ(count(), 2);
    EXPECT_FALSE(s->InTransaction());
    EXPECT_EQ(TraceCount({QStringLiteral("local_transaction_id")}), 0);
    // A refused statement commits nothing: the pending row can still be rolled back.
    Exec(*s, QStringLiteral("INSERT INTO EC_T VALUES (3)"));
    q.SetSQLText(QStringLiteral("INSERT INTO EC_T VALUES (NULL)"));
    EXPECT_THROW(q.ExecuteAndCommit(), EOracleError);
    s->Rollback();
    EXPECT_EQ(count(), 2);
}

TEST_F(SessionTest, RollbackOnDisconnectAndLogOffClosesQueries) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("RB_T"));
    Exec(*s, QStringLiteral("CREATE TABLE RB_T (A NUMBER(9))"));
    Exec(*s, QStringLiteral("INSERT INTO RB_T VALUES (1)"));
    Exec(*s, QStringLiteral("INSERT INTO RB_T VALUES (2)"));
    s->Commit();
    TOracleQuery open;
    open.SetSession(s.get());
    open.SetSQLText(QStringLiteral("SELECT A FROM RB_T ORDER BY A"));
    open.Execute();
    ASSERT_FALSE(open.Eof());
    Exec(*s, QStringLiteral("DELETE FROM RB_T"));
    s->SetRollbackOnDisconnect(true);
    s->LogOff();
    EXPECT_TRUE(open.Eof());
    EXPECT_EQ(MessageOf([&] { open.Field(QStringLiteral("A")); }), QStringLiteral("Field A does not exist"));
    EXPECT_EQ(MessageOf([&] { open.Execute(); }), QStringLiteral("Not logged on"));

    s->LogOn();
    TOracleQuery count;
    count.SetSession(s.get());
    count.SetSQLText(QStringLiteral("SELECT COUNT(*) N FROM RB_T"));
    count.Execute();
    EXPECT_EQ(count.Field(QStringLiteral("N")).toInt(), 2);

    // Destroying the session detaches its queries.
    s.reset();
    EXPECT_EQ(count.Session(), nullptr);
    EXPECT_EQ(MessageOf([&] { count.Execute(); }), QStringLiteral("Session undefined"));
}

// The server stops answering (the embedded server's hang marker) until the guard goes.
class SilentDatabase {
public:
    explicit SilentDatabase(int seconds) : FMarker(OracleServerPath() + QStringLiteral(".hang")) {
        QFile f(FMarker);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(seconds));
    }
    ~SilentDatabase() { QFile::remove(FMarker); }
    static QString OracleServerPath() {
        return qEnvironmentVariable("OCISQLITE_DATA") + QStringLiteral("/testdb.db");
    }

private:
    QString FMarker;
};

// Milliseconds until the statement fails, and its error number (0 when it did not fail).
std::pair<qint64, int> TimedFailure(TOracleSession& session, const QString& sql) {
    QElapsedTimer t;
    t.start();
    try {
        TOracleQuery q;
        q.SetSession(&session);
        q.SetSQLText(sql);
        q.Execute();
    } catch (const EOracleError& e) {
        return {t.elapsed(), e.ErrorCode()};
    }
    return {t.elapsed(), 0};
}

TEST_F(SessionTest, CallTimeoutBoundsEachCallOnClientsThatKnowIt) {
    auto session = std::make_unique<TOracleSession>();
    session->SetLogonUsername(ConnectString());
    session->SetCallTimeout(300);
    EXPECT_EQ(session->CallTimeout(), 300);
    session->LogOn();
    {
        SilentDatabase silent(30);
        const auto [ms, code] = TimedFailure(*session, QStringLiteral("SELECT 1 FROM DUAL"));
        EXPECT_EQ(code, 3156);
        EXPECT_GE(ms, 250);
        EXPECT_LT(ms, 5000) << "the call was not bounded by the call timeout";
        EXPECT_TRUE(session->TakeConnectionLost());
        EXPECT_FALSE(session->TakeConnectionLost());
        // The lost session logs off at once, whatever the silent server does.
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(MessageOf([&] { session->LogOff(); }),
                  QStringLiteral("ORA-03114: not connected to ORACLE\n"));
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_FALSE(session->Connected());
    }
    session->LogOn();
    EXPECT_FALSE(session->TakeConnectionLost()) << "a new log-on starts afresh";

    // A client before 18.1 does not know the attribute: the session works without it.
    qputenv("OCISQLITE_CLIENT_VERSION", "12.2");
    auto old = std::make_unique<TOracleSession>();
    old->SetLogonUsername(ConnectString());
    old->SetCallTimeout(300);
    old->LogOn();
    {
        SilentDatabase silent(1);
        const auto [ms, code] = TimedFailure(*old, QStringLiteral("SELECT 1 FROM DUAL"));
        EXPECT_EQ(code, 3113);
        EXPECT_GE(ms, 950) << "the call timeout was set on a client that does not know it";
    }
    qunsetenv("OCISQLITE_CLIENT_VERSION");
    // A statement error that leaves the connection alone does not count as lost.
    EXPECT_NE(TimedFailure(*session, QStringLiteral("SELECT * FROM NO_SUCH_TABLE")).second, 0);
    EXPECT_FALSE(session->TakeConnectionLost());
}

TEST_F(SessionTest, ErrorsThatMeanTheConnectionIsGone) {
    for (int code : {28, 1012, 3113, 3114, 3135, 3156, 12537, 12547})
        EXPECT_TRUE(TOracleSession::IsConnectionLostError(code)) << code;
    for (int code : {0, 1, 54, 942, 1017, 1403, 12154, 12541, 20001})
        EXPECT_FALSE(TOracleSession::IsConnectionLostError(code)) << code;
}

TEST_F(QueryTest, BlocksOfTwentyFiveRowsArriveWithOneRowMorePerRoundTrip) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("ROWS_T"));
    Exec(*s, QStringLiteral("CREATE TABLE ROWS_T (N NUMBER(9), GRP NUMBER(9))"));
    // Groups of 24, 25 and 26 rows.
    for (int i = 1; i <= 75; ++i)
        Exec(*s, QStringLiteral("INSERT INTO ROWS_T VALUES (%1, %2)")
                     .arg(i)
                     .arg(i <= 24   ? 1
                          : i <= 49 ? 2
                                    : 3));
    s->Commit();

    struct Case {
        QString where;
        int first, rows, roundTrips;
    };
    // Each round trip brings a block and one row more, so the one that holds the last rows says so:
    // up to 25 rows take the execute alone, 26 one fetch more, 75 rows three round trips.
    for (const Case& c :
         {Case{QStringLiteral("GRP = 1"), 1, 24, 1}, Case{QStringLiteral("GRP = 2"), 25, 25, 1},
          Case{QStringLiteral("GRP = 3"), 50, 26, 2}, Case{QStringLiteral("GRP > 0"), 1, 75, 3}}) {
        SCOPED_TRACE(c.rows);
        TOracleQuery q;
        q.SetSession(s.get());
        const QString sql = QStringLiteral("SELECT N FROM ROWS_T WHERE %1 ORDER BY N").arg(c.where);
        q.SetSQLText(sql);
        ClearTrace();
        q.Execute();
        int rows = 0;
        while (!q.Eof()) {
            EXPECT_EQ(q.Field(QStringLiteral("n")).toInt(), c.first + rows);
            ++rows;
            // Rows arrive a block at a time.
            EXPECT_EQ(q.RowsProcessed(), std::min(c.rows, (rows + 24) / 25 * 25));
            q.Next();
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(TraceCount({sql}), c.roundTrips);
        EXPECT_EQ(q.RowsProcessed(), c.rows);
    }
}

TEST_F(QueryTest, NullsReadAsUnassignedOrNullAndAsEmptyText) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("NULL_T"));
    Exec(*s, QStringLiteral("CREATE TABLE NULL_T (TABNUM NUMBER(9), NAME VARCHAR2(20), D DATE)"));
    Exec(*s, QStringLiteral("INSERT INTO NULL_T VALUES (NULL, NULL, NULL)"));
    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("SELECT TABNUM, NAME, D FROM NULL_T"));
    q.Execute();
    ASSERT_FALSE(q.Eof());
    for (const char* column : {"tabnum", "Name", "D"}) {
        SCOPED_TRACE(column);
        const QString name = QString::fromLatin1(column);
        EXPECT_FALSE(q.Field(name).isValid());
        EXPECT_EQ(q.FieldAsString(name), QString());
        EXPECT_TRUE(q.FieldIsNull(name));
    }
    s->SetNullValue(nvNull);
    const QVariant null = q.Field(QStringLiteral("TABNUM"));
    EXPECT_TRUE(null.isValid());
    EXPECT_TRUE(null.isNull());
    EXPECT_EQ(MessageOf([&] { q.Field(QStringLiteral("NOPE")); }),
              QStringLiteral("Field NOPE does not exist"));
    q.Next();
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(MessageOf([&] { q.Field(QStringLiteral("TABNUM")); }),
              QStringLiteral("You cannot access field data beyond Eof"));
}

TEST_F(QueryTest, ColumnTypesBecomeTheDocumentedValues) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("TYPES_T"));
    Exec(*s, QStringLiteral("CREATE TABLE TYPES_T (I NUMBER(9), BIG NUMBER(12), F NUMBER(10,2), N NUMBER, "
                            "D DATE, S VARCHAR2(30), C CHAR(3), L LONG)"));
    Exec(*s, QStringLiteral(
                 "INSERT INTO TYPES_T VALUES (7, 123456789012, 2.5, 1.25, "
                 "TO_DATE('2024-03-01 10:20:30', 'YYYY-MM-DD HH24:MI:SS'), 'Иванов', 'ab', 'long text')"));
    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("SELECT I, BIG, F, N, D, S, C, L, ROWID FROM TYPES_T"));
    q.Execute();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Field(QStringLiteral("I")).typeId(), QMetaType::Int);
    EXPECT_EQ(q.Field(QStringLiteral("I")).toInt(), 7);
    EXPECT_EQ(q.Field(QStringLiteral("BIG")).typeId(), QMetaType::Double);
    EXPECT_EQ(q.Field(QStringLiteral("BIG")).toDouble(), 123456789012.0);
    EXPECT_EQ(q.FieldAsString(QStringLiteral("BIG")), QStringLiteral("123456789012"));
    EXPECT_EQ(q.Field(QStringLiteral("F")).toDouble(), 2.5);
    EXPECT_EQ(q.Field(QStringLiteral("N")).typeId(), QMetaType::Double);
    EXPECT_EQ(q.Field(QStringLiteral("D")).toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30)));
    EXPECT_EQ(q.Field(QStringLiteral("S")).toString(), QStringLiteral("Иванов"));
    EXPECT_EQ(q.Field(QStringLiteral("L")).toString(), QStringLiteral("long text"));
    EXPECT_EQ(q.FieldAsString(QStringLiteral("ROWID")).size(), 18);
}

// The client library owns what the describe's attributes point to: the layer copies it while the
// parameter descriptor is alive (ocisqlite overwrites a freed descriptor's text, as reused memory would).
TEST_F(QueryTest, ColumnNamesAreCopiedBeforeTheirDescriptorIsFreed) {
    auto s = NewSession();
    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("SELECT 1 A, 'x' A_VERY_LONG_COLUMN_ALIAS_NAME, "
                                "TO_CHAR(SYSDATE,'DD.MM.YYYY HH24:MI:SS') FROM DUAL"));
    q.Execute();
    ASSERT_EQ(q.FieldCount(), 3);
    EXPECT_EQ(q.FieldName(0), QStringLiteral("A"));
    EXPECT_EQ(q.FieldName(1), QStringLiteral("A_VERY_LONG_COLUMN_ALIAS_NAME"));
    // Oracle names an expression by its text.
    EXPECT_EQ(q.FieldName(2), QStringLiteral("TO_CHAR(SYSDATE,'DD.MM.YYYY HH24:MI:SS')"));
    EXPECT_EQ(q.Field(QStringLiteral("a_very_long_column_alias_name")).toString(), QStringLiteral("x"));
}

// The client reads the name and password at OCISessionBegin, not when they are set.
TEST_F(SessionTest, CredentialsStayReadableUntilTheSessionBegins) {
    for (int i = 0; i < 3; ++i) {
        auto s = std::make_unique<TOracleSession>();
        s->SetLogonUsername(User.toLower());
        s->SetLogonPassword(Password);
        s->SetLogonDatabase(Database);
        EXPECT_EQ(MessageOf([&] { s->LogOn(); }), QStringLiteral("<no exception>"));
        EXPECT_TRUE(s->Connected());
    }
}

TEST_F(QueryTest, LineBreaksTravelAsLineFeedsAndComeBackAsCrLf) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("TEXT_T"));
    Exec(*s, QStringLiteral("CREATE TABLE TEXT_T (ID NUMBER(9), NOTE VARCHAR2(100))"));
    TOracleQuery ins;
    ins.SetSession(s.get());
    ins.SQL() << QStringLiteral("INSERT INTO TEXT_T") << QStringLiteral("VALUES (:id, :note)");
    ins.DeclareVariable(QStringLiteral("Id"), otInteger);
    ins.DeclareVariable(QStringLiteral("note"), otString);
    ins.SetVariable(QStringLiteral("ID"), 1);
    ins.SetVariable(QStringLiteral(":Note"), QStringLiteral("first\r\nsecond"));
    ClearTrace();
    ins.Execute();
    EXPECT_EQ(ins.RowsProcessed(), 1);
    EXPECT_EQ(ins.RowId().size(), 18);
    // The two lines reach the server joined by LF alone.
    EXPECT_EQ(TraceCount({QStringLiteral("OCIStmtExecute INSERT INTO TEXT_T\\nVALUES (:id, :note)")}), 1);

    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("SELECT NOTE, LENGTH(NOTE) LEN FROM TEXT_T WHERE ROWID = :r"));
    q.DeclareVariable(QStringLiteral("r"), otString);
    q.SetVariable(QStringLiteral("r"), ins.RowId());
    q.Execute();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Field(QStringLiteral("LEN")).toInt(), 12);
    EXPECT_EQ(q.Field(QStringLiteral("note")).toString(), QStringLiteral("first\r\nsecond"));
}

TEST_F(QueryTest, FiftyMegabyteLongRawRoundTrip) {
    auto s = NewSession();
    DropTable(*s, QStringLiteral("BLOB_T"));
    Exec(*s, QStringLiteral("CREATE TABLE BLOB_T (ID NUMBER(9), CODE LONG RAW)"));
    QByteArray bytes(50 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    TOracleQuery ins;
    ins.SetSession(s.get());
    ins.SetSQLText(QStringLiteral("INSERT INTO BLOB_T VALUES (1, :code)"));
    ins.DeclareVariable(QStringLiteral("code"), otLongRaw);
    ins.SetLongVariable(QStringLiteral("code"), bytes.constData(), int(bytes.size()));
    ins.Execute();
    // A long variable of 0 bytes is NULL.
    ins.SetSQLText(QStringLiteral("INSERT INTO BLOB_T VALUES (2, :code)"));
    ins.SetLongVariable(QStringLiteral("code"), bytes.constData(), 0);
    ins.Execute();
    s->Commit();

    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("SELECT ID, CODE FROM BLOB_T ORDER BY ID"));
    q.Execute();
    ASSERT_FALSE(q.Eof());
    const QByteArray back = q.Field(QStringLiteral("CODE")).toByteArray();
    EXPECT_EQ(back.size(), bytes.size());
    EXPECT_TRUE(back == bytes);
    q.Next();
    ASSERT_FALSE(q.Eof());
    EXPECT_FALSE(q.Field(QStringLiteral("CODE")).isValid());
    q.Next();
    EXPECT_TRUE(q.Eof());
}

TEST_F(QueryTest, ServerErrorsAndMisuse) {
    auto s = NewSession();
    TOracleQuery q;
    q.SetSession(s.get());
    q.SetSQLText(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
    try {
        q.Execute();
        FAIL();
    } catch (const EOracleError& e) {
        EXPECT_EQ(e.ErrorCode(), 942);
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("ORA-00942: table or view does not exist")));
        EXPECT_EQ(e.Component(), &q);
    }
    EXPECT_TRUE(q.Eof());
    // An over-long server text arrives cut at 1023 characters (a name of many parts, each of legal length,
    // is named whole in ORA-00904).
    QString longName = QStringLiteral("C") + QString(100, QLatin1Char('X'));
    for (int i = 0; i < 4; ++i)
        longName += QLatin1Char('.') + longName;
    q.SetSQLText(QStringLiteral("SELECT ") + longName + QStringLiteral("(1) FROM DUAL"));
    try {
        q.Execute();
        FAIL();
    } catch (const EOracleError& e) {
        EXPECT_EQ(e.Message().size(), 1023) << e.Message().left(80).toStdString();
    }
    // The query recovers and runs the next text.
    q.SetSQLText(QStringLiteral("SELECT 1 X FROM DUAL"));
    q.Execute();
    EXPECT_EQ(q.Field(QStringLiteral("x")).toInt(), 1);
    s->LogOff();
    EXPECT_EQ(MessageOf([&] { q.Execute(); }), QStringLiteral("Not logged on"));
}

TEST_F(PackageTest, SetModuleAndClientInfoAreVisibleFromAnotherSession) {
    auto labelled = NewSession();
    {
        TDBMS_Application_Info info(labelled.get());
        info.SetModule(QStringLiteral("Администратор"), QStringLiteral("10.0.0.7"));
        info.SetClientInfo(QStringLiteral("123"));
    }
    auto observer = NewSession();
    TOracleQuery q;
    q.SetSession(observer.get());
    q.SetSQLText(
        QStringLiteral("SELECT MODULE, ACTION, CLIENT_INFO FROM V$SESSION WHERE CLIENT_INFO = '123'"));
    q.Execute();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Field(QStringLiteral("MODULE")).toString(), QStringLiteral("Администратор"));
    EXPECT_EQ(q.Field(QStringLiteral("ACTION")).toString(), QStringLiteral("10.0.0.7"));
}

TEST_F(PackageTest, TheBlockIsDeclaredOnceForTheSameParameters) {
    auto s = NewSession();
    TOraclePackage package;
    package.SetSession(s.get());
    package.SetPackageName(QStringLiteral("sys.DBMS_Application_Info"));
    package.SetParameterMode(pmNamed);
    const QVariantList args = {QStringLiteral("module_name"), QStringLiteral("m"),
                               QStringLiteral("action_name"), QStringLiteral("a")};
    package.CallProcedure(QStringLiteral("set_module"), args);
    EXPECT_EQ(
        package.Query()->SQL(),
        QStringList({QStringLiteral("begin"),
                     QStringLiteral("  sys.DBMS_Application_Info.set_module(module_name => :module_name, "
                                    "action_name => :action_name);"),
                     QStringLiteral("end;")}));
    TVariableData* first = package.Query()->Variables().Find(QStringLiteral("module_name"));
    package.CallProcedure(QStringLiteral("set_module"), args);
    EXPECT_EQ(package.Query()->Variables().Find(QStringLiteral("module_name")), first);
    package.CallProcedure(QStringLiteral("set_client_info"),
                          {QStringLiteral("client_info"), QStringLiteral("5")});
    EXPECT_EQ(package.Query()->Variables().Count(), 1);
    EXPECT_EQ(package.Query()->Variables().Data(0)->Name(), QStringLiteral(":CLIENT_INFO"));

    EXPECT_EQ(MessageOf([&] { package.CallProcedure(QStringLiteral("x"), {QStringLiteral("a")}); }),
              QStringLiteral("Even number of parameters required when ParameterMode = pmNamed"));
    EXPECT_EQ(MessageOf([&] {
                  package.CallProcedure(QStringLiteral("x"), {1, 2});
              }),
              QStringLiteral("Parameter names must be strings"));
    EXPECT_EQ(MessageOf([&] {
                  package.CallProcedure(QStringLiteral("x"),
                                        {QStringLiteral("p"), QVariant::fromValue(QStringList())});
              }),
              QStringLiteral("Type of parameter p not supported"));
}

} // namespace
