// The translator: exact SQLite text for the program's statement shapes, Oracle's parse errors, the
// recognised PL/SQL blocks, and Oracle semantics checked by running the translation on SQLite.
#include "TestDb.h"

#include <gtest/gtest.h>

using namespace ocisqlite;
using ocisqlite::test::Row;
using ocisqlite::test::TestDb;
using ocisqlite::test::Value;

namespace {

class Schema : public ::testing::Test {
protected:
    void SetUp() override {
        db.run("CREATE TABLE USER_PSW (TABNUM NUMBER(9), NAME VARCHAR2(40), PWD VARCHAR2(40), "
               "ALLNAME VARCHAR2(100), GROUPID NUMBER(9), WENABLED CHAR(1), IPADR VARCHAR2(200), IP "
               "VARCHAR2(40))");
        db.run("CREATE SYNONYM KMR_USER_PSW FOR USER_PSW");
        db.run("CREATE TABLE KMR_PROG_FOR_USER (TABNUM NUMBER(9), ID_PROGRAMM NUMBER(9))");
        db.run("CREATE TABLE KMR_PROGRAMMEXE (ID_PROGRAMMEXE NUMBER(9), PRNAME VARCHAR2(255), "
               "PRALIAS VARCHAR2(100), PRDATE_TIME DATE, PRCOD LONG RAW)");
        db.run("CREATE TABLE T (ID NUMBER(9), NAME VARCHAR2(20))");
    }
    TestDb db;
};

Translation tr(TestDb& db, const std::string& sql) {
    return translate(sql, db);
}

std::string oraErrorOf(TestDb& db, const std::string& sql) {
    try {
        translate(sql, db);
    } catch (const OraError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST_F(Schema, TranslatesTheProgramsStatementShapes) {
    struct Case {
        const char* oracle;
        const char* sqlite;
    } cases[] = {
        {"SELECT MAIN,SECOND,RO FROM SRV", nullptr}, // SRV does not exist here: see the error table
        {"SELECT COUNT(*) CNT FROM KMR_USER_PSW",
         "SELECT count(*) AS \"CNT\" FROM \"USER_PSW\" AS \"KMR_USER_PSW\""},
        {"SELECT MAX(TABNUM) ID FROM KMR_USER_PSW",
         "SELECT max(\"TABNUM\") AS \"ID\" FROM \"USER_PSW\" AS \"KMR_USER_PSW\""},
        {"SELECT TABNUM, ALLNAME, ROWID FROM KMR_USER_PSW\r\nORDER BY GROUPID, ALLNAME",
         "SELECT \"TABNUM\" AS \"TABNUM\", \"ALLNAME\" AS \"ALLNAME\", ora_rowid(70001, "
         "\"KMR_USER_PSW\".rowid) AS "
         "\"ROWID\" FROM \"USER_PSW\" AS \"KMR_USER_PSW\" ORDER BY \"GROUPID\" ASC NULLS LAST, \"ALLNAME\" "
         "ASC NULLS "
         "LAST"},
        {"select * from KMR_USER_PSW where rowid = :tav__rowid\nfor update nowait\n",
         "SELECT * FROM \"USER_PSW\" AS \"KMR_USER_PSW\" WHERE (\"KMR_USER_PSW\".rowid = :TAV__ROWID)"},
        {"update KMR_USER_PSW\nset ALLNAME = :v2, IP = null\nwhere rowid = :tav__rowid\nreturning rowid into "
         ":tav__rowid\n",
         "UPDATE \"USER_PSW\" AS \"KMR_USER_PSW\" SET \"ALLNAME\" = :V2, \"IP\" = NULL WHERE "
         "(\"KMR_USER_PSW\".rowid = :TAV__ROWID) RETURNING rowid"},
        {"INSERT INTO KMR_PROG_FOR_USER VALUES (:IDUSER, :IDPRG)",
         "INSERT INTO \"KMR_PROG_FOR_USER\" VALUES (:IDUSER, :IDPRG)"},
        {"SELECT * FROM USER_PSW WHERE ((NAME = '')\r\n or (NAME IS NULL)\r\n) AND ((IPADR LIKE '%1.2%')\r\n "
         "OR "
         "(IPADR ='') OR (IPADR IS NULL)) AND (WENABLED='T')",
         "SELECT * FROM \"USER_PSW\" WHERE ((((((\"NAME\" = NULL)) OR ((\"NAME\" IS NULL)))) AND "
         "(((((\"IPADR\" "
         "LIKE '%1.2%')) OR ((\"IPADR\" = NULL))) OR ((\"IPADR\" IS NULL))))) AND ((\"WENABLED\" = 'T')))"},
        {"select nvl(NAME, 'x') || SUBSTR(NAME, 2, 20) from T",
         "SELECT ora_concat(nvl(\"NAME\", 'x'), substr(\"NAME\", 2, 20)) AS "
         "\"NVL(NAME,'x')||SUBSTR(NAME,2,20)\" "
         "FROM \"T\""},
        {"select sysdate from dual",
         "SELECT ora_sysdate() AS \"SYSDATE\" FROM (SELECT 'X' AS \"DUMMY\") AS \"DUAL\""},
        {"select id from t order by id desc",
         "SELECT \"ID\" AS \"ID\" FROM \"T\" ORDER BY \"ID\" DESC NULLS FIRST"},
        {"DELETE FROM KMR_PROG_FOR_USER \r\nWHERE TABNUM = 5\r\nAND ID_PROGRAMM = 7",
         "DELETE FROM \"KMR_PROG_FOR_USER\" WHERE ((\"TABNUM\" = 5) AND (\"ID_PROGRAMM\" = 7))"},
        {"savepoint TAV__LOCKPOINT", "SAVEPOINT \"TAV__LOCKPOINT\""},
        {"rollback to savepoint TAV__LOCKPOINT", "ROLLBACK TO SAVEPOINT \"TAV__LOCKPOINT\""},
        {"CREATE TABLE X (A NUMBER(9,2) NOT NULL, B VARCHAR2(10 CHAR) DEFAULT '', C LONG RAW, D INTEGER)",
         "CREATE TABLE \"X\" (\"A\" NUMBER(9,2) NOT NULL, \"B\" VARCHAR2(10) DEFAULT (NULL), \"C\" LONG RAW, "
         "\"D\" "
         "NUMBER(38))"},
    };
    for (const Case& c : cases) {
        if (!c.sqlite)
            continue;
        SCOPED_TRACE(c.oracle);
        EXPECT_EQ(tr(db, c.oracle).sql, c.sqlite);
    }
}

TEST_F(Schema, ReportsOraclesParseErrors) {
    struct Case {
        const char* oracle;
        const char* error;
    } cases[] = {
        {"SELECT MAIN,SECOND,RO FROM SRV", "ORA-00942: table or view does not exist"},
        {"", "ORA-00900: invalid SQL statement"},
        {"FROB THE TABLE", "ORA-00900: invalid SQL statement"},
        {"select id from t;", "ORA-00933: SQL command not properly ended"},
        {"select id from t where", "ORA-00936: missing expression"},
        {"select id t2 x from t", "ORA-00923: FROM keyword not found where expected"},
        {"select frob(id) from t", "ORA-00904: \"FROB\": invalid identifier"},
        {"select id from t where name = 'abc", "ORA-01756: quoted string not properly terminated"},
        {"select id from t where name = ?", "ORA-00911: invalid character"},
        {"select (id from t", "ORA-00907: missing right parenthesis"},
        {"insert t values (1, 'a')", "ORA-00925: missing INTO keyword"},
        {"insert into t (id, name) values (1)", "ORA-00947: not enough values"},
        {"insert into t (id) values (1, 2)", "ORA-00913: too many values"},
        {"update t name = 1", "ORA-00971: missing SET keyword"},
        {"select rowid from t, KMR_PROG_FOR_USER", "ORA-00918: column ambiguously defined"},
        {"create table t (x number)", "ORA-00955: name is already used by an existing object"},
        {"create table z (x frobtype)", "ORA-00902: invalid datatype"},
        {"drop table nosuch", "ORA-00942: table or view does not exist"},
        {"create table z (x varchar2(:n))", "ORA-00910: specified length too long for its datatype"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oracle);
        EXPECT_EQ(oraErrorOf(db, c.oracle), c.error);
    }
}

TEST_F(Schema, BoundsNesting) {
    auto nested = [](int depth, const char* open, const char* close) {
        std::string sql = "select ";
        for (int i = 0; i < depth; ++i)
            sql += open;
        sql += "1";
        for (int i = 0; i < depth; ++i)
            sql += close;
        return sql + " from dual";
    };
    EXPECT_NO_THROW(tr(db, nested(40, "(", ")")));
    EXPECT_EQ(oraErrorOf(db, nested(5000, "(", ")")),
              "ORA-00600: internal error code, arguments: [nesting too deep]");
    EXPECT_EQ(oraErrorOf(db, nested(5000, "- ", "")),
              "ORA-00600: internal error code, arguments: [nesting too deep]");
    EXPECT_EQ(oraErrorOf(db, nested(5000, "(select ", " from dual)")),
              "ORA-00600: internal error code, arguments: [nesting too deep]");
}

TEST_F(Schema, DescribesRowidLocksAndReturning) {
    const Translation lock =
        tr(db, "select * from KMR_USER_PSW where rowid = :tav__rowid\nfor update nowait");
    EXPECT_EQ(lock.kind, StatementKind::Select);
    EXPECT_TRUE(lock.forUpdate);
    EXPECT_TRUE(lock.noWait);
    EXPECT_EQ(lock.targetTable, "USER_PSW"); // through the synonym
    EXPECT_EQ(lock.rowidBinds.at("TAV__ROWID"), 70001u);
    EXPECT_EQ(lock.lockRowsSql, "SELECT \"KMR_USER_PSW\".rowid FROM \"USER_PSW\" AS \"KMR_USER_PSW\" WHERE "
                                "(\"KMR_USER_PSW\".rowid = :TAV__ROWID)");

    const Translation ins = tr(db, "insert into KMR_USER_PSW\n  (TABNUM, ALLNAME)\nvalues\n  (:v1, :v2)\n"
                                   "returning rowid into :tav__rowid");
    EXPECT_EQ(ins.kind, StatementKind::Insert);
    EXPECT_EQ(ins.ociStmtType, 4);
    EXPECT_EQ(ins.returningRowidBind, "TAV__ROWID");
    EXPECT_EQ(ins.binds, (std::vector<std::string>{"V1", "V2", "TAV__ROWID"}));
    EXPECT_EQ(ins.sql,
              "INSERT INTO \"USER_PSW\" AS \"KMR_USER_PSW\" (\"TABNUM\", \"ALLNAME\") VALUES (:V1, :V2) "
              "RETURNING rowid");

    const Translation del = tr(db, "delete from KMR_USER_PSW\nwhere rowid = :tav__rowid");
    EXPECT_EQ(del.ociStmtType, 3);
    EXPECT_EQ(del.targetTable, "USER_PSW");
    EXPECT_FALSE(del.lockRowsSql.empty());

    const Translation count =
        tr(db, "SELECT COUNT(*) PCOUNT, TO_CHAR(PRDATE_TIME, 'HH24:MI DD:MM:YY') DT, ROWID "
               "FROM KMR_PROGRAMMEXE");
    EXPECT_EQ(count.columnTypes.at("PCOUNT"), "NUMBER");
    EXPECT_EQ(count.columnTypes.at("DT"), "VARCHAR2(14)");
    EXPECT_EQ(count.columnTypes.at("ROWID"), "ROWID");

    const Translation syn = tr(db, "CREATE SYNONYM KMR_USERS FOR KMR_USER_PSW");
    EXPECT_EQ(syn.kind, StatementKind::CreateSynonym);
    EXPECT_EQ(syn.synonymName, "KMR_USERS");
    EXPECT_EQ(syn.synonymTarget, "KMR_USER_PSW");

    EXPECT_EQ(tr(db, "commit").kind, StatementKind::Commit);
    EXPECT_EQ(tr(db, "ROLLBACK WORK").kind, StatementKind::Rollback);
    const Translation rb = tr(db, "rollback to TAV__LOCKPOINT");
    EXPECT_EQ(rb.kind, StatementKind::RollbackToSavepoint);
    EXPECT_EQ(rb.savepointName, "TAV__LOCKPOINT");
    EXPECT_TRUE(tr(db, "select sid, module from v$session").usesSessionView);
}

TEST_F(Schema, RecognisesTheProgramsPlSqlBlocks) {
    const Translation txn = tr(db, "begin :id := sys.dbms_transaction.local_transaction_id; end;");
    EXPECT_EQ(txn.kind, StatementKind::PlSqlBlock);
    EXPECT_EQ(txn.ociStmtType, 8);
    EXPECT_EQ(txn.plsql.kind, PlSqlCall::Kind::LocalTransactionId);
    EXPECT_EQ(txn.plsql.args.at("RESULT"), ":ID");
    EXPECT_EQ(txn.binds, std::vector<std::string>{"ID"});

    const Translation module =
        tr(db, "begin\n  sys.DBMS_Application_Info.set_module(module_name => :module_name, action_name => "
               ":action_name);\nend;\n");
    EXPECT_EQ(module.plsql.kind, PlSqlCall::Kind::SetModule);
    EXPECT_EQ(module.plsql.args.at("MODULE_NAME"), ":MODULE_NAME");
    EXPECT_EQ(module.plsql.args.at("ACTION_NAME"), ":ACTION_NAME");

    // Positional arguments, a literal and a NULL (no value).
    const Translation positional = tr(db, "BEGIN DBMS_APPLICATION_INFO.SET_MODULE('Admin', Null); END;");
    EXPECT_EQ(positional.plsql.args.at("MODULE_NAME"), "Admin");
    EXPECT_EQ(positional.plsql.args.count("ACTION_NAME"), 0u);

    const Translation info = tr(db, "begin\n  sys.DBMS_Application_Info.set_client_info(client_info => "
                                    ":client_info);\nend;");
    EXPECT_EQ(info.plsql.kind, PlSqlCall::Kind::SetClientInfo);
    EXPECT_EQ(info.plsql.args.at("CLIENT_INFO"), ":CLIENT_INFO");

    EXPECT_EQ(tr(db, "begin null; end;").plsql.kind, PlSqlCall::Kind::Null);
}

TEST_F(Schema, RefusesEveryOtherBlockWithOraclesStack) {
    EXPECT_EQ(oraErrorOf(db, "begin sys.dbms_foo.bar(1); end;"),
              "ORA-06550: line 1, column 7:\nPLS-00201: identifier 'SYS.DBMS_FOO' must be declared\n"
              "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored");
    EXPECT_EQ(oraErrorOf(db, "begin\n  :x := frob;\nend;"),
              "ORA-06550: line 2, column 9:\nPLS-00201: identifier 'FROB' must be declared\n"
              "ORA-06550: line 2, column 3:\nPL/SQL: Statement ignored");
    EXPECT_EQ(oraErrorOf(db, "begin dbms_application_info.set_action('x'); end;"),
              "ORA-06550: line 1, column 29:\nPLS-00302: component 'SET_ACTION' must be declared\n"
              "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored");
    EXPECT_EQ(oraErrorOf(db, "begin dbms_application_info.set_module(module_name => :m); end;"),
              "ORA-06550: line 1, column 29:\nPLS-00306: wrong number or types of arguments in call to "
              "'SET_MODULE'\nORA-06550: line 1, column 7:\nPL/SQL: Statement ignored");
    EXPECT_EQ(
        oraErrorOf(db, "begin null; end"),
        "ORA-06550: line 1, column 16:\nPLS-00103: Encountered the symbol \"end-of-file\" when expecting "
        "one of the following:\n\n   ;");
}

// ---- semantics, run on SQLite

TEST_F(Schema, EmptyStringIsNullEverywhere) {
    db.run("insert into T values (1, 'a')");
    db.run("insert into T values (2, '')");
    db.run("insert into T (id, name) values (3, :n)", {{"N", ""}});
    EXPECT_EQ(db.scalar("select count(*) from T where name is null"), "2");
    EXPECT_EQ(db.scalar("select count(*) from T where name = ''"), "0");
    EXPECT_EQ(db.scalar("select count(*) from T where name <> ''"), "0");
    EXPECT_EQ(db.scalar("select 'a' || null || 'b' from dual"), "ab");
    EXPECT_EQ(db.scalar("select '' || null from dual"), std::nullopt);
    EXPECT_EQ(db.scalar("select nvl(name, 'none') from T where id = 2"), "none");
    EXPECT_EQ(db.scalar("select rtrim('   ') from dual"), std::nullopt);
    EXPECT_EQ(db.scalar("select substr('abc', 5) from dual"), std::nullopt);
}

TEST_F(Schema, DecodeCaseOrderAndLikeFollowOracle) {
    EXPECT_EQ(db.scalar("select decode(null, null, 'y', 'n') from dual"), "y");
    EXPECT_EQ(db.scalar("select case null when null then 'eq' else 'ne' end from dual"), "ne");
    EXPECT_EQ(
        db.scalar("select decode(substr('1abc', 1,1), '0', '', '1', 'A. '||SUBSTR('1abc', 2, 20)) from dual"),
        "A. abc");
    EXPECT_EQ(db.scalar("select decode(substr('0abc', 1,1), '0', '', '1', 'x') from dual"), std::nullopt);
    db.run("insert into T values (1, 'b')");
    db.run("insert into T values (2, null)");
    db.run("insert into T values (3, 'a')");
    const auto asc = db.run("select name from T order by name");
    ASSERT_EQ(asc.size(), 3u);
    EXPECT_EQ(asc[0][0], "a");
    EXPECT_EQ(asc[2][0], std::nullopt); // NULL sorts last ascending
    EXPECT_EQ(db.run("select name from T order by name desc")[0][0], std::nullopt);
    EXPECT_EQ(db.scalar("select count(*) from T where name like 'A%'"), "0");
    EXPECT_EQ(db.scalar("select count(*) from T where name like 'a%'"), "1");
}

TEST_F(Schema, ColumnsAreNamedAsOracleNamesThem) {
    db.run("select count(*), max(id) mx, name \"Mixed\", t.id, rowid from t");
    EXPECT_EQ(db.columnNames(), (std::vector<std::string>{"COUNT(*)", "MX", "Mixed", "ID", "ROWID"}));
}

TEST_F(Schema, SynonymRowsAreUpdatedByTheirRowid) {
    db.run("insert into USER_PSW (TABNUM, NAME, ALLNAME) values (7, 'ivanov', 'Ivanov I.I.')");
    const auto rows = db.run("SELECT TABNUM, ALLNAME, ROWID FROM KMR_USER_PSW");
    ASSERT_EQ(rows.size(), 1u);
    const std::string rowid = *rows[0][2];
    EXPECT_EQ(rowid.size(), 18u);
    EXPECT_EQ(decodeRowid(rowid).objectNumber, 70001u);

    const auto updated = db.run("update KMR_USER_PSW\nset ALLNAME = :v2\nwhere rowid = :tav__rowid\n"
                                "returning rowid into :tav__rowid",
                                {{"V2", "Petrov P.P."}, {"TAV__ROWID", rowid}});
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(encodeRowid(70001, std::stoll(*updated[0][0])), rowid);
    EXPECT_EQ(db.scalar("select allname from USER_PSW where tabnum = 7"), "Petrov P.P.");

    // A rowid of another table matches nothing; a malformed one is ORA-01410.
    EXPECT_TRUE(db.run("select * from KMR_USER_PSW where rowid = :r", {{"R", encodeRowid(1, 1)}}).empty());
    try {
        db.run("select * from KMR_USER_PSW where rowid = :r", {{"R", "not-a-rowid"}});
        FAIL() << "expected ORA-01410";
    } catch (const OraError& e) {
        EXPECT_EQ(e.code, 1410);
    }
}

TEST_F(Schema, InsertWithoutColumnListFillsTheColumnsInOrder) {
    db.run("INSERT INTO KMR_PROG_FOR_USER VALUES (:IDUSER, :IDPRG)", {{"IDUSER", "3"}, {"IDPRG", "9"}});
    const auto rows = db.run("SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (Row{"3", "9"}));
}

TEST_F(Schema, DatesCompareAndFormatAsTheEventLogNeeds) {
    db.run("insert into KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRDATE_TIME) values "
           "(1, 'A.EXE', TO_DATE('08.12.2026 14:05:00', 'dd.mm.yyyy hh24:mi:ss'))");
    EXPECT_EQ(db.scalar("select TO_CHAR(PRDATE_TIME, 'HH24:MI DD:MM:YY') DTCHANGE from KMR_PROGRAMMEXE "
                        "where (PRDATE_TIME >= TO_DATE('08.12.2026 00:00:00', 'dd.mm.yyyy hh24:mi:ss'))\r\n"
                        "and (PRDATE_TIME <=TO_DATE('08.12.2026 23:59:59', 'dd.mm.yyyy hh24:mi:ss'))"),
              "14:05 08:12:26");
    try {
        db.run("select TO_DATE('08.13.2026 00:00:00', 'dd.mm.yyyy hh24:mi:ss') from dual");
        FAIL() << "expected ORA-01843";
    } catch (const OraError& e) {
        EXPECT_EQ(std::string(e.what()), "ORA-01843: not a valid month");
        EXPECT_EQ(e.code, 1843);
    }
}

// Known differences from Oracle, asserted as they are so that closing one makes its test fail on purpose.
TEST_F(Schema, GapsAgainstOracle) {
    // Oracle's DECODE evaluates a result only when its search matched; here every argument is evaluated,
    // so a failing expression in a branch not taken still fails (Oracle would return 'a').
    try {
        db.run("select decode('1', '1', 'a', to_date('x', 'dd')) from dual");
        ADD_FAILURE() << "DECODE now short-circuits: update this gap";
    } catch (const OraError& e) {
        EXPECT_EQ(e.code, 1858);
    }
    // Oracle divides NUMBERs exactly (3.5); SQLite divides integers as integers.
    EXPECT_EQ(db.scalar("select 7/2 from dual"), "3");
    // Oracle compares CHAR values blank-padded ('T ' = 'T'); here the comparison is exact.
    db.run("insert into USER_PSW (TABNUM, WENABLED) values (1, 'T')");
    EXPECT_EQ(db.scalar("select count(*) from USER_PSW where WENABLED = 'T '"), "0");
}

} // namespace
