// The editable dataset against the embedded server: the statements it sends (read back from the
// server's round-trip trace), the concurrency checks between two sessions, and the refusals that
// must happen before anything reaches the server.
#include "OracleData.h"
#include "ServerPair.h"

#include "../support/ScopedEnv.h"

#include <chrono>

#include <gtest/gtest.h>

namespace {

const QString UserListSql =
    "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM KMR_USER_PSW\r\n"
    "ORDER BY GROUPID, ALLNAME";

const QString LockSelect = "select * from KMR_USER_PSW where rowid = :tav__rowid\nfor update nowait";

class DatasetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Db.Error().isEmpty()) << Db.Error().toStdString();
        Session = Db.LogOn(Db.MainDb());
        TServerPair::Exec(*Session,
                          "INSERT INTO KMR_USER_PSW (TABNUM, NAME, ALLNAME, GROUPID, WENABLED, IPADR, IP) "
                          "VALUES (1, 'ivanov', 'Иванов И.И.', 1, 'T', '10.0.0.1', '10.0.0.1')");
        TServerPair::Exec(*Session,
                          "INSERT INTO KMR_USER_PSW (TABNUM, NAME, ALLNAME, GROUPID, WENABLED, IPADR, IP) "
                          "VALUES (2, 'petrov', 'Петров П.П.', 1, 'F', NULL, NULL)");
        TServerPair::Exec(*Session,
                          "INSERT INTO KMR_USER_PSW (TABNUM, NAME, ALLNAME, GROUPID) VALUES (3, 'sidorov', "
                          "'Сидоров С.С.', 2)");
        Session->Commit();
    }

    std::unique_ptr<TOracleDataSet> OpenUsers() {
        auto ds = std::make_unique<TOracleDataSet>();
        ds->SetSession(Session.get());
        ds->SetSQLText(UserListSql);
        ds->Open();
        return ds;
    }

    // TABNUM, NAME, ALLNAME, WENABLED and IPADR of a user as another session reads them.
    QString ServerRow(int tabnum) {
        auto other = Db.LogOn(Db.MainDb());
        TOracleQuery query;
        query.SetSession(other.get());
        query.SetSQLText(
            QString("SELECT TABNUM, NAME, ALLNAME, WENABLED, IPADR FROM KMR_USER_PSW WHERE TABNUM = %1")
                .arg(tabnum));
        query.Execute();
        if (query.Eof())
            return QString("<no row>");
        QStringList values;
        for (int i = 0; i < query.FieldCount(); ++i)
            values << query.FieldAsString(i);
        return values.join(u'|');
    }

    // ALLNAME of a user as another session reads it.
    QString ServerName(int tabnum) {
        auto other = Db.LogOn(Db.MainDb());
        TOracleQuery query;
        query.SetSession(other.get());
        query.SetSQLText(QString("SELECT ALLNAME FROM KMR_USER_PSW WHERE TABNUM = %1").arg(tabnum));
        query.Execute();
        return query.Eof() ? QString("<no row>") : query.FieldAsString("ALLNAME");
    }

    // Every test works on a copy of the servers made once.
    TServerPair Db{TServerContent::Schema};
    std::unique_ptr<TOracleSession> Session;
};

TEST_F(DatasetTest, UserListHasSevenFieldsAndNoRowIdField) {
    auto ds = OpenUsers();
    ASSERT_EQ(ds->FieldCount(), 7);
    const QStringList expected{"TABNUM", "ALLNAME", "NAME", "GROUPID", "WENABLED", "IPADR", "IP"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(ds->Fields(i)->FieldName(), expected[i]);
        EXPECT_EQ(ds->Fields(i)->ColumnPosition(), i + 1);
    }
    EXPECT_TRUE(ds->HasRowId());
    EXPECT_EQ(ds->FindField("ROWID"), nullptr);
    EXPECT_EQ(ds->UpdatingTableName(), "KMR_USER_PSW");
    EXPECT_EQ(ds->FieldByName("tabnum")->DataType(), ftInteger);
    EXPECT_TRUE(ds->FieldByName("TABNUM")->Required());
    EXPECT_FALSE(ds->FieldByName("NAME")->Required());
    EXPECT_EQ(ds->FieldByName("ALLNAME")->DataType(), ftString);
    EXPECT_EQ(ds->FieldByName("ALLNAME")->Size(), 200);
    EXPECT_EQ(ds->RowId().size(), 18);
    EXPECT_TRUE(ds->CanModify());

    // Ordered by group, then full name; walked with First / Next / Eof.
    QStringList names;
    for (ds->First(); !ds->Eof(); ds->Next())
        names << ds->FieldByName("NAME")->AsString();
    EXPECT_EQ(names, (QStringList{"ivanov", "petrov", "sidorov"}));
    EXPECT_EQ(ds->RecordCount(), 3);
    ds->SetRecNo(2);
    EXPECT_EQ(ds->FieldByName("ALLNAME")->AsString(), "Петров П.П.");
    EXPECT_TRUE(ds->FieldByName("IPADR")->IsNull());

    try {
        ds->FieldByName("PWD");
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'PWD' not found");
    }
}

