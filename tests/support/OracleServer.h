// A fresh embedded server of its own for each suite of the access layer's tests: an account and no
// tables, in a temporary folder that OCISQLITE_DATA names, with the round-trip trace on.
#pragma once

#include "ServerTools.h"
#include "TraceFile.h"

#include "Oracle.h"
#include "OracleCI.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class OracleServer : public ::testing::Test {
protected:
    static inline std::unique_ptr<QTemporaryDir> Dir;
    static inline QString User = QStringLiteral("KMR");
    static inline QString Password = QStringLiteral("secret");
    static inline QString Database = QStringLiteral("testdb");

    static void SetUpTestSuite() {
        Dir = std::make_unique<QTemporaryDir>();
        qputenv("OCISQLITE_DATA", Dir->path().toLocal8Bit());
        qputenv("OCISQLITE_TRACE", TracePath().toLocal8Bit());
        OracleCI::SetCommandLine(
            {QStringLiteral("OCIDLL=") + QString::fromStdString(BinPath("libocisqlite.so"))});
        ASSERT_EQ(Admin({QStringLiteral("create"), Database, QStringLiteral("--user"), User,
                         QStringLiteral("--password"), Password}),
                  0);
    }
    static void TearDownTestSuite() {
        qunsetenv("OCISQLITE_TRACE");
        Dir.reset();
    }

    // ocisqlite-admin on the suite's folder; its exit status.
    static int Admin(const QStringList& arguments) {
        std::vector<std::string> args;
        for (const QString& a : arguments)
            args.push_back(a.toStdString());
        return RunTool("ocisqlite-admin", args, Dir->path().toStdString()).ExitCode;
    }

    static QString TracePath() { return Dir->filePath(QStringLiteral("trace.log")); }
    static QString ConnectString() {
        return User + QLatin1Char('/') + Password + QLatin1Char('@') + Database;
    }

    // A logged-on session owned by the test.
    std::unique_ptr<TOracleSession> NewSession(bool threadSafe = false) {
        auto session = std::make_unique<TOracleSession>();
        session->SetThreadSafe(threadSafe);
        session->SetLogonUsername(User);
        session->SetLogonPassword(Password);
        session->SetLogonDatabase(Database);
        session->LogOn();
        return session;
    }

    static void Exec(TOracleSession& session, const QString& sql) {
        TOracleQuery q;
        q.SetSession(&session);
        q.SetSQLText(sql);
        q.Execute();
    }

    // Drops a table if it exists, ignoring ORA-00942.
    static void DropTable(TOracleSession& session, const QString& table) {
        try {
            Exec(session, QStringLiteral("DROP TABLE ") + table);
        } catch (const EOracleError&) {
        }
    }

    static void ClearTrace() { QFile::remove(TracePath()); }
    // Trace lines (call and statement text, CR and LF escaped) containing every given fragment.
    static int TraceCount(const QStringList& fragments) {
        return TTraceFile(TracePath()).CountContaining(fragments);
    }
};
