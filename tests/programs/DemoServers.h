// A main and a reserve embedded server with the demo data, copied into a temporary folder for each
// test, the database module on top of them, and the round-trip trace of everything sent.
#pragma once

#include "../support/TraceFile.h"

#include "HostInfo.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <vector>

class TFOracleBase;

struct TSrvRow {
    int Main, Second, Ro;
};

class TDemoServers {
public:
    // Copies the demo servers (made once per process) into a new temporary folder, which becomes
    // the working directory, and starts the trace there. Empty Error() when it worked.
    TDemoServers();
    ~TDemoServers();
    TDemoServers(const TDemoServers&) = delete;
    TDemoServers& operator=(const TDemoServers&) = delete;

    const QString& Error() const { return FError; }
    QString MainDb() const;
    QString ReserveDb() const;

    // Writes mvtu.ini and the SRV rows, then creates the database module. One server: only the
    // main row counts; two servers: automatic choice.
    TFOracleBase& Start(int servers, TSrvRow mainRow, std::optional<TSrvRow> reserveRow = std::nullopt);
    void Stop();

    // Statements of an administrator session of its own (committed), and a count of rows.
    void Exec(const QString& db, const QString& sql);
    int Count(const QString& db, const QString& sql);
    // The first column of every row, as integers.
    std::vector<int> Column(const QString& db, const QString& sql);
    // The first column of every row, as texts (NULL as a null string).
    QStringList Texts(const QString& db, const QString& sql);

    void ClearTrace();
    std::vector<TTraceLine> Trace() const;
    // Round trips of a call, of this exact text when one is given.
    int TraceCount(const QString& call, const QString& text = QString()) const;

    // Messages the module itself wanted to show.
    QStringList ModuleErrors;

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FOldCwd;
    QString FError;
    std::unique_ptr<TFOracleBase> FModule;
};

// The workstation every test module sees.
class TFixedHost : public THostInfo {
public:
    std::optional<QString> LocalHostName() const override;
    std::optional<std::vector<TIPv4>> Resolve(const QString&) const override;
};
