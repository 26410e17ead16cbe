// A fresh ocisqlite database per test program, in a temporary folder, with the round-trip trace on.
#pragma once

#include "../support/RunProgram.h"

#include "Oracle.h"
#include "OracleCI.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
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
            {QStringLiteral("OCIDLL=") + QStringLiteral(KMR_BIN_DIR) + QStringLiteral("/libocisqlite.so")});
        ASSERT_EQ(RunProgram(QStringLiteral(KMR_BIN_DIR) + QStringLiteral("/ocisqlite-admin"),
                             {QStringLiteral("create"), Database, QStringLiteral("--user"), User,
                              QStringLiteral("--password"), Password}),
                  0);
    }

    static int RunProgram(const QString& program, const QStringList& arguments) {
        return ::RunProgram(program, arguments);
    }
    static void TearDownTestSuite() {
        qunsetenv("OCISQLITE_TRACE");
        Dir.reset();
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
        QFile file(TracePath());
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        int count = 0;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw);
            bool all = !line.isEmpty();
            for (const QString& f : fragments)
                all = all && line.contains(f);
            count += all ? 1 : 0;
        }
        return count;
    }
};
