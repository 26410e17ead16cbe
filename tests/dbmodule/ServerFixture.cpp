#include "ServerFixture.h"

#include "../support/QtTestApplication.h"
#include "../support/RunProgram.h"
#include "../support/TraceFile.h"

#include "Oracle.h"
#include "SqlScript.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <cstdlib>

namespace {

[[maybe_unused]] ::testing::Environment* const appEnvironment = RegisterQtTestApplication("dbmodule_test");

QTemporaryDir* templateDir = nullptr;

const QString User = QStringLiteral("USER_OIK");
const QString Password = QStringLiteral("QUILLMOSS");

std::unique_ptr<TOracleSession> AdminSession(const QString& db) {
    auto s = std::make_unique<TOracleSession>();
    s->SetLogonUsername(User);
    s->SetLogonPassword(Password);
    s->SetLogonDatabase(db);
    s->LogOn();
    return s;
}

void CreateDatabase(const QString& path) {
    ASSERT_EQ(RunProgram(QStringLiteral(KMR_BIN_DIR "/ocisqlite-admin"),
                         {QStringLiteral("create"), path, QStringLiteral("--user"), User,
                          QStringLiteral("--password"), Password}),
              0);

    QFile script(QStringLiteral(KMR_SOURCE_DIR "/schema/kmr_schema.sql"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly | QIODevice::Text));
    auto session = AdminSession(path);
    TOracleQuery query;
    query.SetSession(session.get());
    TSqlScriptReader reader;
    auto run = [&](const std::optional<TScriptStatement>& st) {
        if (!st || st->Text.trimmed().isEmpty())
            return;
        query.SetSQLText(st->Text);
        query.Execute();
    };
    QTextStream in(&script);
    while (!in.atEnd())
        run(reader.AddLine(in.readLine()));
    run(reader.Finish());
    session->Commit();
    session->LogOff();
}

} // namespace

