// The event log over 1 000 000 changes in 60 days and 5 programs (generated once, kept beside the
// build as bench-data/eventlog_1m.db):
// - one day over all programs: the documented statement through the access layer (TOracleQuery on the
//   embedded server) against the same query on the raw SQLite C API, and the window's own search
//   thread into its records;
// - the whole 60 days through the window's search: time and memory of the model's records;
// - the grid over those records: painting while scrolling, and the filter.
#include "DemoServers.h"

#include "Oracle.h"
#include "ProtocolCsv.h"
#include "ProtocolGrid.h"
#include "ProtocolModel.h"
#include "ProtocolQuery.h"
#include "ProtocolSearch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int Days = 60;
constexpr int Programs = 5;
// 3334 moments a day; the last one only on the first 20 days: exactly 1 000 000 changes.
constexpr int Slots = 3334;
constexpr int Runs = 5;
const QString DataVersion = QStringLiteral("eventlog-1m-v2");
const QDate FirstDay(2026, 10, 1);
const QDate MeasuredDay = FirstDay.addDays(30);

const QString User = QStringLiteral("USER_OIK");
const QString Password = QStringLiteral("QUILLMOSS");

long StatusKb(const char* key) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Makes the peak resident size start again from the current one (Linux 4.0 and later).
void ResetPeak() {
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

struct TTiming {
    double Ms = 0, CpuMs = 0;
    qint64 Rows = 0, Characters = 0;
};

// The median of several runs (by wall time); rows and characters of the last.
TTiming Measure(const std::function<TTiming()>& run) {
    std::vector<TTiming> runs;
    for (int i = 0; i < Runs; ++i)
        runs.push_back(run());
    std::sort(runs.begin(), runs.end(), [](const TTiming& a, const TTiming& b) { return a.Ms < b.Ms; });
    return runs[runs.size() / 2];
}

void Exec(TOracleSession& session, const QString& sql) {
    TOracleQuery query;
    query.SetSession(&session);
    query.SetSQLText(sql);
    query.Execute();
}

std::unique_ptr<TOracleSession> Connect(const QString& path) {
    auto session = std::make_unique<TOracleSession>();
    session->SetThreadSafe(true);
    session->SetLogonUsername(User);
    session->SetLogonPassword(Password);
    session->SetLogonDatabase(path);
    session->LogOn();
    return session;
}

bool DataCurrent(const QString& path) {
    if (!QFile::exists(path))
        return false;
    try {
        auto session = Connect(path);
        TOracleQuery query;
        query.SetSession(session.get());
        query.SetSQLText(QStringLiteral("SELECT V FROM BENCH_VERSION"));
        query.Execute();
        return !query.Eof() && query.FieldAsString(0) == DataVersion;
    } catch (const std::exception&) {
        return false;
    }
}

// The demo server with 5 programs and 1 000 000 changes instead of the demo log: helper tables of
// days and moments crossed with the programs in one statement.
bool Generate(const QString& path) {
    std::printf("Generating %s (once) ...\n", qPrintable(path));
    std::fflush(stdout);
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    {
        TDemoServers demo;
        if (!demo.Error().isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(demo.Error()));
            return false;
        }
        if (!QFile::copy(demo.MainDb(), path + QStringLiteral(".part")))
            return false;
    }
    qunsetenv("OCISQLITE_TRACE");
    try {
        auto session = Connect(path + QStringLiteral(".part"));
        Exec(*session,
             QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (4, "
                            "'REMONT.EXE', 'Ремонты')"));
        Exec(*session,
             QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (5, "
                            "'PEREKL.EXE', 'Переключения')"));
        Exec(*session, QStringLiteral("DELETE FROM kmr_protokol"));
        Exec(*session, QStringLiteral("CREATE TABLE BENCH_DAY (D VARCHAR2(10), K NUMBER(9))"));
        Exec(*session,
             QStringLiteral("CREATE TABLE BENCH_SLOT (T VARCHAR2(8), U NUMBER(9), F VARCHAR2(30), O "
                            "VARCHAR2(100), N VARCHAR2(100), K NUMBER(9))"));
        TOracleQuery day;
        day.SetSession(session.get());
        day.SetSQLText(QStringLiteral("INSERT INTO BENCH_DAY VALUES (:D, :K)"));
        day.DeclareVariable(QStringLiteral("D"), otString);
        day.DeclareVariable(QStringLiteral("K"), otInteger);
        for (int k = 0; k < Days; ++k) {
            day.SetVariable(QStringLiteral("D"), FirstDay.addDays(k).toString(QStringLiteral("dd.MM.yyyy")));
            day.SetVariable(QStringLiteral("K"), k + 1);
            day.Execute();
        }
        const char* const fields[] = {"openclose", "sost",  "dostmer", "ComboBox1", "Memo1",
                                      "edOborud",  "edFIO", "DateBeg", "DateEnd",   "edNumber"};
        TOracleQuery slot;
        slot.SetSession(session.get());
        slot.SetSQLText(QStringLiteral("INSERT INTO BENCH_SLOT VALUES (:T, :U, :F, :O, :N, :K)"));
        for (const char* name : {"T", "F", "O", "N"})
            slot.DeclareVariable(QLatin1String(name), otString);
        slot.DeclareVariable(QStringLiteral("U"), otInteger);
        slot.DeclareVariable(QStringLiteral("K"), otInteger);
        for (int i = 0; i < Slots; ++i) {
            const int second = int(qint64(i) * 86400 / Slots);
            const QString field = QLatin1String(fields[i % 10]);
            QString oldValue = QString::number(i % 4), newValue = QString::number((i + 1) % 4);
            if (field == QLatin1String("dostmer")) {
                oldValue = QStringLiteral("1осмотр выполнен %1").arg(i);
                newValue = QStringLiteral("2требуется замена %1").arg(i);
            } else if (field == QLatin1String("Memo1")) {
                oldValue = QStringLiteral("Ожидается поставка материалов, заявка %1").arg(i);
                newValue = QStringLiteral("Бригада выехала на место, заявка %1").arg(i);
            } else if (field == QLatin1String("edFIO")) {
                oldValue = QStringLiteral("Федоров Алексей Михайлович");
                newValue = QStringLiteral("Виноградов Арсений Ильич");
            }
            slot.SetVariable(QStringLiteral("T"),
                             QTime(0, 0).addSecs(second).toString(QStringLiteral("HH:mm:ss")));
            // The demo's 40 users: numbers 1 to 41 without the deleted 23.
            const int user = i % 40 + 1;
            slot.SetVariable(QStringLiteral("U"), user >= 23 ? user + 1 : user);
            slot.SetVariable(QStringLiteral("F"), field);
            slot.SetVariable(QStringLiteral("O"), oldValue);
            slot.SetVariable(QStringLiteral("N"), newValue);
            slot.SetVariable(QStringLiteral("K"), i + 1);
            slot.Execute();
        }
        Exec(*session,
             QStringLiteral("INSERT INTO kmr_protokol SELECT P.ID_PROGRAMMEXE, S.U, TO_DATE(D.D || ' ' || "
                            "S.T, 'dd.mm.yyyy hh24:mi:ss'), S.F, S.O, S.N FROM BENCH_DAY D, BENCH_SLOT S, "
                            "KMR_PROGRAMMEXE P WHERE S.K < %1 OR D.K <= 20")
                 .arg(Slots));
        Exec(*session, QStringLiteral("DROP TABLE BENCH_DAY"));
        Exec(*session, QStringLiteral("DROP TABLE BENCH_SLOT"));
        Exec(*session, QStringLiteral("CREATE TABLE BENCH_VERSION (V VARCHAR2(40))"));
        Exec(*session, QStringLiteral("INSERT INTO BENCH_VERSION VALUES ('%1')").arg(DataVersion));
        session->Commit();
        session->LogOff();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "generating: %s\n", e.what());
        return false;
    }
    for (const char* suffix : {".part-wal", ".part-shm", ".part.locks", ".part.locks-wal", ".part.locks-shm"})
        QFile::remove(path + QLatin1String(suffix));
    return QFile::rename(path + QStringLiteral(".part"), path);
}

