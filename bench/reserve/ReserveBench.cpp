// Comparing the reserve server with the main server over 10 000 users and 100 programs with their
// grants and memberships (two embedded servers filled alike, then a few hundred rows made to differ
// on the reserve): the cheap fingerprint, the detailed comparison, the update and the comparison
// after it, each with wall time and server round trips (from OCISQLITE_TRACE), against raw SQLite
// reading the same six tables from both files in the same run. Run from the build's bin folder:
//
//   bench_reserve [users] [programs]
#include "../support/AdminBenchData.h"

#include "Oracle.h"
#include "ReserveCompare.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const MainServer = "SERVER_OIK";
const char* const ReserveServer = "SERVER_OIK_R";

// Rows made to differ on the reserve, by kind.
constexpr int BarredUsers = 100;      // WENABLED changed
constexpr int MissingGrants = 100;    // grants the reserve lost
constexpr int ExtraGrants = 50;       // grants only the reserve holds
constexpr int RenamedGroups = 20;     // group names changed
constexpr int MovedMemberships = 100; // a user in another group of a program

void Exec(TOracleSession& s, const QString& sql) {
    TOracleQuery q;
    q.SetSession(&s);
    q.SetSQLText(sql);
    q.Execute();
}

int MakeReserveDiffer(int users, int programs) {
    auto s = bench::Logon(QString::fromLatin1(ReserveServer));
    const int step = std::max(1, users / 200);
    for (int i = 0; i < BarredUsers; ++i)
        Exec(*s, QStringLiteral("UPDATE USER_PSW SET WENABLED = 'F' WHERE TABNUM = %1").arg(2 + i * step));
    for (int i = 0; i < MissingGrants; ++i) {
        const int user = 3 + i * step;
        Exec(*s, QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
                     .arg(user)
                     .arg(1 + (user * 7) % programs));
    }
    for (int i = 0; i < ExtraGrants; ++i)
        Exec(*s,
             QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (%1, %2)").arg(4 + i * step).arg(programs));
    for (int i = 0; i < RenamedGroups; ++i)
        Exec(*s, QStringLiteral("UPDATE KMR_GROUP_FOR_PROG SET GROUP_NAME = 'Старое название %1' "
                                "WHERE ID_PROGRAMM = %2 AND ID_GROUP = 1")
                     .arg(i)
                     .arg(1 + i % programs));
    for (int i = 0; i < MovedMemberships; ++i) {
        const int user = 5 + i * step;
        Exec(*s, QStringLiteral(
                     "UPDATE KMR_GROUP_FOR_USER SET ID_GROUP = %1 WHERE TABNUM = %2 AND ID_PROGRAMM = %3")
                     .arg(bench::GroupsPerProgram + 1)
                     .arg(user)
                     .arg(1 + (user * 7) % programs));
    }
    s->Commit();
    s->LogOff();
    return BarredUsers + MissingGrants + ExtraGrants + RenamedGroups + MovedMemberships;
}

// The six tables of both files read through SQLite's C API, every cell touched.
double RawSqliteMs(const QStringList& files) {
    QElapsedTimer t;
    t.start();
    long long sum = 0;
    for (const QString& file : files) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        for (const char* sql :
             {"SELECT * FROM USER_PSW",
              "SELECT ID_PROGRAMMEXE, PRNAME, PRALIAS, PRDATE_TIME, LENGTH(PRCOD) FROM KMR_PROGRAMMEXE",
              "SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER",
              "SELECT ID_PROGRAMM, ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG",
              "SELECT TABNUM, ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER",
              "SELECT ID_PROP, ID_PROGRAMM, FORM_NAME, PROP_NAME, PROP_TYPE, PROP_ALIAS FROM "
              "KMR_PROP_FOR_PROG"}) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(st); ++c)
                    sum += sqlite3_column_bytes(st, c) + sqlite3_column_int(st, c);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    return sum > 0 ? ms : -1;
}

struct TRun {
    TReserveReport Report;
    double Ms = 0;
    int Trips = 0;
};

