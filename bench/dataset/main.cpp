// Opens a 100 000-row dataset (all rows fetched into memory) on an ocisqlite database, and Qt's
// QSqlTableModel with every row fetched on the same table of the same file through the SQLite
// driver. Each side runs in a child process of its own so that its peak memory can be read; the
// best time of several runs counts. Prints both times, their ratio and the peak memory of each.
#include "../support/Callgrind.h"
#include "OracleCI.h"
#include "OracleData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <limits>

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 5;

// Kilobytes from a line of /proc/self/status ("VmRSS:", "VmHWM:").
long StatusKb(const char* key) {
    QFile file("/proc/self/status");
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    return 0;
}

// CPU time of the whole process in milliseconds: on a loaded machine it says more than the clock.
double CpuMsecs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

struct Result {
    qint64 msecs = std::numeric_limits<qint64>::max();
    double cpuMsecs = std::numeric_limits<double>::max();
    long peakKb = std::numeric_limits<long>::max();
    int rows = 0;
};

void Connect(TOracleSession& session, const QString& dir) {
    session.SetLogonUsername("BENCH");
    session.SetLogonPassword("bench");
    session.SetLogonDatabase(QDir(dir).filePath("bench.db"));
    session.LogOn();
}

// One open in this process: time of the open, growth of the peak resident memory over it.
int RunChild(const QString& side, const QString& dir) {
    Result r;
    if (side == "dataset") {
        TOracleSession session;
        Connect(session, dir);
        TOracleDataSet ds;
        ds.SetSession(&session);
        ds.SetSQLText("SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM BENCH_USERS");
        const long before = StatusKb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuMsecs();
        bench::RegionBegin();
        ds.Open();
        bench::RegionEnd("TOracleDataSet");
        r.msecs = timer.elapsed();
        r.cpuMsecs = CpuMsecs() - cpu;
        r.peakKb = StatusKb("VmHWM:") - before;
        r.rows = ds.RecordCount();
    } else if (side == "query") {
        // The same select read through the inner query alone: what the dataset adds is the rest.
        TOracleSession session;
        Connect(session, dir);
        TOracleQuery query;
        query.SetSession(&session);
        query.SetSQLText(
            "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM BENCH_USERS");
        const long before = StatusKb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuMsecs();
        bench::RegionBegin();
        query.Execute();
        qint64 sum = 0;
        for (; !query.Eof(); query.Next(), ++r.rows)
            for (int c = 0; c < 8; ++c)
                sum += query.Field(c).isValid();
        bench::RegionEnd("TOracleQuery");
        r.msecs = timer.elapsed();
        r.cpuMsecs = CpuMsecs() - cpu;
        r.peakKb = StatusKb("VmHWM:") - before;
        if (sum == 0)
            r.rows = 0;
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
        db.setDatabaseName(QDir(dir).filePath("bench.db"));
        if (!db.open()) {
            std::fprintf(stderr, "QSQLITE: %s\n", qPrintable(db.lastError().text()));
            return 1;
        }
        const long before = StatusKb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuMsecs();
        {
            bench::RegionBegin();
            QSqlTableModel model(nullptr, db);
            model.setTable("BENCH_USERS");
            model.select();
            while (model.canFetchMore())
                model.fetchMore();
            bench::RegionEnd("QSqlTableModel");
            r.msecs = timer.elapsed();
            r.cpuMsecs = CpuMsecs() - cpu;
            r.peakKb = StatusKb("VmHWM:") - before;
            r.rows = model.rowCount();
        }
    }
    std::printf("%lld %.1f %ld %d\n", static_cast<long long>(r.msecs), r.cpuMsecs, r.peakKb, r.rows);
    return 0;
}

