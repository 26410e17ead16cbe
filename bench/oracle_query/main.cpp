// Reads 100 000 rows through TOracleQuery (every column through Field) on an ocisqlite database, and
// the same table of the same file through Qt's SQLite driver (QSqlQuery, forward only). Prints both
// times and their ratio; the best of several runs counts for each side.
#include "../support/Callgrind.h"
#include "Oracle.h"
#include "OracleCI.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 5;

// The checksum keeps the reads from being optimised away and shows that both sides read the same.
struct Result {
    qint64 msecs = 0;
    double checksum = 0;
    int rows = 0;
};

Result ReadOracle(TOracleSession& session) {
    bench::RegionBegin();
    QElapsedTimer timer;
    timer.start();
    TOracleQuery q;
    q.SetSession(&session);
    q.SetSQLText(QStringLiteral("SELECT ID, NAME, AMOUNT, CREATED FROM BENCH_T"));
    q.Execute();
    Result r;
    while (!q.Eof()) {
        r.checksum += q.Field(QStringLiteral("ID")).toInt();
        r.checksum += q.Field(QStringLiteral("NAME")).toString().size();
        r.checksum += q.Field(QStringLiteral("AMOUNT")).toDouble();
        r.checksum += q.Field(QStringLiteral("CREATED")).isValid() ? 1 : 0;
        ++r.rows;
        q.Next();
    }
    r.msecs = timer.elapsed();
    bench::RegionEnd("TOracleQuery");
    return r;
}

Result ReadQt(QSqlDatabase& db) {
    bench::RegionBegin();
    QElapsedTimer timer;
    timer.start();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ID, NAME, AMOUNT, CREATED FROM BENCH_T")))
        std::fprintf(stderr, "QSqlQuery: %s\n", qPrintable(q.lastError().text()));
    Result r;
    while (q.next()) {
        r.checksum += q.value(0).toInt();
        r.checksum += q.value(1).toString().size();
        r.checksum += q.value(2).toDouble();
        // The embedded server's own date representation, read as it is stored.
        r.checksum += q.value(3).isNull() ? 0 : 1;
        ++r.rows;
    }
    r.msecs = timer.elapsed();
    bench::RegionEnd("QSqlQuery");
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("OCISQLITE_DATA", dir.path().toLocal8Bit());
    const QString bin = QStringLiteral(KMR_BIN_DIR);
    OracleCI::SetCommandLine({QStringLiteral("OCIDLL=") + bin + QStringLiteral("/libocisqlite.so")});
    if (QProcess::execute(bin + QStringLiteral("/ocisqlite-admin"),
                          {QStringLiteral("create"), QStringLiteral("bench"), QStringLiteral("--user"),
                           QStringLiteral("BENCH"), QStringLiteral("--password"), QStringLiteral("bench")}) !=
        0) {
        std::fprintf(stderr, "cannot create the database\n");
        return 1;
    }

    TOracleSession session;
    session.SetLogonUsername(QStringLiteral("BENCH/bench@bench"));
    try {
        session.LogOn();
        TOracleQuery create;
        create.SetSession(&session);
        create.SetSQLText(QStringLiteral(
            "CREATE TABLE BENCH_T (ID NUMBER(9), NAME VARCHAR2(40), AMOUNT NUMBER(12,2), CREATED DATE)"));
        create.Execute();
        TOracleQuery insert;
        insert.SetSession(&session);
        insert.SetSQLText(QStringLiteral("INSERT INTO BENCH_T VALUES (:id, :name, :amount, :created)"));
        insert.DeclareVariable(QStringLiteral("id"), otInteger);
        insert.DeclareVariable(QStringLiteral("name"), otString);
        insert.DeclareVariable(QStringLiteral("amount"), otFloat);
        insert.DeclareVariable(QStringLiteral("created"), otDate);
        const QDateTime start(QDate(2024, 1, 1), QTime(8, 0));
        for (int i = 1; i <= kRows; ++i) {
            insert.SetVariable(QStringLiteral("id"), i);
            insert.SetVariable(QStringLiteral("name"), QStringLiteral("Пользователь %1").arg(i));
            insert.SetVariable(QStringLiteral("amount"), i / 4.0);
            insert.SetVariable(QStringLiteral("created"), start.addSecs(i * 60));
            insert.Execute();
        }
        session.Commit();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(QDir(dir.path()).filePath(QStringLiteral("bench.db")));
    if (!db.open()) {
        std::fprintf(stderr, "QSQLITE: %s\n", qPrintable(db.lastError().text()));
        return 1;
    }

    // "--profile N": only N reads through TOracleQuery, for a profiler.
    if (app.arguments().size() > 2 && app.arguments().at(1) == QLatin1String("--profile")) {
        for (int i = 0; i < app.arguments().at(2).toInt(); ++i)
            std::printf("TOracleQuery: %lld ms\n", static_cast<long long>(ReadOracle(session).msecs));
        return 0;
    }

    Result bestOracle, bestQt;
    bestOracle.msecs = bestQt.msecs = std::numeric_limits<qint64>::max();
    for (int run = 0; run < bench::Rounds(kRuns); ++run) {
        const Result o = ReadOracle(session);
        const Result q = ReadQt(db);
        if (o.msecs < bestOracle.msecs)
            bestOracle = o;
        if (q.msecs < bestQt.msecs)
            bestQt = q;
    }
    if (bestOracle.rows != kRows || bestQt.rows != kRows) {
        std::fprintf(stderr, "row counts differ: TOracleQuery %d, QSqlQuery %d\n", bestOracle.rows,
                     bestQt.rows);
        return 1;
    }
    std::printf("rows: %d (4 columns)\n", kRows);
    std::printf("TOracleQuery on ocisqlite, Field of every column: %lld ms\n",
                static_cast<long long>(bestOracle.msecs));
    std::printf("QSqlQuery (QSQLITE, forward only) on the same table: %lld ms\n",
                static_cast<long long>(bestQt.msecs));
    std::printf("ratio TOracleQuery / QSqlQuery: %.2f\n",
                double(bestOracle.msecs) / double(std::max<qint64>(bestQt.msecs, 1)));
    return 0;
}