TEST_F(DatasetTest, AllRowsAreFetchedInBlocksAtOpenAndNavigationStaysLocal) {
    for (int tabnum = 100; tabnum < 157; ++tabnum)
        TServerPair::Exec(*Session,
                          QString("INSERT INTO KMR_USER_PSW (TABNUM, NAME) VALUES (%1, 'u%1')").arg(tabnum));
    Session->Commit();
    auto roundTrips = [&](int readBuffer) {
        TOracleDataSet ds;
        ds.SetSession(Session.get());
        ds.SetSQLText(UserListSql);
        ds.SetReadBuffer(readBuffer);
        Db.ClearTrace();
        ds.Open();
        EXPECT_EQ(ds.RecordCount(), 60);
        const int calls =
            Db.TraceCount("OCIStmtExecute") + Db.TraceCount("OCIStmtFetch") + Db.TraceCount("OCIStmtFetch2");
        Db.ClearTrace();
        for (ds.First(); !ds.Eof(); ds.Next())
            ds.FieldByName("NAME")->AsString();
        ds.MoveTo(30);
        ds.Last();
        EXPECT_TRUE(Db.Trace().isEmpty());
        return calls;
    };
    // Each round trip brings a block and one row more: 26 + 26 + 8, and seven times 8 and 4.
    EXPECT_EQ(roundTrips(25), 3);
    EXPECT_EQ(roundTrips(7), 8);
}

TEST_F(DatasetTest, ChangingOnlyAllNameSendsFourLineUpdate) {
    auto ds = OpenUsers();
    Db.ClearTrace();
    ds->Edit();
    // The check at Edit reads the row without locking it.
    EXPECT_EQ(Db.TraceFile().Statements(),
              QStringList{"select * from KMR_USER_PSW where rowid = :tav__rowid"});
    ds->FieldByName("ALLNAME")->SetAsString("Иванов Иван Иванович");
    Db.ClearTrace();
    ds->Post();
    EXPECT_EQ(Db.TraceFile().Statements(), (QStringList{"savepoint TAV__LOCKPOINT", LockSelect,
                                                        "update KMR_USER_PSW\n"
                                                        "set ALLNAME = :v2\n"
                                                        "where rowid = :tav__rowid\n"
                                                        "returning rowid into :tav__rowid"}));
    EXPECT_EQ(Db.TraceCount("OCITransCommit"), 1);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("ALLNAME")->AsString(), "Иванов Иван Иванович");
    EXPECT_EQ(ServerRow(1), "1|ivanov|Иванов Иван Иванович|T|10.0.0.1");
}

TEST_F(DatasetTest, PostWithoutRealChangeSendsNothing) {
    auto ds = OpenUsers();
    bool afterPost = false;
    ds->AfterPost = [&](TOracleDataSet*) { afterPost = true; };

    ds->Edit();
    Db.ClearTrace();
    ds->FieldByName("ALLNAME")->SetAsString("Иванов И.И.");
    ds->Post();
    EXPECT_TRUE(Db.TraceFile().Statements().isEmpty());
    EXPECT_TRUE(afterPost);

    // Trailing blanks alone are no change either.
    ds->Edit();
    Db.ClearTrace();
    ds->FieldByName("ALLNAME")->SetAsString("Иванов И.И.   ");
    ds->FieldByName("IPADR")->SetAsString("10.0.0.1 ");
    ds->Post();
    EXPECT_TRUE(Db.TraceFile().Statements().isEmpty());
    EXPECT_EQ(Db.TraceCount("OCITransCommit"), 0);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("ALLNAME")->AsString(), "Иванов И.И.");
}

