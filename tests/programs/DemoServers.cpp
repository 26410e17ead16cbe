#include "DemoServers.h"

#include "Oracle.h"
#include "OracleBase.h"
#include "SqlScript.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>

namespace {

const QString User = QStringLiteral("USER_OIK");
const QString Password = QStringLiteral("QUILLMOSS");

std::unique_ptr<TOracleSession> AdminSession(const QString& db) {
    auto session = std::make_unique<TOracleSession>();
    session->SetLogonUsername(User);
    session->SetLogonPassword(Password);
    session->SetLogonDatabase(db);
    session->LogOn();
    return session;
}

void RunScript(TOracleSession& session, TOracleQuery& query, const QString& path) {
    QFile script(path);
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Exception(QStringLiteral("cannot read ") + path);
    TSqlScriptReader reader;
    auto run = [&](const std::optional<TScriptStatement>& statement) {
        if (!statement || statement->Text.trimmed().isEmpty())
            return;
        const QString text = statement->Text.trimmed();
        if (text.compare(QStringLiteral("COMMIT"), Qt::CaseInsensitive) == 0) {
            session.Commit();
            return;
        }
        query.SetSQLText(text);
        query.Execute();
    };
    QTextStream in(&script);
    while (!in.atEnd())
        run(reader.AddLine(in.readLine()));
    run(reader.Finish());
}

// The servers every test starts from, made once per process.
QString MakeTemplate(QTemporaryDir& dir) {
    for (const char* name : {"main.db", "reserve.db"}) {
        const QString path = dir.filePath(QLatin1String(name));
        QProcess admin;
        admin.start(QStringLiteral(KMR_BIN_DIR "/ocisqlite-admin"),
                    {QStringLiteral("create"), path, QStringLiteral("--user"), User,
                     QStringLiteral("--password"), Password});
        if (!admin.waitForFinished(60000) || admin.exitCode() != 0)
            return QStringLiteral("ocisqlite-admin create failed: ") +
                   QString::fromUtf8(admin.readAllStandardError());
        try {
            auto session = AdminSession(path);
            TOracleQuery query;
            query.SetSession(session.get());
            RunScript(*session, query, QStringLiteral(KMR_SOURCE_DIR "/schema/kmr_schema.sql"));
            RunScript(*session, query, QStringLiteral(KMR_SOURCE_DIR "/schema/demo_data.sql"));
            session->Commit();
            session->LogOff();
        } catch (const std::exception& e) {
            return QStringLiteral("demo data: ") + QString::fromUtf8(e.what());
        }
    }
    return {};
}

} // namespace

std::optional<QString> TFixedHost::LocalHostName() const {
    return QStringLiteral("ws-programs");
}

std::optional<std::vector<THostInfo::TIPv4>> TFixedHost::Resolve(const QString&) const {
    return std::vector<TIPv4>{{10, 20, 1, 10}};
}

TDemoServers::TDemoServers() {
    static QTemporaryDir templateDir;
    static const QString templateError = MakeTemplate(templateDir);
    if (!templateError.isEmpty()) {
        FError = templateError;
        return;
    }
    FDir = std::make_unique<QTemporaryDir>();
    if (!QFile::copy(templateDir.filePath(QStringLiteral("main.db")), MainDb()) ||
        !QFile::copy(templateDir.filePath(QStringLiteral("reserve.db")), ReserveDb())) {
        FError = QStringLiteral("cannot copy the demo servers");
        return;
    }
    qputenv("OCISQLITE_TRACE", FDir->filePath(QStringLiteral("trace.log")).toLocal8Bit());
    FOldCwd = QDir::currentPath();
    QDir::setCurrent(FDir->path());
    CanWrite = false;
    MirrorWrites = false;
}

TDemoServers::~TDemoServers() {
    Stop();
    qunsetenv("OCISQLITE_TRACE");
    if (!FOldCwd.isEmpty())
        QDir::setCurrent(FOldCwd);
}

