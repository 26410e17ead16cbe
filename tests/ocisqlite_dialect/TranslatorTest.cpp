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
         "SELECT max(\"KMR_USER_PSW\".\"TABNUM\") AS \"ID\" FROM \"USER_PSW\" AS \"KMR_USER_PSW\""},
        {"SELECT TABNUM, ALLNAME, ROWID FROM KMR_USER_PSW\r\nORDER BY GROUPID, ALLNAME",
         "SELECT \"KMR_USER_PSW\".\"TABNUM\" AS \"TABNUM\", \"KMR_USER_PSW\".\"ALLNAME\" AS \"ALLNAME\", "
         "ora_rowid(70001, \"KMR_USER_PSW\".rowid) AS \"ROWID\" FROM \"USER_PSW\" AS \"KMR_USER_PSW\" ORDER "
         "BY "
         "\"KMR_USER_PSW\".\"GROUPID\" ASC NULLS LAST, \"ALLNAME\" ASC NULLS LAST"},
        {"select * from KMR_USER_PSW where rowid = :tav__rowid\nfor update nowait\n",
         "SELECT * FROM \"USER_PSW\" AS \"KMR_USER_PSW\" WHERE (\"KMR_USER_PSW\".rowid = ?)"},
        {"update KMR_USER_PSW\nset ALLNAME = :v2, IP = null\nwhere rowid = :tav__rowid\nreturning rowid into "
         ":tav__rowid\n",
         "UPDATE \"USER_PSW\" AS \"KMR_USER_PSW\" SET \"ALLNAME\" = ?, \"IP\" = NULL WHERE "
         "(\"KMR_USER_PSW\".rowid = ?) RETURNING rowid"},
        {"INSERT INTO KMR_PROG_FOR_USER VALUES (:IDUSER, :IDPRG)",
         "INSERT INTO \"KMR_PROG_FOR_USER\" VALUES (?, ?)"},
        {"SELECT * FROM USER_PSW WHERE ((NAME = '')\r\n or (NAME IS NULL)\r\n) AND ((IPADR LIKE '%1.2%')\r\n "
         "OR "
         "(IPADR ='') OR (IPADR IS NULL)) AND (WENABLED='T')",
         "SELECT * FROM \"USER_PSW\" WHERE (((((\"USER_PSW\".\"NAME\" = NULL)) OR ((\"USER_PSW\".\"NAME\" IS "
         "NULL)))) AND ((((\"USER_PSW\".\"IPADR\" LIKE '%1.2%')) OR ((\"USER_PSW\".\"IPADR\" = NULL)) OR "
         "((\"USER_PSW\".\"IPADR\" IS NULL)))) AND ((\"USER_PSW\".\"WENABLED\" = 'T')))"},
        {"select nvl(NAME, 'X') || SUBSTR(NAME, 2, 20) from T",
         "SELECT ora_concat(nvl(\"T\".\"NAME\", 'X'), substr(\"T\".\"NAME\", 2, 20)) AS "
         "\"NVL(NAME,'X')||SUBSTR(NAME,2,20)\" FROM \"T\""},
        {"select sysdate from dual",
         "SELECT ora_sysdate() AS \"SYSDATE\" FROM (SELECT 'X' AS \"DUMMY\") AS \"DUAL\""},
        {"select id from t order by id desc",
         "SELECT \"T\".\"ID\" AS \"ID\" FROM \"T\" ORDER BY \"ID\" DESC NULLS FIRST"},
        {"DELETE FROM KMR_PROG_FOR_USER \r\nWHERE TABNUM = 5\r\nAND ID_PROGRAMM = 7",
         "DELETE FROM \"KMR_PROG_FOR_USER\" WHERE ((\"KMR_PROG_FOR_USER\".\"TABNUM\" = 5) AND "
         "(\"KMR_PROG_FOR_USER\".\"ID_PROGRAMM\" = 7))"},
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
        std::string oracle;
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
        {"select * from t /* not closed", "ORA-01742: comment not terminated properly"},
        {"select \"" + std::string(129, 'x') + "\" from t", "ORA-00972: identifier is too long"},
        {"select count(*), name from t", "ORA-00937: not a single-group group function"},
        {"select name, count(*) from t group by id", "ORA-00979: not a GROUP BY expression"},
        {"select id from t group by id order by name", "ORA-00979: not a GROUP BY expression"},
        {"select * from t where count(*) > 1", "ORA-00934: group function is not allowed here"},
        {"select * from t where rownum <= 2 or id = 1", "ORA-03001: unimplemented feature"},
        {"select id from t order by rownum", "ORA-03001: unimplemented feature"},
        {"select * from t a, KMR_PROG_FOR_USER b where a.id = b.tabnum(+) or a.id = 1",
         "ORA-01719: outer join operator (+) not allowed in operand of OR or IN"},
        {"select * from t a, KMR_PROG_FOR_USER b where a.id(+) = b.tabnum(+)",
         "ORA-01468: a predicate may reference only one outer-joined table"},
        {"select * from t a, KMR_PROG_FOR_USER b where a.id(+) = b.tabnum and b.id_programm(+) = a.id",
         "ORA-01416: two tables cannot be outer-joined to each other"},
        {"select * from t a join KMR_PROG_FOR_USER b on a.id = b.tabnum(+)",
         "ORA-25156: old style outer join (+) cannot be used with ANSI joins"},
        {"select sysdate + sysdate from dual", "ORA-00975: date + date not allowed"},
        {"select * from KMR_PROGRAMMEXE where PRDATE_TIME = 5",
         "ORA-00932: inconsistent datatypes: expected DATE got NUMBER"},
        {"select 1 - sysdate from dual", "ORA-00932: inconsistent datatypes: expected NUMBER got DATE"},
        {"insert into t values (1, name)", "ORA-00984: column not allowed here"},
        {"insert into t values (1)", "ORA-00947: not enough values"},
        {"insert into t (id, namex) values (1, 'a')", "ORA-00904: \"NAMEX\": invalid identifier"},
        {"update t set namex = 1", "ORA-00904: \"NAMEX\": invalid identifier"},
        {"select t.namex from t", "ORA-00904: \"T\".\"NAMEX\": invalid identifier"},
        {"select id from t, KMR_PROG_FOR_USER where tabnum = id", "(no error)"},
        {"select tabnum from KMR_PROG_FOR_USER a, KMR_PROG_FOR_USER b",
         "ORA-00918: column ambiguously defined"},
        {"create synonym s for s", "ORA-01471: cannot create a synonym with same name as object"},
        {"drop synonym nosuch", "ORA-01434: private synonym to be dropped does not exist"},
        {"truncate t", "ORA-03290: Invalid truncate command - missing CLUSTER or TABLE keyword"},
        {"create table pk (a number, b number, primary key (a, c))", "ORA-00904: \"C\": invalid identifier"},
        {"with w (a, b) as (select 1 from dual) select * from w",
         "ORA-32038: number of WITH clause column names does not match number of elements in select list"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oracle);
        EXPECT_EQ(oraErrorOf(db, c.oracle), c.error);
    }
}