TEST_F(DatasetTest, TextClearedToEmptyIsSetToNull) {
    auto ds = OpenUsers();
    ds->Edit();
    ds->FieldByName("IPADR")->SetAsString("");
    ds->FieldByName("WENABLED")->SetAsString("F");
    Db.ClearTrace();
    ds->Post();
    const QStringList statements = Db.TraceFile().Statements();
    ASSERT_EQ(statements.size(), 3);
    EXPECT_EQ(statements[2], "update KMR_USER_PSW\n"
                             "set WENABLED = :v5, IPADR = null\n"
                             "where rowid = :tav__rowid\n"
                             "returning rowid into :tav__rowid");
    EXPECT_EQ(ServerRow(1), "1|ivanov|Иванов И.И.|F|");
    ds->Refresh();
    EXPECT_TRUE(ds->FieldByName("IPADR")->IsNull());
    EXPECT_EQ(ds->FieldByName("WENABLED")->AsString(), "F");
}

TEST_F(DatasetTest, InsertSendsOnlyFilledColumnsAndKeepsTheNewRowId) {
    auto ds = OpenUsers();
    ds->AfterInsert = [](TOracleDataSet* set) { set->FieldByName("TABNUM")->SetAsInteger(10); };
    ds->Append();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_EQ(ds->RecordCount(), 4);
    ds->FieldByName("NAME")->SetAsString("novikov");
    Db.ClearTrace();
    ds->Post();
    EXPECT_EQ(Db.TraceFile().Statements(),
              (QStringList{"savepoint TAV__LOCKPOINT", "insert into KMR_USER_PSW\n"
                                                       "  (TABNUM, NAME)\n"
                                                       "values\n"
                                                       "  (:v1, :v3)\n"
                                                       "returning rowid into :tav__rowid"}));
    EXPECT_EQ(Db.TraceCount("OCITransCommit"), 1);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->RowId().size(), 18);
    // Each value went into its own column; the others stay empty.
    EXPECT_EQ(ServerRow(10), "10|novikov|||");

    // The row id read back addresses the new row: it can be edited and deleted at once.
    ds->Edit();
    ds->FieldByName("ALLNAME")->SetAsString("Новиков Н.Н.");
    ds->Post();
    EXPECT_EQ(ServerName(10), "Новиков Н.Н.");
    ds->Delete();
    EXPECT_EQ(ServerName(10), "<no row>");
    EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(DatasetTest, DeleteSendsLockThenDeleteAndRespectsBeforeDelete) {
    auto ds = OpenUsers();
    ds->BeforeDelete = [](TOracleDataSet*) { throw Exception("not now"); };
    Db.ClearTrace();
    EXPECT_THROW(ds->Delete(), Exception);
    EXPECT_TRUE(Db.TraceFile().Statements().isEmpty());
    EXPECT_EQ(ds->RecordCount(), 3);

    ds->BeforeDelete = nullptr;
    ds->Last();
    ds->Delete();
    EXPECT_EQ(Db.TraceFile().Statements(),
              (QStringList{"savepoint TAV__LOCKPOINT", LockSelect,
                           "delete from KMR_USER_PSW\nwhere rowid = :tav__rowid"}));
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ServerName(3), "<no row>");
}

TEST_F(DatasetTest, RowDeletedByAnotherUserStaysInTheList) {
    auto ds = OpenUsers();
    auto other = Db.LogOn(Db.MainDb());
    TServerPair::Exec(*other, "DELETE FROM KMR_USER_PSW WHERE TABNUM = 1");
    other->Commit();
    try {
        ds->Delete();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Record has been deleted by another user");
    }
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->FieldByName("TABNUM")->AsInteger(), 1);
    EXPECT_EQ(ds->State(), dsBrowse);
    // Edit of that row fails the same way.
    EXPECT_THROW(ds->Edit(), EDatabaseError);
}

