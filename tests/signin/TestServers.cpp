#include "TestServers.h"

#include "../support/RunProgram.h"

#include "HostInfo.h"
#include "Oracle.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString BinDir() {
    return QStringLiteral(KMR_BIN_DIR);
}
QString SourceDir() {
    return QStringLiteral(KMR_SOURCE_DIR);
}

QString LowerFile(const QString& server) {
    return server.toLower() + QStringLiteral(".db");
}

// By fork and exec (RunProgram), so that ThreadSanitizer follows the test programs that use these servers.
void RunTool(const QString& program, const QStringList& args, const QString& dataDir) {
    const QByteArray data = qgetenv("OCISQLITE_DATA"), home = qgetenv("ORACLE_HOME"),
                     trace = qgetenv("OCISQLITE_TRACE");
    qputenv("OCISQLITE_DATA", dataDir.toUtf8());
    qunsetenv("ORACLE_HOME");
    qunsetenv("OCISQLITE_TRACE");
    const int status = RunProgram(BinDir() + u'/' + program, args);
    const auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("OCISQLITE_DATA", data);
    restore("ORACLE_HOME", home);
    restore("OCISQLITE_TRACE", trace);
    if (status != 0) {
        std::fprintf(stderr, "%s %s failed (%d)\n", qPrintable(program), qPrintable(args.join(u' ')), status);
        std::abort();
    }
}

void MakeServer(const QString& dir, const QString& server, const QString& srvScript) {
    RunTool(QStringLiteral("ocisqlite-admin"),
            {QStringLiteral("create"), dir + u'/' + LowerFile(server), QStringLiteral("--user"),
             QString::fromLatin1(TTestServers::DbUser), QStringLiteral("--password"),
             QString::fromLatin1(TTestServers::DbPassword)},
            dir);
    const QString logon =
        QStringLiteral("%1/%2@%3").arg(TTestServers::DbUser, TTestServers::DbPassword, server);
    for (const QString& script :
         {QStringLiteral("kmr_schema.sql"), QStringLiteral("demo_data.sql"), srvScript})
        RunTool(QStringLiteral("ocisql"), {logon, u'@' + SourceDir() + QStringLiteral("/schema/") + script},
                dir);
}

struct TSession {
    explicit TSession(const QString& server) {
        S.SetLogonUsername(QString::fromLatin1(TTestServers::DbUser));
        S.SetLogonPassword(QString::fromLatin1(TTestServers::DbPassword));
        S.SetLogonDatabase(server);
        S.LogOn();
    }
    TOracleSession S;
};

} // namespace

namespace {

// The application object lives from before the first test to after the last, and is freed.
class TApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureApplication(); }
    void TearDown() override { delete QCoreApplication::instance(); }
};

[[maybe_unused]] ::testing::Environment* const GApplication =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

} // namespace

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "kmr-test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Admin_KMR"));
    }
}

std::optional<std::vector<THostInfo::TIPv4>> TFixedHost::Resolve(const QString&) const {
    const QStringList parts = FAddress.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    TIPv4 ip{};
    for (int i = 0; i < 4; ++i)
        ip[size_t(i)] = std::uint8_t(parts[i].toInt());
    return std::vector<TIPv4>{ip};
}

QString TemplateServersDir() {
    static QTemporaryDir* dir = nullptr;
    if (!dir) {
        dir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/kmr-signin-template-XXXXXX"));
        MakeServer(dir->path(), QString::fromLatin1(TTestServers::MainServer),
                   QStringLiteral("srv_main.sql"));
        MakeServer(dir->path(), QString::fromLatin1(TTestServers::ReserveServer),
                   QStringLiteral("srv_reserve.sql"));
        std::atexit([] { delete dir; });
    }
    return dir->path();
}

TTestServers::TTestServers(bool twoServers, const QString& extraIni) {
    const QString source = TemplateServersDir();
    FTemp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kmr-test-XXXXXX"));
    FDir = FTemp->path();
    for (const char* server : {MainServer, ReserveServer}) {
        const QString file = LowerFile(QString::fromLatin1(server));
        if (!QFile::copy(source + u'/' + file, FDir + u'/' + file))
            ADD_FAILURE() << "cannot copy " << file.toStdString();
    }
    QFile ini(FDir + QStringLiteral("/mvtu.ini"));
    if (ini.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&ini);
        out << "[Mode]\nN_Server=" << (twoServers ? 2 : 1) << "\nC_Server=0\n\n";
        out << "[Alias]\nSERVER_NAME=" << MainServer << "\nUSER_NAME=" << DbUser
            << "\nPASSWORD_=" << DbPassword << "\n\n";
        out << "[Alias_1]\nSERVER_NAME=" << ReserveServer << "\nUSER_NAME=" << DbUser
            << "\nPASSWORD_=" << DbPassword << "\n\n";
        out << extraIni << "\n";
    }
    FOldCwd = QDir::currentPath();
    QDir::setCurrent(FDir);
    qputenv("OCISQLITE_DATA", FDir.toUtf8());
    qunsetenv("ORACLE_HOME");
}

TTestServers::~TTestServers() {
    QDir::setCurrent(FOldCwd);
}

QString TTestServers::DbFile(const QString& server) const {
    return FDir + u'/' + LowerFile(server);
}

void TTestServers::Exec(const QString& server, const QStringList& statements) const {
    TSession session(server);
    TOracleQuery q;
    q.SetSession(&session.S);
    for (const QString& statement : statements) {
        q.SetSQLText(statement);
        q.Execute();
    }
    session.S.Commit();
}

QVariant TTestServers::Scalar(const QString& server, const QString& select) const {
    TSession session(server);
    TOracleQuery q;
    q.SetSession(&session.S);
    q.SetSQLText(select);
    q.Execute();
    return q.Eof() ? QVariant() : q.Field(0);
}

QStringList TTestServers::Rows(const QString& server, const QString& select) const {
    TSession session(server);
    TOracleQuery q;
    q.SetSession(&session.S);
    q.SetSQLText(select);
    q.Execute();
    QStringList rows;
    while (!q.Eof()) {
        QStringList cols;
        for (int i = 0; i < q.FieldCount(); ++i)
            cols << q.FieldAsString(i);
        rows << cols.join(u'|');
        q.Next();
    }
    return rows;
}

QString TTestServers::HostAddress() {
    return HostAddressText(TSystemHostInfo());
}
