// Start-up to the main window shown, on one embedded server holding 10 000 users and 100 programs:
// wall time and server round trips (from OCISQLITE_TRACE), against the time raw SQLite takes to read
// the same user list from the same file. Run from the build's bin folder:
//
//   bench_startup [users] [programs]
#include "LoginType.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "Oracle.h"
#include "StartUp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const Server = "SERVER_OIK";
const char* const DbUser = "USER_OIK";
const char* const DbPassword = "QUILLMOSS";

void Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KMR_BIN_DIR "/") + program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        std::exit(1);
    }
}

void Fill(int users, int programs) {
    TOracleSession s;
    s.SetLogonUsername(QString::fromLatin1(DbUser));
    s.SetLogonPassword(QString::fromLatin1(DbPassword));
    s.SetLogonDatabase(QString::fromLatin1(Server));
    s.LogOn();
    TOracleQuery q;
    q.SetSession(&s);
    for (const char* sql : {"INSERT INTO USER_GROUP VALUES (1, 10)", "INSERT INTO USER_G_P VALUES (1, 14)"}) {
        q.SetSQLText(QString::fromLatin1(sql));
        q.Execute();
    }
    q.SetSQLText(QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, PWD, ALLNAME, GROUPID, WENABLED, IPADR) "
                                "VALUES (:T, :N, :P, :A, :G, 'T', :I)"));
    for (const char* v : {"T", "G"})
        q.DeclareVariable(QString::fromLatin1(v), otInteger);
    for (const char* v : {"N", "P", "A", "I"})
        q.DeclareVariable(QString::fromLatin1(v), otString);
    for (int i = 1; i <= users; ++i) {
        q.SetVariable(QStringLiteral("T"), i);
        q.SetVariable(QStringLiteral("N"),
                      i == 1 ? QStringLiteral("admin") : QStringLiteral("user%1").arg(i));
        q.SetVariable(QStringLiteral("P"),
                      i == 1 ? QStringLiteral("kmr2026") : QStringLiteral("pw%1").arg(i));
        q.SetVariable(QStringLiteral("A"),
                      QStringLiteral("Пользователь Номер %1").arg(i, 5, 10, QLatin1Char('0')));
        q.SetVariable(QStringLiteral("G"), i == 1 ? 1 : 1 + i % 6);
        q.SetVariable(QStringLiteral("I"),
                      i % 3 ? QVariant() : QVariant(QStringLiteral("10.20.%1.%2").arg(i / 250).arg(i % 250)));
        q.Execute();
    }
    q.DeleteVariables();
    q.SetSQLText(
        QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (:ID, :N, :A)"));
    q.DeclareVariable(QStringLiteral("ID"), otInteger);
    q.DeclareVariable(QStringLiteral("N"), otString);
    q.DeclareVariable(QStringLiteral("A"), otString);
    for (int i = 1; i <= programs; ++i) {
        q.SetVariable(QStringLiteral("ID"), i);
        q.SetVariable(QStringLiteral("N"), QStringLiteral("PROG%1.EXE").arg(i));
        q.SetVariable(QStringLiteral("A"), QStringLiteral("Программа %1").arg(i));
        q.Execute();
    }
    s.Commit();
    s.LogOff();
}

// The same user list read straight from the database file through SQLite's C API.
double RawSqliteMs(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, rowid FROM USER_PSW "
                       "ORDER BY GROUPID, ALLNAME",
                       -1, &st, nullptr);
    long long sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 8; ++c)
            sum += sqlite3_column_bytes(st, c);
    }
    sqlite3_finalize(st);
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
    Run(QStringLiteral("ocisqlite-admin"),
        {QStringLiteral("create"), file, QStringLiteral("--user"), QString::fromLatin1(DbUser),
         QStringLiteral("--password"), QString::fromLatin1(DbPassword)});
    for (const char* script : {"kmr_schema.sql", "srv_main.sql"}) {
        QProcess p;
        p.start(QStringLiteral(KMR_BIN_DIR "/ocisql"),
                {QStringLiteral("%1/%2@%3").arg(DbUser, DbPassword, Server),
                 QStringLiteral("@" KMR_SOURCE_DIR "/schema/") + QString::fromLatin1(script)});
        p.waitForFinished(600000);
    }
    QFile ini(dir.path() + QStringLiteral("/mvtu.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write(
        "[Mode]\nN_Server=1\n[Alias]\nSERVER_NAME=SERVER_OIK\nUSER_NAME=USER_OIK\nPASSWORD_=QUILLMOSS\n");
    ini.close();
    Fill(users, programs);

    const QString trace = dir.path() + QStringLiteral("/trace.txt");
    qputenv("OCISQLITE_TRACE", trace.toUtf8());
    TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
    QElapsedTimer t;
    t.start();
    TAdminStartUp program;
    program.Create();
    const bool shown = program.Show();
    QApplication::processEvents();
    const double startMs = double(t.nsecsElapsed()) / 1e6;
    qunsetenv("OCISQLITE_TRACE");
    const int rows = program.MainWindow() && program.MainWindow()->UsersSet
                         ? program.MainWindow()->UsersSet->RecordCount()
                         : -1;
    program.Finish();

    QMap<QString, int> calls;
    int total = 0;
    QFile f(trace);
    if (f.open(QIODevice::ReadOnly)) {
        while (!f.atEnd()) {
            const QList<QByteArray> parts = f.readLine().split(' ');
            if (parts.size() >= 3) {
                ++calls[QString::fromLatin1(parts[2].trimmed())];
                ++total;
            }
        }
    }
    const double rawMs = RawSqliteMs(file);
    std::printf("start-up to main window shown: %d users, %d programs (window shown: %s, rows in list: %d)\n",
                users, programs, shown ? "yes" : "no", rows);
    std::printf("  wall time            %10.1f ms\n", startMs);
    std::printf("  raw SQLite list read %10.1f ms   (ratio %.1f)\n", rawMs,
                rawMs > 0 ? startMs / rawMs : 0.0);
    std::printf("  server round trips   %10d\n", total);
    for (auto it = calls.cbegin(); it != calls.cend(); ++it)
        std::printf("    %-20s %6d\n", qPrintable(it.key()), it.value());
    std::printf("  at 20 ms per round trip (wide-area link) the round trips alone add %.1f s\n",
                total * 0.020);
    return shown ? 0 : 1;
}