bool CreateTable(const QString& dir) {
    const QString bin = KMR_BIN_DIR;
    if (QProcess::execute(bin + "/ocisqlite-admin", {"create", QDir(dir).filePath("bench.db"), "--user",
                                                     "BENCH", "--password", "bench"}) != 0) {
        std::fprintf(stderr, "cannot create the database\n");
        return false;
    }
    TOracleSession session;
    Connect(session, dir);
    TOracleQuery create;
    create.SetSession(&session);
    create.SetSQLText("CREATE TABLE BENCH_USERS (TABNUM NUMBER(9) NOT NULL, ALLNAME VARCHAR2(200), "
                      "NAME VARCHAR2(30), GROUPID NUMBER(9), WENABLED CHAR(1), IPADR VARCHAR2(1000), "
                      "IP VARCHAR2(40))");
    create.Execute();
    TOracleQuery insert;
    insert.SetSession(&session);
    insert.SetSQLText("INSERT INTO BENCH_USERS VALUES (:t, :a, :n, :g, :w, :ipadr, :ip)");
    for (const char* name : {"t", "g"})
        insert.DeclareVariable(name, otInteger);
    for (const char* name : {"a", "n", "w", "ipadr", "ip"})
        insert.DeclareVariable(name, otString);
    for (int i = 1; i <= kRows; ++i) {
        insert.SetVariable("t", i);
        insert.SetVariable("a", QString("Пользователь Номер %1").arg(i));
        insert.SetVariable("n", QString("user%1").arg(i));
        insert.SetVariable("g", i % 12);
        insert.SetVariable("w", i % 7 ? "T" : "F");
        insert.SetVariable("ipadr", i % 3 ? QVariant(QString("10.20.%1.%2").arg(i / 250 % 250).arg(i % 250))
                                          : QVariant());
        insert.SetVariable("ip", QString("10.20.%1.%2").arg(i / 250 % 250).arg(i % 250));
        insert.Execute();
    }
    session.Commit();
    return true;
}

// One open in a child process; false when it failed.
bool RunOnce(const QString& side, const QString& dir, Result& best) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--child", side, dir});
    child.waitForFinished(-1);
    const QList<QByteArray> parts = child.readAllStandardOutput().trimmed().split(' ');
    if (child.exitCode() != 0 || parts.size() != 4) {
        std::fprintf(stderr, "%s run failed: %s\n", qPrintable(side),
                     child.readAllStandardError().constData());
        return false;
    }
    best.msecs = std::min(best.msecs, parts[0].toLongLong());
    best.cpuMsecs = std::min(best.cpuMsecs, parts[1].toDouble());
    best.peakKb = std::min(best.peakKb, parts[2].toLong());
    best.rows = parts[3].toInt();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString bin = KMR_BIN_DIR;
    OracleCI::SetCommandLine({"OCIDLL=" + bin + "/libocisqlite.so"});
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == "--child")
            return RunChild(args[2], args[3]);
        // "--create DIR": only the table, for a profiler to run "--child dataset DIR" on.
        if (args.size() == 3 && args[1] == "--create")
            return CreateTable(args[2]) ? 0 : 1;

        // The table is written by a child too: no connection of this process keeps the file open.
        QTemporaryDir dir;
        if (QProcess::execute(QCoreApplication::applicationFilePath(), {"--create", dir.path()}) != 0)
            return 1;
        // The sides take turns, so that a busy moment of the machine hits all of them alike.
        Result dataset, qt, query;
        for (int run = 0; run < bench::Rounds(kRuns); ++run)
            if (!RunOnce("dataset", dir.path(), dataset) || !RunOnce("qt", dir.path(), qt) ||
                !RunOnce("query", dir.path(), query))
                return 1;
        if (dataset.rows != kRows || qt.rows != kRows) {
            std::fprintf(stderr, "row counts differ: dataset %d, QSqlTableModel %d\n", dataset.rows, qt.rows);
            return 1;
        }
        std::printf("rows: %d (7 columns)\n", kRows);
        std::printf("TOracleDataSet open on ocisqlite: %lld ms (CPU %.0f ms), peak memory +%ld KB\n",
                    static_cast<long long>(dataset.msecs), dataset.cpuMsecs, dataset.peakKb);
        std::printf(
            "QSqlTableModel (QSQLITE, all rows fetched): %lld ms (CPU %.0f ms), peak memory +%ld KB\n",
            static_cast<long long>(qt.msecs), qt.cpuMsecs, qt.peakKb);
        std::printf("(the select through TOracleQuery alone, Field of every column: %lld ms (CPU %.0f ms))\n",
                    static_cast<long long>(query.msecs), query.cpuMsecs);
        std::printf("ratio TOracleDataSet / QSqlTableModel: time %.2f, CPU time %.2f, peak memory %.2f\n",
                    double(dataset.msecs) / double(std::max<qint64>(qt.msecs, 1)),
                    dataset.cpuMsecs / std::max(qt.cpuMsecs, 1.0),
                    double(dataset.peakKb) / double(std::max<long>(qt.peakKb, 1)));
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
    return 0;
}