QString TDemoServers::MainDb() const {
    return FDir->filePath(QStringLiteral("main.db"));
}

QString TDemoServers::ReserveDb() const {
    return FDir->filePath(QStringLiteral("reserve.db"));
}

TFOracleBase& TDemoServers::Start(int servers, TSrvRow mainRow, std::optional<TSrvRow> reserveRow) {
    auto setSrv = [this](const QString& db, TSrvRow row) {
        Exec(db, QStringLiteral("DELETE FROM SRV"));
        Exec(db, QStringLiteral("INSERT INTO SRV (MAIN, SECOND, RO) VALUES (%1, %2, %3)")
                     .arg(row.Main)
                     .arg(row.Second)
                     .arg(row.Ro));
    };
    setSrv(MainDb(), mainRow);
    if (reserveRow)
        setSrv(ReserveDb(), *reserveRow);

    QFile ini(FDir->filePath(QStringLiteral("mvtu.ini")));
    if (ini.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&ini);
        out << "[Mode]\nN_Server=" << servers << "\nC_Server=0\n";
        out << "[Alias]\nSERVER_NAME=" << MainDb() << "\nUSER_NAME=" << User << "\nPASSWORD_=" << Password
            << "\n";
        out << "[Alias_1]\nSERVER_NAME=" << ReserveDb() << "\nUSER_NAME=" << User
            << "\nPASSWORD_=" << Password << "\n";
        out << "[" << (servers == 2 ? "Timer_1" : "Timer") << "]\nAutoConnect=0\n";
    }
    ini.close();

    TDbModuleEnvironment env;
    env.Host = std::make_shared<TFixedHost>();
    env.ShowError = [this](const QString& text, const QString& details) {
        ModuleErrors << text + " / " + details;
    };
    env.RequestTermination = [] {};
    FModule = std::make_unique<TFOracleBase>(nullptr, env);
    FModule->TimerAutoConnect->stop();
    return *FModule;
}

void TDemoServers::Stop() {
    FModule.reset();
}

void TDemoServers::Exec(const QString& db, const QString& sql) {
    auto session = AdminSession(db);
    TOracleQuery query;
    query.SetSession(session.get());
    query.SetSQLText(sql);
    query.Execute();
    session->Commit();
    session->LogOff();
}

std::vector<int> TDemoServers::Column(const QString& db, const QString& sql) {
    auto session = AdminSession(db);
    TOracleQuery query;
    query.SetSession(session.get());
    query.SetSQLText(sql);
    query.Execute();
    std::vector<int> values;
    for (; !query.Eof(); query.Next())
        values.push_back(query.Field(0).toInt());
    query.Close();
    session->LogOff();
    return values;
}

QStringList TDemoServers::Texts(const QString& db, const QString& sql) {
    auto session = AdminSession(db);
    TOracleQuery query;
    query.SetSession(session.get());
    query.SetSQLText(sql);
    query.Execute();
    QStringList values;
    for (; !query.Eof(); query.Next())
        values.push_back(query.Field(0).isNull() ? QString() : query.Field(0).toString());
    query.Close();
    session->LogOff();
    return values;
}

int TDemoServers::Count(const QString& db, const QString& sql) {
    return int(Column(db, sql).size());
}

void TDemoServers::ClearTrace() {
    QFile::remove(FDir->filePath(QStringLiteral("trace.log")));
}

std::vector<TTraceLine> TDemoServers::Trace() const {
    const QList<TTraceLine> lines = ReadTraceFile(FDir->filePath(QStringLiteral("trace.log")));
    return {lines.begin(), lines.end()};
}

int TDemoServers::TraceCount(const QString& call, const QString& text) const {
    int n = 0;
    for (const TTraceLine& line : Trace())
        if (line.Call == call && (text.isNull() || line.Text == text))
            ++n;
    return n;
}