TEST_F(DatasetTest, RowChangedByAnotherUserFailsAtEdit) {
    auto ds = OpenUsers();
    auto other = Db.LogOn(Db.MainDb());
    TServerPair::Exec(*other, "UPDATE KMR_USER_PSW SET IPADR = '10.0.0.9' WHERE TABNUM = 1");
    other->Commit();
    try {
        ds->Edit();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Record has been changed by another user");
    }
    EXPECT_EQ(ds->State(), dsBrowse);

    // A change between Edit and Post is found by the check under the lock.
    ds->Next();
    ds->Edit();
    TServerPair::Exec(*other, "UPDATE KMR_USER_PSW SET ALLNAME = 'Другой' WHERE TABNUM = 2");
    other->Commit();
    ds->FieldByName("IPADR")->SetAsString("10.1.1.1");
    Db.ClearTrace();
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ(Db.TraceFile().Statements().last(), "rollback to savepoint TAV__LOCKPOINT");
    EXPECT_EQ(ds->State(), dsEdit);
}

TEST_F(DatasetTest, RowLockedByAnotherUserKeepsTheRecordInEdit) {
    // The lock is taken with NOWAIT: the refusal comes at once, not after the wait for a busy row.
    const int busyTimeoutMs = 30000;
    const TScopedEnv busyTimeout("OCISQLITE_BUSY_TIMEOUT_MS", std::to_string(busyTimeoutMs));
    auto ds = OpenUsers();
    ds->Edit();
    ds->FieldByName("ALLNAME")->SetAsString("Иванов-Заблокированный");

    auto other = Db.LogOn(Db.MainDb());
    TServerPair::Exec(*other, "UPDATE KMR_USER_PSW SET IP = IP WHERE TABNUM = 1");
    const auto posted = std::chrono::steady_clock::now();
    try {
        ds->Post();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Record is locked by another user");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - posted, std::chrono::milliseconds(busyTimeoutMs / 10));
    EXPECT_EQ(ds->State(), dsEdit);
    EXPECT_EQ(ds->FieldByName("ALLNAME")->AsString(), "Иванов-Заблокированный");

    // Once the other transaction ends the same post goes through.
    other->Rollback();
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ServerName(1), "Иванов-Заблокированный");
}

TEST_F(DatasetTest, RefusedInsertIsUndoneAndStaysInInsertState) {
    auto ds = OpenUsers();
    ds->Append();
    ds->FieldByName("TABNUM")->SetAsInteger(2); // taken: the primary key refuses it
    ds->FieldByName("NAME")->SetAsString("dup");
    Db.ClearTrace();
    try {
        ds->Post();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith("ORA-00001")) << e.Message().toStdString();
    }
    EXPECT_EQ(Db.TraceFile().Statements().last(), "rollback to savepoint TAV__LOCKPOINT");
    EXPECT_EQ(ds->State(), dsInsert);
    // Nothing of the refused insert survives a commit of the session.
    Session->Commit();
    EXPECT_EQ(ServerName(2), "Петров П.П.");

    // Corrected, the same record is written.
    ds->FieldByName("TABNUM")->SetAsInteger(4);
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ServerName(4), "");
}

TEST_F(DatasetTest, InvalidInputIsRefusedBeforeTheServer) {
    auto ds = OpenUsers();
    ds->Edit();
    Db.ClearTrace();
    try {
        ds->FieldByName("GROUPID")->SetAsString("abc");
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
    }
    EXPECT_FALSE(ds->Modified());
    ds->Cancel();

    // A required column left empty.
    ds->Insert();
    ds->FieldByName("NAME")->SetAsString("nobody");
    try {
        ds->Post();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'TABNUM' must have a value");
    }
    EXPECT_EQ(ds->State(), dsInsert);
    ds->Cancel();
    EXPECT_EQ(ds->RecordCount(), 3);

    // Setting a value outside edit state.
    EXPECT_THROW(ds->FieldByName("NAME")->SetAsString("x"), EDatabaseError);
    EXPECT_TRUE(Db.TraceFile().Statements().isEmpty());
}