TEST_F(Schema, TranslatesOracleOnlyConstructs) {
    struct Case {
        const char* oracle;
        const char* sqlite;
    } cases[] = {
        // DATE arithmetic and exact division
        {"select sysdate - 60 from dual",
         "SELECT ora_date_sub(ora_sysdate(), 60) AS \"SYSDATE-60\" FROM (SELECT 'X' "
         "AS \"DUMMY\") AS \"DUAL\""},
        {"select prdate_time + 1/24 d from KMR_PROGRAMMEXE",
         "SELECT ora_date_add(\"KMR_PROGRAMMEXE\".\"PRDATE_TIME\", ora_div(1, 24)) AS \"D\" FROM "
         "\"KMR_PROGRAMMEXE\""},
        // ROWNUM: a limit, counted before sorting
        {"select id from t where rownum <= :n",
         "SELECT \"T\".\"ID\" AS \"ID\" FROM \"T\" LIMIT ora_rownum_limit('<=', ?)"},
        // CHAR padded literals, text converted to numbers
        {"select 1 x from USER_PSW where WENABLED = 'T' and TABNUM = '7'",
         "SELECT 1 AS \"X\" FROM \"USER_PSW\" WHERE ((\"USER_PSW\".\"WENABLED\" = 'T') AND "
         "(\"USER_PSW\".\"TABNUM\" = 7))"},
        // old-style outer joins
        {"select a.id from t a, KMR_PROG_FOR_USER b where a.id = b.tabnum(+) and b.id_programm(+) = 3",
         "SELECT \"A\".\"ID\" AS \"ID\" FROM \"T\" AS \"A\" LEFT JOIN \"KMR_PROG_FOR_USER\" AS \"B\" ON "
         "((\"A\".\"ID\" = \"B\".\"TABNUM\") AND (\"B\".\"ID_PROGRAMM\" = 3))"},
        // quoted names keep their case, also in SQLite
        {"select \"Ab\" from t2", nullptr},
        {"truncate table t", "DELETE FROM \"T\""},
    };
    db.run("create table t2 (\"Ab\" number, AB number)");
    for (const Case& c : cases) {
        if (!c.sqlite)
            continue;
        SCOPED_TRACE(c.oracle);
        EXPECT_EQ(tr(db, c.oracle).sql, c.sqlite);
    }
    db.run("insert into t2 values (1, 2)");
    EXPECT_EQ(db.run("select \"Ab\", AB from t2"), (std::vector<Row>{{"1", "2"}}));
    EXPECT_EQ(db.columnNames(), (std::vector<std::string>{"Ab", "AB"}));
}

