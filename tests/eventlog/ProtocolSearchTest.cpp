// The event log's threads. The search on a thread-safe session of its own: every row read in order,
// a cancel, a log-off or a server going away in the middle of the rows, a failing statement, and the
// search freed while it runs. The CSV file written while the grid moves on, and cancelled.
#include "OracleServer.h"

#include "ProtocolCsv.h"
#include "ProtocolSearch.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class ProtocolSearchThread : public OracleServer {
protected:
    static void SetUpTestSuite() {
        OracleServer::SetUpTestSuite();
        auto session = std::make_unique<TOracleSession>();
        session->SetLogonUsername(User);
        session->SetLogonPassword(Password);
        session->SetLogonDatabase(Database);
        session->LogOn();
        DropTable(*session, QStringLiteral("LOG_T"));
        Exec(*session, QStringLiteral("CREATE TABLE LOG_T (N NUMBER(9), PRALIAS VARCHAR2(50), ALLNAME "
                                      "VARCHAR2(100), DTCHANGE VARCHAR2(20), OBJECT_NAME VARCHAR2(50), "
                                      "OLD_VALUE1 VARCHAR2(100), NEW_VALUE1 VARCHAR2(100))"));
        for (int i = 0; i < Rows; ++i)
            Exec(*session, QStringLiteral("INSERT INTO LOG_T VALUES (%1, 'Дефекты', 'Пользователь %2', "
                                          "'08:%3 20:11:26', 'Примечание', 'было %1', NULL)")
                               .arg(i)
                               .arg(i % 7)
                               .arg(i % 60, 2, 10, QLatin1Char('0')));
        session->Commit();
        session->LogOff();
    }
    void SetUp() override {
        ClearTrace();
        Session = NewSession(true);
    }
    void TearDown() override {
        QFile::remove(Dir->filePath(Database + QStringLiteral(".db.down")));
        Search.reset();
        qunsetenv("OCISQLITE_LATENCY_MS");
        Session.reset();
    }

    static QStringList Statement(const QString& table = QStringLiteral("LOG_T")) {
        return {QStringLiteral("SELECT PRALIAS, ALLNAME, DTCHANGE, OBJECT_NAME, OLD_VALUE1, NEW_VALUE1"),
                QStringLiteral("FROM ") + table, QStringLiteral("ORDER BY N")};
    }
    void Start(int readBuffer, const QStringList& sql = Statement()) {
        TOracleSession* session = Session.get();
        Search = std::make_unique<TProtocolSearch>(
            sql,
            [session] {
                auto query = std::make_unique<TOracleQuery>();
                query->SetSession(session);
                return query;
            },
            [this] { ++News; }, readBuffer);
    }
    bool WaitFor(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    TProtocolSearch::TOutcome Outcome() {
        EXPECT_TRUE(WaitFor([this] { return Search->Finished(); }));
        return Search->TakeOutcome();
    }

    static constexpr int Rows = 120;
    std::unique_ptr<TOracleSession> Session;
    std::unique_ptr<TProtocolSearch> Search;
    std::atomic<int> News{0};
};

TEST_F(ProtocolSearchThread, ReadsEveryRowInOrderAndReportsOnceAtTheEnd) {
    Start(7);
    const TProtocolSearch::TOutcome outcome = Outcome();
    ASSERT_EQ(outcome.Result, TProtocolSearch::srComplete) << outcome.Error.toStdString();
    ASSERT_TRUE(outcome.Records);
    ASSERT_EQ(outcome.Records->Count(), Rows);
    EXPECT_EQ(Search->RowsRead(), Rows);
    for (int i : {0, 6, 7, 119}) {
        EXPECT_EQ(outcome.Records->Text(i, TProtocolRecords::colOldValue), QStringLiteral("было %1").arg(i));
        EXPECT_EQ(outcome.Records->Text(i, TProtocolRecords::colUser),
                  QStringLiteral("Пользователь %1").arg(i % 7));
        EXPECT_EQ(outcome.Records->Text(i, TProtocolRecords::colNewValue), QString());
    }
    EXPECT_EQ(outcome.Records->NameCount(), 9); // program, seven users, field
    Search.reset();
    EXPECT_EQ(News, 1);
    // Every round trip brings a block of the read buffer and one row more: the execute the first 8
    // rows, 14 fetches the other 112, and one more finds the end.
    EXPECT_EQ(TraceCount({QStringLiteral("OCIStmtFetch"), QStringLiteral("FROM LOG_T")}), 15);
}

TEST_F(ProtocolSearchThread, ACancelStopsTheSearchBeforeTheEndAndKeepsNothing) {
    qputenv("OCISQLITE_LATENCY_MS", "5");
    Start(2);
    ASSERT_TRUE(WaitFor([this] { return Search->RowsRead() >= 4; }));
    Search->Cancel();
    const TProtocolSearch::TOutcome outcome = Outcome();
    EXPECT_EQ(outcome.Result, TProtocolSearch::srCancelled);
    EXPECT_FALSE(outcome.Records);
    EXPECT_LT(Search->RowsRead(), Rows);
}

