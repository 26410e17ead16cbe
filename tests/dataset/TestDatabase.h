// An embedded server database in a temporary folder for the dataset and control tests: created with
// ocisqlite-admin, loaded with the schema (and the demo data) through ocisql, with the round-trip
// trace switched on so a test can read back exactly which statements reached the server.
#pragma once

#include "../support/TraceFile.h"

#include "Oracle.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

class TestDatabase {
public:
    static constexpr const char* User = "KMR";
    static constexpr const char* Password = "KMRPWD";

    // False (with the reason) when the server or its tools cannot be run.
    bool Create(bool demoData, QString* error) {
        if (!FDir.isValid()) {
            *error = "no temporary folder";
            return false;
        }
        FFile = FDir.filePath("kmr.db");
        FTrace = FDir.filePath("trace.txt");
        qputenv("OCISQLITE_TRACE", FTrace.toLocal8Bit());
        if (!Run(Bin("ocisqlite-admin"), {"create", FFile, "--user", User, "--password", Password}, error))
            return false;
        QStringList scripts{Source("schema/kmr_schema.sql")};
        if (demoData)
            scripts << Source("schema/demo_data.sql");
        for (const QString& script : scripts)
            if (!Run(Bin("ocisql"), {ConnectString(), "@" + script}, error))
                return false;
        return true;
    }

    // A database of its own holding what the other one holds (no session may be writing to it).
    bool CopyFrom(const TestDatabase& other) {
        if (!FDir.isValid())
            return false;
        FFile = FDir.filePath("kmr.db");
        FTrace = FDir.filePath("trace.txt");
        qputenv("OCISQLITE_TRACE", FTrace.toLocal8Bit());
        return QFile::copy(other.FFile, FFile);
    }

    QString ConnectString() const { return QString("%1/%2@%3").arg(User, Password, FFile); }

    // A logged-on session of its own (a second "user" is a second session).
    std::unique_ptr<TOracleSession> Connect() const {
        auto session = std::make_unique<TOracleSession>();
        session->SetLogonUsername(User);
        session->SetLogonPassword(Password);
        session->SetLogonDatabase(FFile);
        session->LogOn();
        return session;
    }

    static void Exec(TOracleSession* session, const QString& sql) {
        TOracleQuery query;
        query.SetSession(session);
        query.SetSQLText(sql);
        query.Execute();
    }

    // Forgets what the trace holds so far.
    void StartTrace() const { QFile(FTrace).remove(); }

    QList<TTraceLine> Trace() const { return ReadTraceFile(FTrace); }

    // The statements executed since StartTrace, without the final line break the layer adds.
    QStringList Statements() const {
        QStringList statements;
        for (const TTraceLine& line : Trace())
            if (line.Call == "OCIStmtExecute") {
                QString text = line.Text;
                while (text.endsWith('\n'))
                    text.chop(1);
                statements << text;
            }
        return statements;
    }

    int Calls(const QString& call) const {
        int count = 0;
        for (const TTraceLine& line : Trace())
            count += line.Call == call;
        return count;
    }

    const QString& File() const { return FFile; }

private:
    static QString Bin(const QString& name) { return QDir(KMR_BIN_DIR).filePath(name); }
    static QString Source(const QString& name) { return QDir(KMR_SOURCE_DIR).filePath(name); }

    static bool Run(const QString& program, const QStringList& arguments, QString* error) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            *error = program + " " + arguments.join(' ') + ": " + process.errorString() + "\n" +
                     QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
            return false;
        }
        return true;
    }

    QTemporaryDir FDir;
    QString FFile;
    QString FTrace;
};