// Thousands of terms in one chain translate in linear time into text SQLite takes (no deep nesting).
TEST_F(Schema, LongChainsStayFlat) {
    db.run("insert into T values (7, 'x')");
    std::string ors = "select count(*) from T where id = 0";
    for (int i = 1; i < 20000; ++i)
        ors += " or id = " + std::to_string(i);
    EXPECT_EQ(db.scalar(ors), "1");
    EXPECT_TRUE(db.last().manyTerms);
    std::string sum = "select 0", concat = "select 'a'";
    for (int i = 0; i < 5000; ++i) {
        sum += " + 1";
        concat += " || 'b'";
    }
    EXPECT_EQ(db.scalar(sum + " from dual"), "5000");
    EXPECT_EQ(db.scalar(concat + " from dual")->size(), 5001u);
    std::string binds = "select count(*) from T where id in (";
    std::map<std::string, Value> values;
    for (int i = 0; i < 32766; ++i) {
        binds += (i ? ", :b" : ":b") + std::to_string(i);
        values["B" + std::to_string(i)] = std::to_string(i);
    }
    EXPECT_EQ(db.scalar(binds + ")", values), "1");
    EXPECT_EQ(db.last().binds.size(), 32766u);
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
                                "(\"KMR_USER_PSW\".rowid = ?)");

    const Translation ins = tr(db, "insert into KMR_USER_PSW\n  (TABNUM, ALLNAME)\nvalues\n  (:v1, :v2)\n"
                                   "returning rowid into :tav__rowid");
    EXPECT_EQ(ins.kind, StatementKind::Insert);
    EXPECT_EQ(ins.ociStmtType, 4);
    EXPECT_EQ(ins.returningRowidBind, "TAV__ROWID");
    EXPECT_EQ(ins.binds, (std::vector<std::string>{"V1", "V2", "TAV__ROWID"}));
    EXPECT_EQ(ins.sql, "INSERT INTO \"USER_PSW\" AS \"KMR_USER_PSW\" (\"TABNUM\", \"ALLNAME\") VALUES (?, ?) "
                       "RETURNING rowid");

    const Translation del = tr(db, "delete from KMR_USER_PSW\nwhere rowid = :tav__rowid");
    EXPECT_EQ(del.ociStmtType, 3);
    EXPECT_EQ(del.targetTable, "USER_PSW");
    EXPECT_FALSE(del.lockRowsSql.empty());

    EXPECT_EQ(tr(db, "SELECT COUNT(*) PCOUNT FROM KMR_PROGRAMMEXE").columnTypes.at("PCOUNT"), "NUMBER");
    const Translation types =
        tr(db, "SELECT TO_CHAR(PRDATE_TIME, 'HH24:MI DD:MM:YY') DT, ROWID, PRDATE_TIME + 1 "
               "NEXT_DAY, PRDATE_TIME - PRDATE_TIME DAYS FROM KMR_PROGRAMMEXE");
    EXPECT_EQ(types.columnTypes.at("DT"), "VARCHAR2(14)");
    EXPECT_EQ(types.columnTypes.at("ROWID"), "ROWID");
    EXPECT_EQ(types.columnTypes.at("NEXT_DAY"), "DATE");
    EXPECT_EQ(types.columnTypes.at("DAYS"), "NUMBER");

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