TEST_F(DatasetTest, DatasetWithoutRowIdCannotBeModified) {
    TOracleDataSet ds;
    ds.SetSession(Session.get());
    ds.SetSQLText("SELECT TABNUM, NAME FROM KMR_USER_PSW");
    ds.Open();
    EXPECT_FALSE(ds.CanModify());
    for (auto action : {&TOracleDataSet::Edit, &TOracleDataSet::Insert, &TOracleDataSet::Delete}) {
        try {
            (ds.*action)();
            FAIL() << "no error";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), "Cannot modify a read-only dataset");
        }
    }
    EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DatasetTest, AnAliasedRowIdIsFoundByItsServerType) {
    TOracleDataSet ds;
    ds.SetSession(Session.get());
    ds.SetSQLText("SELECT t.ROWID RID, t.TABNUM, t.ALLNAME FROM KMR_USER_PSW t ORDER BY t.TABNUM");
    ds.Open();
    ASSERT_TRUE(ds.CanModify()) << "the ROWID column under another name was not recognised";
    EXPECT_EQ(ds.FindField("RID"), nullptr);
    EXPECT_EQ(ds.FieldCount(), 2);
    EXPECT_EQ(ds.RowId().size(), 18);
    ds.Edit();
    ds.FieldByName("ALLNAME")->SetAsString("Иванов Иван");
    Db.ClearTrace();
    ds.Post();
    EXPECT_EQ(Db.TraceFile().Statements().value(2), "update KMR_USER_PSW\n"
                                                    "set ALLNAME = :v2\n"
                                                    "where rowid = :tav__rowid\n"
                                                    "returning rowid into :tav__rowid");
    EXPECT_EQ(ServerName(1), "Иванов Иван");
    // A column named ROWID still wins over an earlier one of that type.
    TOracleDataSet both;
    both.SetSession(Session.get());
    both.SetSQLText("SELECT t.ROWID RID, t.TABNUM, t.ROWID FROM KMR_USER_PSW t");
    both.Open();
    EXPECT_NE(both.FindField("RID"), nullptr);
    EXPECT_EQ(both.FindField("ROWID"), nullptr);
}

TEST_F(DatasetTest, LeavingARecordPostsItOrDropsAnUntouchedNewOne) {
    auto ds = OpenUsers();
    ds->Insert();
    EXPECT_EQ(ds->RecordCount(), 4);
    ds->Next(); // untouched: dropped, nothing sent; the move starts from the record after it
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("TABNUM")->AsInteger(), 2);
    // A move to a record number counts the records as they were before the drop.
    ds->Insert();
    ds->MoveTo(3);
    EXPECT_EQ(ds->FieldByName("TABNUM")->AsInteger(), 3);
    ds->SetRecNo(2);

    ds->Edit();
    ds->FieldByName("ALLNAME")->SetAsString("Петров Пётр");
    ds->Next();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ServerName(2), "Петров Пётр");
    EXPECT_EQ(ds->FieldByName("TABNUM")->AsInteger(), 3);

    // A handler that reloads after each post (as the user list does) does not shift the move.
    ds->AfterPost = [](TOracleDataSet* set) { set->Refresh(); };
    ds->First();
    ds->Edit();
    ds->FieldByName("IP")->SetAsString("10.0.0.2");
    ds->Next();
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(ds->FieldByName("TABNUM")->AsInteger(), 2);
}

TEST_F(DatasetTest, DuplicateColumnNamesAreMadeUnique) {
    TOracleDataSet ds;
    ds.SetSession(Session.get());
    ds.SetSQLText("SELECT TABNUM, NAME, TABNUM, NAME, TABNUM, ROWID FROM KMR_USER_PSW");
    ds.Open();
    QStringList names;
    for (int i = 0; i < ds.FieldCount(); ++i)
        names << ds.Fields(i)->FieldName();
    EXPECT_EQ(names, (QStringList{"TABNUM", "NAME", "TABNUM_1", "NAME_1", "TABNUM_2"}));
    EXPECT_EQ(ds.Fields(4)->ColumnName(), "TABNUM");
}

