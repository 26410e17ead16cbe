// Round trips and time per user action of the administration window on a slow link: start-up to the
// window with 10 000 users and 100 programs, moving to another user, ticking a program, picking a
// group, posting a user and a search in the event log, each against the least its statements need.
// Round trips are counted from OCISQLITE_TRACE; every round trip waits OCISQLITE_LATENCY_MS (20 unless
// set). Run from the build's bin folder:
//
//   bench_roundtrips [users] [programs] [--trace]
//
// --trace prints every round trip of each action.
#include "TraceFile.h"

#include "LoginType.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "Oracle.h"
#include "ProgramAccess.h"
#include "ProtocolModel.h"
#include "Protokol_View.h"
#include "StartUp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

namespace {

const char* const Server = "SERVER_OIK";
const char* const DbUser = "USER_OIK";
const char* const DbPassword = "QUILLMOSS";
// Rows the user list should bring per round trip.
const int ArrayRows = 1000;
const int GroupsPerProgram = 5;
const int LogChanges = 3000;

void Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KMR_BIN_DIR "/") + program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        std::exit(1);
    }
}

// Users in six groups, the programs, five groups per program, and for every user three granted
// programs with one membership row each; user 2 holds two membership rows in program 1 (left by an
// older tool), which the window replaces by one.
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
    q.DeleteVariables();
    q.SetSQLText(QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG (ID_PROGRAMM, ID_GROUP, GROUP_NAME) "
                                "VALUES (:P, :G, :N)"));
    q.DeclareVariable(QStringLiteral("P"), otInteger);
    q.DeclareVariable(QStringLiteral("G"), otInteger);
    q.DeclareVariable(QStringLiteral("N"), otString);
    for (int p = 1; p <= programs; ++p)
        for (int g = 1; g <= GroupsPerProgram; ++g) {
            q.SetVariable(QStringLiteral("P"), p);
            q.SetVariable(QStringLiteral("G"), g);
            q.SetVariable(QStringLiteral("N"), QStringLiteral("Группа %1").arg(g));
            q.Execute();
        }
    q.DeleteVariables();
    TOracleQuery grant, member;
    grant.SetSession(&s);
    member.SetSession(&s);
    grant.SetSQLText(QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (:T, :P)"));
    member.SetSQLText(QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER VALUES (:T, :P, :G)"));
    for (TOracleQuery* x : {&grant, &member})
        for (const char* v : {"T", "P"})
            x->DeclareVariable(QString::fromLatin1(v), otInteger);
    member.DeclareVariable(QStringLiteral("G"), otInteger);
    auto add = [&](int user, int program, int group) {
        grant.SetVariable(QStringLiteral("T"), user);
        grant.SetVariable(QStringLiteral("P"), program);
        grant.Execute();
        member.SetVariable(QStringLiteral("T"), user);
        member.SetVariable(QStringLiteral("P"), program);
        member.SetVariable(QStringLiteral("G"), group);
        member.Execute();
    };
    for (int i = 1; i <= users; ++i)
        for (int k = 0; k < 3; ++k)
            add(i, 1 + (i + k * 7) % programs, 1 + (i + k) % GroupsPerProgram);
    // The event log: LogChanges records over November 2026, of the first three programs.
    q.SetSQLText(QStringLiteral("INSERT INTO kmr_field_name VALUES (:F, :O)"));
    q.DeclareVariable(QStringLiteral("F"), otString);
    q.DeclareVariable(QStringLiteral("O"), otString);
    const char* const fields[] = {"openclose", "sost", "dostmer", "ComboBox1", "Memo1"};
    for (const char* f : fields) {
        q.SetVariable(QStringLiteral("F"), QString::fromLatin1(f));
        q.SetVariable(QStringLiteral("O"), QStringLiteral("Поле %1").arg(QLatin1String(f)));
        q.Execute();
    }
    q.DeleteVariables();
    q.SetSQLText(QStringLiteral(
        "INSERT INTO kmr_protokol VALUES (:P, :U, TO_DATE(:D, 'dd.mm.yyyy hh24:mi:ss'), :F, :O, :N)"));
    q.DeclareVariable(QStringLiteral("P"), otInteger);
    q.DeclareVariable(QStringLiteral("U"), otInteger);
    for (const char* v : {"D", "F", "O", "N"})
        q.DeclareVariable(QString::fromLatin1(v), otString);
    for (int i = 0; i < LogChanges; ++i) {
        const int minute = i * (30 * 24 * 60 / LogChanges);
        q.SetVariable(QStringLiteral("P"), 1 + i % 3);
        q.SetVariable(QStringLiteral("U"), 1 + (i * 13) % users);
        q.SetVariable(QStringLiteral("D"), QStringLiteral("%1.11.2026 %2:%3:00")
                                               .arg(1 + minute / (24 * 60), 2, 10, QLatin1Char('0'))
                                               .arg(minute / 60 % 24, 2, 10, QLatin1Char('0'))
                                               .arg(minute % 60, 2, 10, QLatin1Char('0')));
        q.SetVariable(QStringLiteral("F"), QString::fromLatin1(fields[i % 5]));
        q.SetVariable(QStringLiteral("O"), QString::number(i % 3));
        q.SetVariable(QStringLiteral("N"), QString::number((i + 1) % 3));
        q.Execute();
    }
    member.SetVariable(QStringLiteral("T"), 2);
    member.SetVariable(QStringLiteral("P"), 1);
    member.SetVariable(QStringLiteral("G"), 4);
    member.Execute();
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

struct TAction {
    const char* Name;
    int Repeats = 0;
    int RoundTrips = 0;
    int Writes = 0; // statements that change data, and commits
    double Ms = 0;
    int Least = 0; // per action
    std::map<QString, int> Calls;
};

class TBench {
public:
    TBench(QString trace, int latencyMs, bool print)
        : FTrace(std::move(trace)), FLatency(latencyMs), FPrint(print) {}

    // Runs body repeats times, counting the round trips and the time of all of them.
    TAction Measure(const char* name, int least, int repeats, const std::function<void(int)>& body) {
        TAction a;
        a.Name = name;
        a.Repeats = repeats;
        a.Least = least;
        QFile::remove(FTrace);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < repeats; ++i)
            body(i);
        QApplication::processEvents();
        a.Ms = double(t.nsecsElapsed()) / 1e6;
        if (FPrint)
            std::printf("-- %s\n", name);
        for (const TTraceLine& line : ReadTraceFile(FTrace)) {
            ++a.RoundTrips;
            ++a.Calls[line.Call];
            const QString head = line.Text.trimmed().section(u' ', 0, 0).toUpper();
            if (line.Call == u"OCITransCommit" || head == u"INSERT" || head == u"UPDATE" || head == u"DELETE")
                ++a.Writes;
            if (FPrint)
                std::printf("   %-16s %s\n", qPrintable(line.Call),
                            qPrintable(QString(line.Text).replace(u'\n', u' ').left(110)));
        }
        return a;
    }

    int Latency() const { return FLatency; }

private:
    QString FTrace;
    int FLatency;
    bool FPrint;
};

void Print(const TAction& a, int latency) {
    const double n = a.Repeats;
    const double trips = a.RoundTrips / n;
    const double ms = a.Ms / n;
    const double leastMs = a.Least * double(latency);
    std::printf("%-22s %6.1f %6d %6.2f %9.1f %9.1f %6.2f %7.1f   ", a.Name, trips, a.Least, trips / a.Least,
                ms, leastMs, ms / leastMs, a.Writes / n);
    bool first = true;
    for (const auto& [call, count] : a.Calls) {
        std::printf("%s%s %.1f", first ? "" : ", ", qPrintable(call), count / n);
        first = false;
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[]) {
    int users = 10000, programs = 100;
    bool printTrace = false;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--trace")
            printTrace = true;
        else if (positional++ == 0)
            users = std::atoi(argv[i]);
        else
            programs = std::atoi(argv[i]);
    }
    if (users < 3 || programs < 2) {
        std::fprintf(stderr, "usage: bench_roundtrips [users >= 3] [programs >= 2] [--trace]\n");
        return 2;
    }
    const int latency = qEnvironmentVariableIsSet("OCISQLITE_LATENCY_MS")
                            ? qEnvironmentVariableIntValue("OCISQLITE_LATENCY_MS")
                            : 20;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QApplication app(qargc, argv);
    QApplication::setApplicationName(QStringLiteral("Admin_KMR"));

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kmr-bench-XXXXXX"));
    QDir::setCurrent(dir.path());
    qputenv("OCISQLITE_DATA", dir.path().toUtf8());
    qunsetenv("ORACLE_HOME");
    qunsetenv("OCISQLITE_TRACE");
    qunsetenv("OCISQLITE_LATENCY_MS");
    const QString file = dir.path() + QStringLiteral("/server_oik.db");
    Run(QStringLiteral("ocisqlite-admin"),
        {QStringLiteral("create"), file, QStringLiteral("--user"), QString::fromLatin1(DbUser),
         QStringLiteral("--password"), QString::fromLatin1(DbPassword)});
    for (const char* script : {"kmr_schema.sql", "srv_main.sql"})
        Run(QStringLiteral("ocisql"),
            {QStringLiteral("%1/%2@%3").arg(DbUser, DbPassword, Server),
             QStringLiteral("@" KMR_SOURCE_DIR "/schema/") + QString::fromLatin1(script)});
    QFile ini(dir.path() + QStringLiteral("/mvtu.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write(
        "[Mode]\nN_Server=1\n[Alias]\nSERVER_NAME=SERVER_OIK\nUSER_NAME=USER_OIK\nPASSWORD_=QUILLMOSS\n");
    ini.close();
    Fill(users, programs);
    const double rawMs = RawSqliteMs(file);

    const QString trace = dir.path() + QStringLiteral("/trace.txt");
    qputenv("OCISQLITE_TRACE", trace.toUtf8());
    qputenv("OCISQLITE_LATENCY_MS", QByteArray::number(latency));
    TBench bench(trace, latency, printTrace);
    std::vector<TAction> actions;

    // The least each action needs: one round trip per documented statement (a commit can travel with
    // the statement before it), the user list in arrays of ArrayRows rows.
    // Start-up: attach, log-on, the server state, module labels, the sign-in and rights reads, the
    // address written, the disabled-user check, module labels again, the server state again, the user
    // count, the user list, the programs, groups and membership for the first program, then the first
    // user's grants, groups and membership.
    const int listArrays = (users + ArrayRows - 1) / ArrayRows;
    TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
    TAdminStartUp program;
    bool shown = false;
    actions.push_back(bench.Measure("start-up", 20 + listArrays, 1, [&](int) {
        program.Create();
        shown = program.Show();
    }));
    TKMF_Admin* window = program.MainWindow();
    if (!shown || !window || !window->UsersSet || window->UsersSet->RecordCount() != users) {
        std::fprintf(stderr, "the window did not come up with %d users\n", users);
        return 1;
    }
    TNoteDataSet& list = *window->UsersSet;

    // Grants, groups of the selected program, membership: nothing is written.
    const int moves = 20;
    actions.push_back(bench.Measure("move to another user", 3, moves,
                                    [&](int i) { list.MoveTo(1 + (i * 37) % (users - 1)); }));

    // A program the user has not got: the insert with its commit, groups and membership.
    list.MoveTo(0);
    window->clbProgrammName->setCurrentRow(0);
    QListWidgetItem* entry = nullptr;
    for (int row = 0; row < window->clbProgrammName->count() && !entry; ++row)
        if (window->clbProgrammName->item(row)->checkState() == Qt::Unchecked)
            entry = window->clbProgrammName->item(row);
    if (!entry)
        return 1;
    window->clbProgrammName->setCurrentItem(entry);
    actions.push_back(bench.Measure("tick a program", 3, 1, [&](int) { entry->setCheckState(Qt::Checked); }));

    // Delete, and insert with the commit of both; each pick is another group than the one shown.
    const QList<QAbstractButton*> radios = window->RG->findChildren<QAbstractButton*>();
    if (radios.size() < 2)
        return 1;
    actions.push_back(bench.Measure("pick a group", 2, 4, [&](int i) {
        for (qsizetype k = 0; k < radios.size(); ++k) {
            QAbstractButton* b = radios[(i + k) % radios.size()];
            if (!b->isChecked()) {
                b->click();
                break;
            }
        }
    }));

    // The edit check, the marks of the user at the change of a field, savepoint, lock, update with the
    // commit, the marks after the post, the user count, the list again and the marks of the user then
    // current.
    list.MoveTo(5);
    actions.push_back(bench.Measure("post a user", 14 + listArrays, 1, [&](int) {
        list.Edit();
        list.FieldByName(QStringLiteral("IPADR"))->SetAsString(QStringLiteral("10.1.1.1"));
        list.Post();
    }));

    // The event log for November, every program: the one statement, its rows in arrays.
    TProtocol* log = Protocol;
    if (!log)
        return 1;
    log->DateTimePicker1->setDate(QDate(2026, 11, 1));
    log->DateTimePicker2->setDate(QDate(2026, 11, 30));
    log->cbProgramm->setCurrentIndex(0);
    qsizetype found = 0;
    actions.push_back(
        bench.Measure("event log search", (LogChanges + ArrayRows - 1) / ArrayRows, 1, [&](int) {
            QEventLoop wait;
            QObject::connect(log, &TProtocol::SearchEnded, &wait, &QEventLoop::quit);
            log->SpeedButton1Click();
            if (log->Searching())
                wait.exec();
            found = log->Model()->RecordCount();
        }));
    if (found != LogChanges) {
        std::fprintf(stderr, "the event log search found %d of %d records\n", int(found), LogChanges);
        return 1;
    }

    program.Finish();

    std::printf(
        "Round trips per action, %d users, %d programs, %d ms per round trip (OCISQLITE_LATENCY_MS)\n", users,
        programs, latency);
    std::printf(
        "(least: one round trip per documented statement, a commit travelling with the statement before\n"
        " it, the user list in arrays of %d rows; ms at least: the least round trips times the latency)\n",
        ArrayRows);
    std::printf("%-22s %6s %6s %6s %9s %9s %6s %7s   %s\n", "action", "trips", "least", "ratio", "ms",
                "ms least", "ratio", "writes", "round trips by call");
    for (const TAction& a : actions)
        Print(a, latency);
    std::printf("user list read by the SQLite C API alone: %.1f ms\n", rawMs);
    return 0;
}