// SQLite sorts NULL first ascending, Oracle last: the translator says NULLS LAST / FIRST on every key that
// may be NULL, and leaves it off (SQLite's faster comparison) only where no row can hold NULL.
TEST_F(Schema, OrderByNamesTheNullsPlaceUnlessTheKeyIsNeverNull) {
    db.run("CREATE TABLE NN (ID NUMBER(9) NOT NULL, K NUMBER(9) PRIMARY KEY, V VARCHAR2(10))");
    db.run("CREATE TABLE PK (A NUMBER(9), B NUMBER(9), CONSTRAINT PK_PK PRIMARY KEY (A))");
    const auto nn = db.columns("NN");
    ASSERT_EQ(nn.size(), 3u);
    EXPECT_TRUE(nn[0].notNull);
    EXPECT_TRUE(nn[1].notNull); // a primary key is NOT NULL in SQLite only when declared so
    EXPECT_FALSE(nn[2].notNull);
    const auto pk = db.columns("PK");
    ASSERT_EQ(pk.size(), 2u);
    EXPECT_TRUE(pk[0].notNull);
    EXPECT_FALSE(pk[1].notNull);

    struct Case {
        const char* oracle;
        const char* orderBy; // the translation's text after " ORDER BY "
    } cases[] = {
        // Never NULL: a NOT NULL or primary key column, by name, alias, position, star or expression.
        {"select id from nn order by id", "\"ID\" ASC"},
        {"select id from nn order by id desc", "\"ID\" DESC"},
        {"select v from nn order by id", "\"NN\".\"ID\" ASC"},
        {"select v from nn order by nn.k desc", "\"NN\".\"K\" DESC"},
        {"select id x from nn order by x", "\"X\" ASC"},
        {"select k from nn order by 1", "1 ASC"},
        {"select * from nn order by 2 desc", "2 DESC"},
        {"select nn.* from nn order by 1", "1 ASC"},
        {"select a from pk order by a", "\"A\" ASC"},
        {"select id, count(*) from nn group by id order by id", "\"ID\" ASC"},
        {"select v from nn where rownum <= 5 order by id", "\"NN\".\"ID\" ASC"},
        {"select rowid from nn order by rowid", "\"ROWID\" ASC"},
        {"select v from nn order by rowid desc", "ora_rowid(70005, \"NN\".rowid) DESC"},
        {"select nn.id from nn join t on t.id = nn.id order by nn.id", "\"NN\".\"ID\" ASC"},
        {"select nn.id from nn left join t on t.id = nn.id order by nn.id", "\"NN\".\"ID\" ASC"},
        {"select n.id from nn n, t where n.id = t.id(+) order by n.id", "\"N\".\"ID\" ASC"},
        {"select id from (select id from nn) order by id", "\"ID\" ASC"},
        {"with w as (select id from nn) select id from w order by id", "\"ID\" ASC"},
        {"with w (x) as (select k from nn) select x from w order by x", "\"X\" ASC"},
        {"select id, v from nn order by id, v", "\"ID\" ASC, \"V\" ASC NULLS LAST"},
        {"select id from nn order by id nulls first", "\"ID\" ASC NULLS FIRST"},
        // May be NULL: a nullable column, anything computed, or a column that an outer join, another
        // member of a compound, or a sub-query that may give NULL stands behind.
        {"select v from nn order by v", "\"V\" ASC NULLS LAST"},
        {"select v from nn order by v desc", "\"V\" DESC NULLS FIRST"},
        {"select b from pk order by b", "\"B\" ASC NULLS LAST"},
        {"select * from nn order by 3", "3 ASC NULLS LAST"},
        {"select id from nn order by 5", "5 ASC NULLS LAST"},
        {"select nvl(id, 0) x from nn order by x", "\"X\" ASC NULLS LAST"},
        {"select v id from nn order by id", "\"ID\" ASC NULLS LAST"},
        {"select id from nn order by -id", "(-\"NN\".\"ID\") ASC NULLS LAST"},
        {"select id from nn order by (id)", "(\"NN\".\"ID\") ASC NULLS LAST"},
        {"select t.id from nn left join t on t.id = nn.id order by t.id", "\"T\".\"ID\" ASC NULLS LAST"},
        {"select nn.id from t left join nn on t.id = nn.id order by nn.id", "\"NN\".\"ID\" ASC NULLS LAST"},
        {"select nn.id from t left outer join nn on t.id = nn.id order by 1 desc", "1 DESC NULLS FIRST"},
        {"select nn.* from t left join nn on t.id = nn.id order by 1", "1 ASC NULLS LAST"},
        {"select n.id from t, nn n where t.id = n.id(+) order by n.id", "\"N\".\"ID\" ASC NULLS LAST"},
        {"select n.rowid r from t, nn n where t.id = n.id(+) order by r", "\"R\" ASC NULLS LAST"},
        {"select id from nn union all select k from nn order by 1", "1 ASC NULLS LAST"},
        {"select id from nn union select id from t order by id", "\"ID\" ASC NULLS LAST"},
        {"select id from (select id from nn union all select null from dual) order by id",
         "\"ID\" ASC NULLS LAST"},
        {"with w as (select id from nn union all select null from dual) select id from w order by id",
         "\"ID\" ASC NULLS LAST"},
        {"select (select max(id) from nn) m from dual order by m", "\"M\" ASC NULLS LAST"},
        {"select id from (select nn.id from t left join nn on t.id = nn.id) order by id",
         "\"ID\" ASC NULLS LAST"},
        {"select max(id) m from nn order by m", "\"M\" ASC NULLS LAST"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oracle);
        const std::string sql = tr(db, c.oracle).sql;
        const std::size_t at = sql.rfind(" ORDER BY ");
        ASSERT_NE(at, std::string::npos) << sql;
        EXPECT_EQ(sql.substr(at + 10), c.orderBy) << sql;
    }
}

TEST_F(Schema, ColumnsAreNamedAsOracleNamesThem) {
    db.run("select count(*), max(id) mx, name \"Mixed\", t.id, rowid from t group by name, t.id, rowid");
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
}

} // namespace