TEST_F(DatasetTest, TypedColumnsSurviveTheConcurrencyCheck) {
    TServerPair::Exec(*Session, "CREATE TABLE T_TYPES (ID NUMBER(9) NOT NULL, F NUMBER(12,4), D DATE, "
                                "S CHAR(10), R LONG RAW)");
    TServerPair::Exec(*Session, "INSERT INTO T_TYPES VALUES (1, 3.1416, TO_DATE('2024-02-29 13:45:10', "
                                "'YYYY-MM-DD HH24:MI:SS'), 'ab', NULL)");
    Session->Commit();
    TOracleDataSet ds;
    ds.SetSession(Session.get());
    ds.SetSQLText("SELECT ID, F, D, S, R, ROWID FROM T_TYPES");
    ds.Open();
    EXPECT_EQ(ds.FieldByName("F")->DataType(), ftFloat);
    EXPECT_EQ(ds.FieldByName("D")->DataType(), ftDateTime);
    EXPECT_EQ(ds.FieldByName("R")->DataType(), ftBlob);
    EXPECT_EQ(ds.FieldByName("D")->AsDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10)));

    // Float, date and blank-padded text compare equal to what the server holds.
    ds.Edit();
    ds.FieldByName("F")->SetAsString("2,5");
    ds.FieldByName("D")->SetAsString("01.03.2024 08:00:00");
    ds.FieldByName("R")->SetValue(QByteArray("\x00\x01\xFFraw", 6));
    ds.Post();
    ds.Edit();
    ds.FieldByName("S")->SetAsString("cd");
    ds.Post();
    ds.Refresh();
    EXPECT_DOUBLE_EQ(ds.FieldByName("F")->AsFloat(), 2.5);
    EXPECT_EQ(ds.FieldByName("D")->AsDateTime(), QDateTime(QDate(2024, 3, 1), QTime(8, 0)));
    EXPECT_EQ(ds.FieldByName("R")->Value().toByteArray(), QByteArray("\x00\x01\xFFraw", 6));
    EXPECT_EQ(ds.FieldByName("S")->AsString().trimmed(), "cd");
}

// The dataset loads the rows from the query's buffers itself: every value must be what the query's
// Field gives for it, whatever the text holds.
TEST_F(DatasetTest, LoadedValuesAreThoseTheQueryReads) {
    TServerPair::Exec(*Session, "CREATE TABLE T_LOAD (ID NUMBER(9), F NUMBER(12,4), D DATE, "
                                      "S VARCHAR2(200), C CHAR(4))");
    const QStringList texts = {
        "plain ascii",
        "Кириллица и latin",
        "Café crème",                                    // Latin-1 beyond ASCII
        "two\nlines\r\nmore",                            // every line break becomes CR LF
        QString(QChar(0xFEFF)) + "bom",                  // a leading byte order mark
        QString::fromUtf8("emoji \xF0\x9F\x98\x80 end"), // outside the basic plane
        "   ",                                           // blanks only
    };
    TOracleQuery insert;
    insert.SetSession(Session.get());
    insert.SetSQLText("INSERT INTO T_LOAD VALUES (:I, :F, :D, :S, :C)");
    insert.DeclareVariable("I", otInteger);
    insert.DeclareVariable("F", otFloat);
    insert.DeclareVariable("D", otDate);
    insert.DeclareVariable("S", otString);
    insert.DeclareVariable("C", otString);
    for (int i = 0; i <= texts.size(); ++i) {
        // The last row is all NULL but its key.
        const bool empty = i == texts.size();
        insert.SetVariable("I", i == 2 ? -7 : i);
        insert.SetVariable("F", empty ? QVariant() : QVariant(i * 1.5 - 2.25));
        insert.SetVariable("D",
                           empty ? QVariant() : QVariant(QDateTime(QDate(2025, 1 + i, 3), QTime(i, 5, 9))));
        insert.SetVariable("S", empty ? QVariant() : QVariant(texts[i]));
        insert.SetVariable("C", empty ? QVariant() : QVariant(QString("c%1").arg(i)));
        insert.Execute();
    }
    Session->Commit();
    const QString sql = "SELECT ID, F, D, S, C, ROWID FROM T_LOAD ORDER BY 1";
    TOracleQuery query;
    query.SetSession(Session.get());
    query.SetReadBuffer(3); // rows read across several blocks
    query.SetSQLText(sql);
    query.Execute();
    TOracleDataSet ds;
    ds.SetSession(Session.get());
    ds.SetReadBuffer(3);
    ds.SetSQLText(sql);
    ds.Open();
    ASSERT_EQ(ds.RecordCount(), texts.size() + 1);
    for (int row = 0; row < ds.RecordCount(); ++row, query.Next()) {
        ASSERT_FALSE(query.Eof());
        ds.MoveTo(row);
        for (int c = 0; c < 5; ++c) {
            const QVariant expected = query.Field(c);
            const QVariant loaded = ds.Fields(c)->Value();
            EXPECT_EQ(loaded.isNull() || !loaded.isValid(), expected.isNull() || !expected.isValid())
                << "row " << row << " column " << c;
            if (expected.isValid() && !expected.isNull()) {
                EXPECT_EQ(loaded, expected) << "row " << row << " column " << c;
            }
        }
        EXPECT_EQ(ds.RowId(), query.Field(5).toString());
    }
    // Sorted by ID: -7, 0, 1, 3, ...
    ds.MoveTo(3);
    EXPECT_EQ(ds.FieldByName("S")->AsString(), QString("two\r\nlines\r\nmore"));
    ds.MoveTo(2);
    EXPECT_EQ(ds.FieldByName("S")->AsString(), texts[1]);
}