// The documented statement in SQLite's own words: the same joins, decoding and order.
QByteArray NativeStatement(const QDate& first, const QDate& last) {
    auto decode = [](const char* v) {
        return QByteArray(
                   "(CASE p.FIELD_NAME "
                   "WHEN 'openclose' THEN CASE p.V WHEN '0' THEN 'Нереализована' WHEN '1' THEN 'Открыта' "
                   "WHEN "
                   "'2' THEN 'Закрыта' END "
                   "WHEN 'sost' THEN CASE p.V WHEN '0' THEN 'Снята' WHEN '1' THEN 'Разрешена' WHEN '2' THEN "
                   "'Отказана' WHEN '3' THEN 'Не расмотрена' WHEN '4' THEN 'Перенесена' END "
                   "WHEN 'dostmer' THEN CASE substr(p.V, 1, 1) WHEN '0' THEN NULL WHEN '1' THEN 'Достаточно. "
                   "' || substr(p.V, 2, 20) WHEN '2' THEN 'Недостаточно. ' || substr(p.V, 2, 20) END "
                   "WHEN 'ComboBox1' THEN CASE p.V WHEN '0' THEN 'Плановая' WHEN '1' THEN 'Внеплановая' WHEN "
                   "'2' THEN 'Срочная' WHEN '3' THEN 'Аварийная' END "
                   "ELSE p.V END)")
            .replace("p.V", QByteArray("p.") + v);
    };
    return "SELECT " + decode("OLD_VALUE") + " AS OLD_VALUE1, " + decode("NEW_VALUE") +
           " AS NEW_VALUE1, e.PRALIAS, f.OBJECT_NAME, "
           "strftime('%H:%M %d:%m:', p.DATE_CHANGE) || substr(strftime('%Y', p.DATE_CHANGE), 3) AS DTCHANGE, "
           "u.ALLNAME FROM kmr_protokol p, kmr_field_name f, USER_PSW u, KMR_PROGRAMMEXE e "
           "WHERE p.FIELD_NAME = f.FIELD_NAME AND p.ID_USER = u.TABNUM AND e.ID_PROGRAMMEXE = p.ID_PROGRAMM "
           "AND p.DATE_CHANGE >= '" +
           first.toString(QStringLiteral("yyyy-MM-dd")).toLatin1() + " 00:00:00' AND p.DATE_CHANGE <= '" +
           last.toString(QStringLiteral("yyyy-MM-dd")).toLatin1() +
           " 23:59:59' ORDER BY p.ID_PROGRAMM, p.DATE_CHANGE";
}