TEST_F(ProtocolSearchThread, ALogOffUnderTheSearchIsAnIncompleteListNotTheEnd) {
    qputenv("OCISQLITE_LATENCY_MS", "5");
    Start(2);
    ASSERT_TRUE(WaitFor([this] { return Search->RowsRead() >= 4; }));
    // As a server watcher does when the main server fails: the query is closed under the search.
    Session->LogOff();
    const TProtocolSearch::TOutcome outcome = Outcome();
    EXPECT_EQ(outcome.Result, TProtocolSearch::srIncomplete);
    ASSERT_TRUE(outcome.Records);
    EXPECT_GE(outcome.Records->Count(), 4);
    EXPECT_LT(outcome.Records->Count(), Rows);
    EXPECT_EQ(outcome.Records->Count(), Search->RowsRead());
    EXPECT_FALSE(outcome.Error.isEmpty());
}

TEST_F(ProtocolSearchThread, AServerGoingAwayBetweenFetchesKeepsTheRowsRead) {
    qputenv("OCISQLITE_LATENCY_MS", "5");
    Start(3);
    ASSERT_TRUE(WaitFor([this] { return Search->RowsRead() >= 3; }));
    QFile marker(Dir->filePath(Database + QStringLiteral(".db.down")));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    const TProtocolSearch::TOutcome outcome = Outcome();
    EXPECT_EQ(outcome.Result, TProtocolSearch::srIncomplete);
    EXPECT_TRUE(outcome.Error.startsWith(QStringLiteral("ORA-03113"))) << outcome.Error.toStdString();
    ASSERT_TRUE(outcome.Records);
    EXPECT_GE(outcome.Records->Count(), 3);
    EXPECT_LT(outcome.Records->Count(), Rows);
    const qsizetype last = outcome.Records->Count() - 1;
    EXPECT_EQ(outcome.Records->Text(last, TProtocolRecords::colOldValue),
              QStringLiteral("было %1").arg(last));
}

TEST_F(ProtocolSearchThread, AStatementThatFailsReportsTheServersMessage) {
    Start(25, Statement(QStringLiteral("NO_SUCH_TABLE")));
    TProtocolSearch::TOutcome outcome = Outcome();
    EXPECT_EQ(outcome.Result, TProtocolSearch::srNotOpened);
    EXPECT_TRUE(outcome.Error.startsWith(QStringLiteral("ORA-00942"))) << outcome.Error.toStdString();
    EXPECT_FALSE(outcome.Records);

    // A statement without the log's columns is refused as well.
    Search.reset();
    Start(25, {QStringLiteral("SELECT N FROM LOG_T")});
    outcome = Outcome();
    EXPECT_EQ(outcome.Result, TProtocolSearch::srNotOpened);
    EXPECT_TRUE(outcome.Error.contains(QStringLiteral("PRALIAS")));
}

TEST_F(ProtocolSearchThread, FreeingARunningSearchWaitsForItsThreadAndReportsNothingLater) {
    qputenv("OCISQLITE_LATENCY_MS", "5");
    Start(1);
    ASSERT_TRUE(WaitFor([this] { return Search->RowsRead() >= 2; }));
    Search.reset();
    const int news = News;
    EXPECT_LE(news, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(News, news);
    // The session is still usable by the next search.
    qunsetenv("OCISQLITE_LATENCY_MS");
    Start(50);
    EXPECT_EQ(Outcome().Result, TProtocolSearch::srComplete);
}

TEST(ProtocolCsvSaveThread, ASaveOnItsThreadWritesEveryRowAndACancelledOneLeavesTheOldFile) {
    auto records = std::make_shared<TProtocolRecords>();
    for (int i = 0; i < 200000; ++i)
        records->Append(u"Дефекты", u"Соколов Андрей Викторович", u"08:01 20:11:26", u"Примечание",
                        QStringLiteral("было %1").arg(i), u"стало");
    TProtocolModel model;
    model.SetRecords(records);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    {
        std::atomic<int> news{0};
        TProtocolCsvSave save(model.ShownRows(), path, [&news] { ++news; });
        // The grid moves on meanwhile: the file holds the rows shown when the save began.
        model.SetFilter(QStringLiteral("было 1999"));
        while (!save.Finished())
            QThread::msleep(1);
        EXPECT_TRUE(save.Saved()) << save.Error().toStdString();
        EXPECT_EQ(save.RowsWritten(), 200000);
        EXPECT_EQ(news, 1);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    file.close();
    EXPECT_EQ(content.count("\r\n"), 200001);
    EXPECT_TRUE(content.endsWith(QStringLiteral("200000;Дефекты;Соколов Андрей Викторович;08:01 20:11:26;"
                                                "Примечание;было 199999;стало\r\n")
                                     .toUtf8()));

    // Cancelled at once: the file written before stays whole, no temporary file is left.
    model.SetFilter(QString());
    TProtocolCsvSave cancelled(model.ShownRows(), path, {});
    cancelled.Cancel();
    while (!cancelled.Finished())
        QThread::msleep(1);
    EXPECT_FALSE(cancelled.Saved());
    EXPECT_LT(cancelled.RowsWritten(), 200000);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), content);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"log.csv"});
}

} // namespace
