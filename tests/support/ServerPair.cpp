#include "ServerPair.h"

#include "Oracle.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <optional>

namespace {

std::vector<std::string> Scripts(TServerContent content, const char* srvScript) {
    if (content == TServerContent::Schema)
        return {"kmr_schema.sql"};
    return {"kmr_schema.sql", "demo_data.sql", srvScript};
}

// The file the embedded server opens for a connect identifier.
QString ServerFile(const QString& server) {
    return server.toLower() + QStringLiteral(".db");
}

} // namespace

TServerPair::TServerPair(TServerContent content, TServerNames names) : FDir(std::make_unique<TTempFolder>()) {
    const bool named = names == TServerNames::Named;
    FMainFile = named ? ServerFile(QString::fromLatin1(MainServer)) : QStringLiteral("main.db");
    FReserveFile = named ? ServerFile(QString::fromLatin1(ReserveServer)) : QStringLiteral("reserve.db");
    std::string error;
    const std::string main = TemplateServerFile(Scripts(content, "srv_main.sql"), &error);
    const std::string reserve =
        error.empty() ? TemplateServerFile(Scripts(content, "srv_reserve.sql"), &error) : std::string();
    if (!error.empty()) {
        FError = QString::fromStdString(error);
        return;
    }
    if (FDir->Path().empty()) {
        FError = QStringLiteral("no temporary folder");
        return;
    }
    if (!QFile::copy(QString::fromStdString(main), MainDb()) ||
        !QFile::copy(QString::fromStdString(reserve), ReserveDb())) {
        FError = QStringLiteral("cannot copy the template servers into ") + Dir();
        return;
    }
    FTrace = TTraceFile(QDir(Dir()).filePath(QStringLiteral("trace.log")));
    if (named) {
        if (qEnvironmentVariableIsSet("OCISQLITE_DATA"))
            FOldData = qgetenv("OCISQLITE_DATA");
        qputenv("OCISQLITE_DATA", QFile::encodeName(Dir()));
        FNamed = true;
    }
    qputenv("OCISQLITE_TRACE", QFile::encodeName(FTrace.Path()));
    // The embedded server, not an Oracle client that the machine may have.
    qunsetenv("ORACLE_HOME");
    FOldCwd = QDir::currentPath();
    QDir::setCurrent(Dir());
}

TServerPair::~TServerPair() {
    if (FOldCwd.isEmpty())
        return;
    qunsetenv("OCISQLITE_TRACE");
    if (FOldData)
        qputenv("OCISQLITE_DATA", *FOldData);
    else if (FNamed)
        qunsetenv("OCISQLITE_DATA");
    QDir::setCurrent(FOldCwd);
}

QString TServerPair::Dir() const {
    return QString::fromStdString(FDir->Path());
}

QString TServerPair::MainDb() const {
    return QDir(Dir()).filePath(FMainFile);
}

QString TServerPair::ReserveDb() const {
    return QDir(Dir()).filePath(FReserveFile);
}

QString TServerPair::DbFile(const QString& server) const {
    return QDir(Dir()).filePath(ServerFile(server));
}

std::unique_ptr<TOracleSession> TServerPair::LogOn(const QString& db, bool threadSafe) {
    auto session = std::make_unique<TOracleSession>();
    session->SetThreadSafe(threadSafe);
    session->SetLogonUsername(QString::fromLatin1(DemoUser));
    session->SetLogonPassword(QString::fromLatin1(DemoPassword));
    session->SetLogonDatabase(db);
    session->LogOn();
    return session;
}

void TServerPair::Exec(TOracleSession& session, const QString& statement) {
    TOracleQuery query;
    query.SetSession(&session);
    query.SetSQLText(statement);
    query.Execute();
}

void TServerPair::Exec(const QString& db, const QStringList& statements) {
    auto session = LogOn(db);
    TOracleQuery query;
    query.SetSession(session.get());
    for (const QString& statement : statements) {
        query.SetSQLText(statement);
        query.Execute();
    }
    session->Commit();
    session->LogOff();
}

int TServerPair::Count(const QString& db, const QString& select) {
    return int(Texts(db, select).size());
}

std::vector<int> TServerPair::Column(const QString& db, const QString& select) {
    std::vector<int> values;
    for (const QString& text : Texts(db, select))
        values.push_back(text.toInt());
    return values;
}

void TServerPair::ForEachRow(const QString& db, const QString& select,
                             const std::function<void(TOracleQuery&)>& row) {
    auto session = LogOn(db);
    TOracleQuery query;
    query.SetSession(session.get());
    query.SetSQLText(select);
    query.Execute();
    for (; !query.Eof(); query.Next())
        row(query);
    query.Close();
    session->LogOff();
}

QStringList TServerPair::Texts(const QString& db, const QString& select) {
    QStringList values;
    ForEachRow(db, select, [&values](TOracleQuery& q) {
        values.push_back(q.Field(0).isNull() ? QString() : q.Field(0).toString());
    });
    return values;
}

QVariant TServerPair::Scalar(const QString& db, const QString& select) {
    std::optional<QVariant> value;
    ForEachRow(db, select, [&value](TOracleQuery& q) {
        if (!value)
            value = q.Field(0);
    });
    return value.value_or(QVariant());
}

QStringList TServerPair::Rows(const QString& db, const QString& select) {
    QStringList rows;
    ForEachRow(db, select, [&rows](TOracleQuery& q) {
        QStringList columns;
        for (int i = 0; i < q.FieldCount(); ++i)
            columns << q.FieldAsString(i);
        rows << columns.join(u'|');
    });
    return rows;
}

void TServerPair::SetSrv(const QString& db, std::optional<TSrvRow> row) {
    QStringList statements{QStringLiteral("DELETE FROM SRV")};
    if (row)
        statements << QStringLiteral("INSERT INTO SRV (MAIN, SECOND, RO) VALUES (%1, %2, %3)")
                          .arg(row->Main)
                          .arg(row->Second)
                          .arg(row->Ro);
    Exec(db, statements);
}

bool TServerPair::Down(const QString& db) {
    QFile marker(db + QStringLiteral(".down"));
    return marker.open(QIODevice::WriteOnly);
}

bool TServerPair::Hang(const QString& db, int seconds) {
    QFile marker(db + QStringLiteral(".hang"));
    return marker.open(QIODevice::WriteOnly) && marker.write(QByteArray::number(seconds)) > 0;
}

void TServerPair::Up(const QString& db) {
    QFile::remove(db + QStringLiteral(".down"));
    QFile::remove(db + QStringLiteral(".hang"));
}

bool TServerPair::WriteProfile(TServerProfile profile) const {
    if (profile.Main.isEmpty())
        profile.Main = FNamed ? QString::fromLatin1(MainServer) : MainDb();
    if (profile.Reserve.isEmpty())
        profile.Reserve = FNamed ? QString::fromLatin1(ReserveServer) : ReserveDb();
    return WriteServerProfile(QDir(Dir()).filePath(QStringLiteral("mvtu.ini")), profile);
}