TTiming RawSqlite(const QString& path, const QDate& day) {
    TTiming t;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "sqlite3_open_v2: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return t;
    }
    QElapsedTimer clock;
    clock.start();
    const double cpu = CpuMs();
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = NativeStatement(day, day);
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite3_prepare_v2: %s\n", sqlite3_errmsg(db));
    } else {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            // Into the texts a Qt program works with, as the access layer hands them over.
            for (int c = 0; c < 6; ++c)
                t.Characters +=
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                                      sqlite3_column_bytes(statement, c))
                        .size();
            ++t.Rows;
        }
    }
    sqlite3_finalize(statement);
    t.Ms = double(clock.nsecsElapsed()) / 1e6;
    t.CpuMs = CpuMs() - cpu;
    sqlite3_close(db);
    return t;
}

TTiming AccessLayer(TOracleSession& session, const QDate& day) {
    TTiming t;
    TOracleQuery query;
    query.SetSession(&session);
    query.SetReadBuffer(TProtocolSearch::DefaultReadBuffer);
    query.SQL() =
        ProtocolStatement(std::nullopt, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)));
    QElapsedTimer clock;
    clock.start();
    const double cpu = CpuMs();
    query.Execute();
    for (; !query.Eof(); query.Next(), ++t.Rows)
        for (int c = 0; c < 6; ++c)
            t.Characters += query.FieldAsString(c).size();
    t.Ms = double(clock.nsecsElapsed()) / 1e6;
    t.CpuMs = CpuMs() - cpu;
    return t;
}

std::shared_ptr<TProtocolRecords> WindowSearch(TOracleSession& session, const QDate& first, const QDate& last,
                                               TTiming& t) {
    QElapsedTimer clock;
    clock.start();
    const double cpu = CpuMs();
    TProtocolSearch search(
        ProtocolStatement(std::nullopt, QDateTime(first, QTime(0, 0)), QDateTime(last, QTime(23, 59, 59))),
        [&session] {
            auto query = std::make_unique<TOracleQuery>();
            query->SetSession(&session);
            return query;
        },
        {});
    while (!search.Finished())
        QThread::msleep(1);
    t.Ms = double(clock.nsecsElapsed()) / 1e6;
    t.CpuMs = CpuMs() - cpu;
    TProtocolSearch::TOutcome outcome = search.TakeOutcome();
    if (outcome.Result != TProtocolSearch::srComplete)
        std::fprintf(stderr, "search: %s\n", qPrintable(outcome.Error));
    t.Rows = outcome.Records ? outcome.Records->Count() : 0;
    return outcome.Records;
}

