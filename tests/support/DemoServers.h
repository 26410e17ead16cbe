// The demo servers with the database module on top of them, the way the windows' tests start: the
// SRV rows and mvtu.ini written for one or two servers, the module made on a fixed workstation
// with its messages collected instead of shown.
#pragma once

#include "ServerPair.h"

#include <QStringList>

#include <memory>
#include <optional>

class TFOracleBase;

class TDemoServers : public TServerPair {
public:
    // Starts with writes refused (CanWrite, MirrorWrites) until a module decides.
    explicit TDemoServers(TServerContent content = TServerContent::Demo);
    ~TDemoServers() override;

    // Writes the SRV rows and mvtu.ini, then creates the database module (its timer stopped: the
    // tests drive it). One server: only the main row counts; two servers: automatic choice.
    TFOracleBase& Start(int servers, TSrvRow mainRow, std::optional<TSrvRow> reserveRow = std::nullopt);
    void Stop();

    // Messages the module itself wanted to show, "text / details".
    QStringList ModuleErrors;

private:
    std::unique_ptr<TFOracleBase> FModule;
};