TRun Measure(const QString& folder, const char* name, const std::function<TReserveReport()>& run) {
    const QString trace = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".trace");
    qputenv("OCISQLITE_TRACE", trace.toUtf8());
    QElapsedTimer t;
    t.start();
    TRun r;
    r.Report = run();
    r.Ms = double(t.nsecsElapsed()) / 1e6;
    qunsetenv("OCISQLITE_TRACE");
    r.Trips = bench::CountLines(trace);
    return r;
}

const char* OutcomeText(TReserveReport::EOutcome outcome) {
    switch (outcome) {
    case TReserveReport::Equal:
        return "equal";
    case TReserveReport::Different:
        return "different";
    default:
        return "FAILED";
    }
}

} // namespace

int main(int argc, char* argv[]) {
    const int users = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int programs = argc > 2 ? std::atoi(argv[2]) : 100;
    int qargc = 1;
    QCoreApplication app(qargc, argv);

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kmr-bench-XXXXXX"));
    QDir::setCurrent(dir.path());
    qputenv("OCISQLITE_DATA", dir.path().toUtf8());
    qunsetenv("ORACLE_HOME");
    qunsetenv("OCISQLITE_TRACE");
    bench::CreateServer(dir.path(), QString::fromLatin1(MainServer), "srv_main.sql");
    bench::CreateServer(dir.path(), QString::fromLatin1(ReserveServer), "srv_reserve.sql");
    bench::FillAdminData(QString::fromLatin1(MainServer), users, programs);
    bench::FillAdminData(QString::fromLatin1(ReserveServer), users, programs);
    const int madeDifferent = MakeReserveDiffer(users, programs);

    const TServerLogon main{QString::fromLatin1(MainServer), QString::fromLatin1(bench::DbUser),
                            QString::fromLatin1(bench::DbPassword)};
    const TServerLogon reserve{QString::fromLatin1(ReserveServer), QString::fromLatin1(bench::DbUser),
                               QString::fromLatin1(bench::DbPassword)};
    auto comparer = [&] { return TReserveComparer(main, reserve); };

    const TRun fingerprint = Measure(dir.path(), "fingerprint", [&] { return comparer().Fingerprint(); });
    const TRun compare = Measure(dir.path(), "compare", [&] { return comparer().Compare(); });
    const TRun update = Measure(dir.path(), "update", [&] { return comparer().Update(); });
    const TRun again = Measure(dir.path(), "again", [&] { return comparer().Fingerprint(); });
    const double rawMs = RawSqliteMs(
        {dir.path() + QStringLiteral("/server_oik.db"), dir.path() + QStringLiteral("/server_oik_r.db")});

    qint64 rows = 0;
    for (const TTableFingerprint& t : fingerprint.Report.Tables)
        rows += t.MainRows + t.ReserveRows;
    std::printf("reserve comparison: %d users x %d programs, %lld rows on both servers, %d rows made to "
                "differ on the reserve\n",
                users, programs, static_cast<long long>(rows), madeDifferent);
    std::printf("  raw SQLite, six tables of both files   %8.1f ms\n", rawMs);
    auto line = [&](const char* what, const TRun& r, const char* extra) {
        std::printf("  %-38s %8.1f ms   (ratio %.1f)   %5d round trips   %s%s\n", what, r.Ms,
                    rawMs > 0 ? r.Ms / rawMs : 0.0, r.Trips, OutcomeText(r.Report.Outcome), extra);
    };
    line("fingerprint (start-up, reserve back)", fingerprint, "");
    const QByteArray found = QStringLiteral(", %1 differences").arg(compare.Report.Differences()).toUtf8();
    line("detailed comparison (the window's list)", compare, found.constData());
    const QByteArray written =
        QStringLiteral(", %1 statements on the reserve").arg(update.Report.Written).toUtf8();
    line("update, compare again", update, written.constData());
    line("fingerprint after the update", again, "");
    std::printf("  at 20 ms per round trip (wide-area link) a fingerprint adds %.1f s\n",
                fingerprint.Trips * 0.020);
    const bool ok = compare.Report.Outcome == TReserveReport::Different &&
                    update.Report.Outcome == TReserveReport::Equal &&
                    again.Report.Outcome == TReserveReport::Equal;
    return ok ? 0 : 1;
}