void Print(const char* what, const TTiming& t, const TTiming* baseline = nullptr) {
    std::printf("  %-44s %8.1f ms  (CPU %8.1f ms)  %8lld rows", what, t.Ms, t.CpuMs,
                static_cast<long long>(t.Rows));
    if (baseline && baseline->Ms > 0)
        std::printf("  %.2fx (CPU %.2fx)", t.Ms / baseline->Ms, t.CpuMs / baseline->CpuMs);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString path =
        QDir(QStringLiteral(KMR_BIN_DIR "/../bench-data")).absoluteFilePath(QStringLiteral("eventlog_1m.db"));
    if (!DataCurrent(path) && !Generate(path))
        return 1;
    auto session = Connect(path);
    {
        TOracleQuery count;
        count.SetSession(session.get());
        count.SetSQLText(QStringLiteral("SELECT COUNT(*) N FROM kmr_protokol"));
        count.Execute();
        std::printf("Event log: %d changes in %d days of %d programs\n", count.Field(0).toInt(), Days,
                    Programs);
    }

    std::printf("One day (%s) over all programs, median of %d runs:\n",
                qPrintable(MeasuredDay.toString(QStringLiteral("dd.MM.yyyy"))), Runs);
    const TTiming raw = Measure([&] { return RawSqlite(path, MeasuredDay); });
    const TTiming layer = Measure([&] { return AccessLayer(*session, MeasuredDay); });
    const TTiming window = Measure([&] {
        TTiming t;
        WindowSearch(*session, MeasuredDay, MeasuredDay, t);
        return t;
    });
    Print("raw SQLite C API, the same query", raw);
    Print("access layer (TOracleQuery, embedded server)", layer, &raw);
    Print("the window's search thread into its records", window, &raw);
    if (raw.Rows != layer.Rows || raw.Characters != layer.Characters)
        std::printf("  MISMATCH: raw %lld rows / %lld bytes, access layer %lld rows / %lld bytes\n",
                    static_cast<long long>(raw.Rows), static_cast<long long>(raw.Characters),
                    static_cast<long long>(layer.Rows), static_cast<long long>(layer.Characters));

    std::printf("The whole %d days over all programs through the window's search:\n", Days);
    TProtocolModel model;
    ResetPeak();
    const long rssBefore = StatusKb("VmRSS:");
    TTiming all;
    model.SetRecords(WindowSearch(*session, FirstDay, FirstDay.addDays(Days - 1), all));
    const long peak = StatusKb("VmHWM:") - rssBefore;
    const long kept = StatusKb("VmRSS:") - rssBefore;
    Print("search and records", all);
    std::printf(
        "  records' own memory %.1f MB (%.0f bytes a record); resident memory kept %.1f MB, peak growth "
        "during the search %.1f MB\n",
        double(model.Records()->MemoryBytes()) / 1048576.0,
        double(model.Records()->MemoryBytes()) / double(std::max<qint64>(1, all.Rows)), kept / 1024.0,
        peak / 1024.0);

    std::printf("The grid over them (910 x 600, offscreen):\n");
    TProtocolGrid grid;
    grid.setModel(&model);
    grid.resize(910, 600);
    grid.show();
    QCoreApplication::processEvents();
    QScrollBar* bar = grid.verticalScrollBar();
    QElapsedTimer clock;
    constexpr int Frames = 300;
    clock.start();
    for (int i = 0; i < Frames; ++i) {
        bar->setValue(bar->value() + bar->pageStep());
        grid.viewport()->repaint();
        QCoreApplication::processEvents();
    }
    std::printf("  page down and paint: %.2f ms a page (%d pages, rows growing to their texts)\n",
                double(clock.nsecsElapsed()) / 1e6 / Frames, Frames);
    clock.restart();
    for (int i = 0; i < Frames; ++i) {
        bar->setValue(bar->value() - bar->pageStep());
        grid.viewport()->repaint();
        QCoreApplication::processEvents();
    }
    std::printf("  the same pages back up: %.2f ms a page (rows grown already)\n",
                double(clock.nsecsElapsed()) / 1e6 / Frames);
    clock.restart();
    for (int i = 0; i < Frames; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * ((i * 7919) % Frames) / Frames));
        grid.viewport()->repaint();
        QCoreApplication::processEvents();
    }
    std::printf("  jump anywhere and paint: %.2f ms a jump (%d jumps)\n",
                double(clock.nsecsElapsed()) / 1e6 / Frames, Frames);
    clock.restart();
    model.SetFilter(QStringLiteral("бригада"));
    std::printf("  filter \"бригада\": %.1f ms, %lld of %lld records shown\n",
                double(clock.nsecsElapsed()) / 1e6, static_cast<long long>(model.ShownCount()),
                static_cast<long long>(model.RecordCount()));
    clock.restart();
    model.SetFilter(QString());
    std::printf("  filter cleared: %.1f ms\n", double(clock.nsecsElapsed()) / 1e6);
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("log.csv"));
        QString error;
        clock.restart();
        const bool saved = SaveProtocolCsv(model.ShownRows(), file, error);
        std::printf("  \"Сохранить в CSV\" of all %lld records: %.1f ms, %.1f MB%s\n",
                    static_cast<long long>(model.ShownCount()), double(clock.nsecsElapsed()) / 1e6,
                    double(QFileInfo(file).size()) / 1048576.0, saved ? "" : qPrintable(" FAILED: " + error));
    }
    session->LogOff();
    return 0;
}