TEST_F(DatasetTest, ExecSqlRunsOnlyOnAClosedDataset) {
    TOracleDataSet ds;
    ds.SetSession(Session.get());
    ds.SetSQLText("INSERT INTO KMR_USER_PSW (TABNUM, NAME) VALUES (:ID, :NAME)");
    ds.DeclareVariable("ID", otInteger);
    ds.DeclareVariable("name", otString);
    ds.SetVariable("id", 7);
    ds.SetVariable("NAME", "seven");
    ds.ExecSQL();
    Session->Commit();

    auto users = OpenUsers();
    EXPECT_EQ(users->RecordCount(), 4);
    try {
        users->ExecSQL();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cannot perform this operation on an open dataset");
    }
}

TEST_F(DatasetTest, LogOffClosesTheDatasetAndItsChangeQuery) {
    auto ds = OpenUsers();
    ds->Edit(); // the change query exists from here on
    Session->LogOff();
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ds->FieldCount(), 0);

    Session->LogOn();
    ds->Open();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("ivanov2");
    ds->Post();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "ivanov2");
}

TEST(DatasetText, UpdatingTableFromTheStatement) {
    const struct {
        const char* Sql;
        const char* Table;
    } cases[] = {
        {"SELECT TABNUM, ROWID FROM KMR_USER_PSW\r\nORDER BY GROUPID", "KMR_USER_PSW"},
        {"select a from kmr_prop_for_prog where x = 1", "KMR_PROP_FOR_PROG"},
        {"SELECT A /* FROM WRONG */, B -- FROM WRONG\nFROM RIGHT_T", "RIGHT_T"},
        {"SELECT 'FROM X' A, ROWID FROM T1", "T1"},
        {"SELECT (SELECT MAX(ID) FROM INNER_T) M, ROWID FROM OUTER_T", "OUTER_T"},
        {"SELECT * FROM kmr.users u", "KMR.USERS"},
        {"SELECT * FROM \"Mixed\"", "MIXED"},
        {"SELECT * FROMAGE", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TOracleDataSet::TableNameFromSQL(c.Sql), QString(c.Table)) << c.Sql;

    TOracleDataSet ds;
    ds.SetSQLText("SELECT A, ROWID FROM T1");
    ds.SetUpdatingTable("\"kmr\".\"t2\"");
    EXPECT_EQ(ds.UpdatingTableName(), "KMR.T2");
}

TEST(DatasetText, ServerErrorsAreTranslated) {
    EXPECT_EQ(TOracleDataSet::ErrorMessage(EOracleError(
                  "ORA-00054: resource busy and acquire with NOWAIT specified\n", 54, nullptr, nullptr)),
              "Record is locked by another user");
    EXPECT_EQ(TOracleDataSet::ErrorMessage(EOracleError(
                  "ORA-20001: Пользователь занят\nвторая строка\nORA-06512: at \"KMR.TRG\", line 5\n"
                  "ORA-04088: error during execution of trigger\n",
                  20001, nullptr, nullptr)),
              "ORA-20001: Пользователь занят\nвторая строка\n");
    const QString other = "ORA-00001: unique constraint (KMR.PK) violated\n";
    EXPECT_EQ(TOracleDataSet::ErrorMessage(EOracleError(other, 1, nullptr, nullptr)), other);
}

} // namespace