bool PumpUntilImpl(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

void ServerTest::SetUpTestSuite() {
    if (templateDir)
        return;
    templateDir = new QTemporaryDir();
    CreateDatabase(templateDir->filePath(QStringLiteral("main.db")));
    CreateDatabase(templateDir->filePath(QStringLiteral("reserve.db")));
}

void ServerTest::SetUp() {
    ASSERT_TRUE(templateDir && QFile::exists(templateDir->filePath(QStringLiteral("main.db"))))
        << "the template servers could not be created";
    FDir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(QFile::copy(templateDir->filePath(QStringLiteral("main.db")), MainDb()));
    ASSERT_TRUE(QFile::copy(templateDir->filePath(QStringLiteral("reserve.db")), ReserveDb()));
    qputenv("OCISQLITE_TRACE", FDir->filePath(QStringLiteral("trace.log")).toLocal8Bit());
    FOldCwd = QDir::currentPath();
    QDir::setCurrent(FDir->path());
    FHost = std::make_shared<FakeHost>();
    CanWrite = false;
    MirrorWrites = false;
}

void ServerTest::TearDown() {
    // A watcher waiting on a silent server gets its answer, so that the module can stop it at once.
    Up(MainDb());
    Up(ReserveDb());
    DestroyModule();
    qunsetenv("OCISQLITE_TRACE");
    QDir::setCurrent(FOldCwd);
    FDir.reset();
}

QString ServerTest::MainDb() const {
    return FDir->filePath(QStringLiteral("main.db"));
}

QString ServerTest::ReserveDb() const {
    return FDir->filePath(QStringLiteral("reserve.db"));
}

void ServerTest::Exec(const QString& db, const QString& sql) {
    auto session = AdminSession(db);
    TOracleQuery query;
    query.SetSession(session.get());
    query.SetSQLText(sql);
    query.Execute();
    session->Commit();
    session->LogOff();
}

int ServerTest::CountRows(const QString& db, const QString& sql) {
    auto session = AdminSession(db);
    TOracleQuery query;
    query.SetSession(session.get());
    query.SetSQLText(sql);
    query.Execute();
    int n = 0;
    for (; !query.Eof(); query.Next())
        ++n;
    query.Close();
    session->LogOff();
    return n;
}

void ServerTest::SetSrv(const QString& db, std::optional<SrvRow> row) {
    Exec(db, QStringLiteral("DELETE FROM SRV"));
    if (row)
        Exec(db, QStringLiteral("INSERT INTO SRV (MAIN, SECOND, RO) VALUES (%1, %2, %3)")
                     .arg(row->Main)
                     .arg(row->Second)
                     .arg(row->Ro));
}

void ServerTest::Down(const QString& db) {
    QFile marker(db + QStringLiteral(".down"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
}

void ServerTest::Hang(const QString& db, int seconds) {
    QFile marker(db + QStringLiteral(".hang"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write(QByteArray::number(seconds));
}

void ServerTest::Up(const QString& db) {
    QFile::remove(db + QStringLiteral(".down"));
    QFile::remove(db + QStringLiteral(".hang"));
}

void ServerTest::WriteIni(int nServer, int cServer, bool autoConnect) {
    QFile ini(FDir->filePath(QStringLiteral("mvtu.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Text));
    QTextStream out(&ini);
    out << "[Mode]\nN_Server=" << nServer << "\nC_Server=" << cServer << "\n";
    if (FCallTimeoutSeconds >= 0)
        out << "CallTimeout=" << FCallTimeoutSeconds << "\n";
    out << "[Alias]\nSERVER_NAME=" << MainDb() << "\nUSER_NAME=" << User << "\nPASSWORD_=" << Password
        << "\n";
    out << "[Alias_1]\nSERVER_NAME=" << ReserveDb() << "\nUSER_NAME=" << User << "\nPASSWORD_=" << Password
        << "\n";
    const char* timer = nServer == 2 ? "Timer_1" : "Timer";
    out << "[" << timer << "]\nAutoConnect=" << (autoConnect ? 1 : 0) << "\n";
}

TFOracleBase& ServerTest::CreateModule() {
    TDbModuleEnvironment env;
    env.Host = FHost;
    env.ShowError = [this](const QString& text, const QString& details) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread()) << "a message shown outside the GUI thread";
        FErrors.emplace_back(text, details);
    };
    env.RequestTermination = [this] { ++FTerminations; };
    env.ReserveIdleTimeoutMs = FReserveIdleTimeoutMs;
    env.CreateNotice = [this](TFOracleBase& module) -> std::unique_ptr<IConnectNotice> {
        if (FNoticeFactory)
            return FNoticeFactory(module);
        auto notice = std::make_unique<FakeNotice>();
        FNotice = notice.get();
        return notice;
    };
    FModule = std::make_unique<TFOracleBase>(nullptr, env);
    // Tests drive the tick themselves.
    FModule->TimerAutoConnect->stop();
    return *FModule;
}

void ServerTest::DestroyModule() {
    FModule.reset();
    FNotice = nullptr;
}

void ServerTest::ClearTrace() {
    QFile::remove(FDir->filePath(QStringLiteral("trace.log")));
}

int ServerTest::TraceCount(const QString& call, const QString& text) const {
    int n = 0;
    for (const TTraceLine& line : ReadTraceFile(FDir->filePath(QStringLiteral("trace.log"))))
        if (line.Call == call && (text.isNull() || line.Text == text))
            ++n;
    return n;
}

std::string ServerTest::TraceText() const {
    QFile f(FDir->filePath(QStringLiteral("trace.log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

bool ServerTest::WaitForMainWatcher(int evaluations) {
    return PumpUntil([&] {
        return FModule->MainThread->Evaluations() >= evaluations &&
               FModule->MainThread->State() == TBaseWatchThread::stIdle;
    });
}

bool ServerTest::WaitForReserveWatcher(int evaluations) {
    return PumpUntil([&] {
        return FModule->ReservThread->Evaluations() >= evaluations &&
               FModule->ReservThread->State() == TBaseWatchThread::stIdle;
    });
}
