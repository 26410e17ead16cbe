// The rights overview ("Права пользователей") opened from the administration window over one
// embedded server holding 10 000 users, 100 programs with 5 groups each, 10 grants per user and a
// group in 9 of them: wall time from the click to the filled window, and server round trips (from
// OCISQLITE_TRACE), against raw SQLite reading the same five tables from the same file, and against
// the round trips the main window spends to show one user's programs. Run from the build's bin folder:
//
//   bench_overview [users] [programs]
#include "../support/AdminBenchData.h"

#include "LoginType.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "Oracle.h"
#include "RightsOverview.h"
#include "RightsOverviewWindow.h"
#include "StartUp.h"
#include "UserTools.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const Server = "SERVER_OIK";

// The five tables read straight from the database file through SQLite's C API.
double RawSqliteMs(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QElapsedTimer t;
    t.start();
    long long sum = 0;
    for (const char* sql : {"SELECT TABNUM, ALLNAME, NAME FROM USER_PSW ORDER BY GROUPID, ALLNAME",
                            "SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE ORDER BY ID_PROGRAMMEXE",
                            "SELECT ID_PROGRAMM, ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG",
                            "SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER",
                            "SELECT TABNUM, ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER"}) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                sum += sqlite3_column_bytes(st, c) + sqlite3_column_int(st, c);
        sqlite3_finalize(st);
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    sqlite3_close(db);
    return sum > 0 ? ms : -1;
}

} // namespace

int main(int argc, char* argv[]) {
    const int users = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int programs = argc > 2 ? std::atoi(argv[2]) : 100;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QApplication app(qargc, argv);
    QApplication::setApplicationName(QStringLiteral("Admin_KMR"));

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kmr-bench-XXXXXX"));
    QDir::setCurrent(dir.path());
    qputenv("OCISQLITE_DATA", dir.path().toUtf8());
    qunsetenv("ORACLE_HOME");
    qunsetenv("OCISQLITE_TRACE");
    const QString file = dir.path() + QStringLiteral("/server_oik.db");
    bench::CreateServer(dir.path(), QString::fromLatin1(Server), "srv_main.sql");
    QFile ini(dir.path() + QStringLiteral("/mvtu.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write(
        "[Mode]\nN_Server=1\n[Alias]\nSERVER_NAME=SERVER_OIK\nUSER_NAME=USER_OIK\nPASSWORD_=QUILLMOSS\n");
    ini.close();
    bench::FillAdminData(QString::fromLatin1(Server), users, programs);

    TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
    TAdminStartUp program;
    program.Create();
    if (!program.Show() || !program.MainWindow() || !program.MainWindow()->Tools) {
        std::fprintf(stderr, "the administration window did not open\n");
        return 1;
    }
    TKMF_Admin* window = program.MainWindow();
    QApplication::processEvents();

    // One user's programs in the main window, for comparison: a click on the next user.
    const QString userTrace = dir.path() + QStringLiteral("/user.txt");
    qputenv("OCISQLITE_TRACE", userTrace.toUtf8());
    window->UsersSet->Next();
    QApplication::processEvents();
    qunsetenv("OCISQLITE_TRACE");

    const QString trace = dir.path() + QStringLiteral("/overview.txt");
    qputenv("OCISQLITE_TRACE", trace.toUtf8());
    QElapsedTimer t;
    t.start();
    window->Tools->tbRightsOverview->click();
    QApplication::processEvents();
    const double openMs = double(t.nsecsElapsed()) / 1e6;
    qunsetenv("OCISQLITE_TRACE");
    TfmRightsOverview* overview = window->Tools->Overview;
    const int rows = overview ? overview->Model->rowCount() : -1;
    const int columns = overview ? overview->Model->columnCount() - TRightsOverviewModel::NameColumns : -1;

    // Filtering the 10 000 rows: who can run the last program, as one types nothing else.
    t.restart();
    if (overview) {
        overview->cbProgram->setCurrentIndex(overview->cbProgram->count() - 1);
        overview->chkOnlyAccess->setChecked(true);
    }
    QApplication::processEvents();
    const double filterMs = double(t.nsecsElapsed()) / 1e6;
    const int filtered = overview ? overview->Model->rowCount() : -1;
    program.Finish();

    const double rawMs = RawSqliteMs(file);
    const int trips = bench::CountLines(trace);
    const int userTrips = bench::CountLines(userTrace);
    std::printf("rights overview opened: %d users x %d programs (%d rows, %d program columns)\n", users,
                programs, rows, columns);
    std::printf("  wall time, click to filled window %8.1f ms\n", openMs);
    std::printf("  raw SQLite, same five tables      %8.1f ms   (ratio %.1f)\n", rawMs,
                rawMs > 0 ? openMs / rawMs : 0.0);
    std::printf("  server round trips                %8d\n", trips);
    std::printf("  (showing one user's programs in the main window: %d round trips)\n", userTrips);
    std::printf("  at 20 ms per round trip (wide-area link) the round trips add %.2f s\n", trips * 0.020);
    std::printf("  only users with access to one program: %d rows in %.1f ms\n", filtered, filterMs);
    return rows == users ? 0 : 1;
}
