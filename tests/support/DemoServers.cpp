#include "DemoServers.h"

#include "FixedHost.h"
#include "OracleBase.h"

TDemoServers::TDemoServers(TServerContent content) : TServerPair(content) {
    CanWrite = false;
    MirrorWrites = false;
}

TDemoServers::~TDemoServers() {
    Stop();
}

TFOracleBase& TDemoServers::Start(int servers, TSrvRow mainRow, std::optional<TSrvRow> reserveRow) {
    SetSrv(MainDb(), mainRow);
    if (reserveRow)
        SetSrv(ReserveDb(), *reserveRow);
    TServerProfile profile;
    profile.Servers = servers;
    profile.AutoConnect = false;
    WriteProfile(profile);

    TDbModuleEnvironment env;
    env.Host = std::make_shared<TFixedHost>(QStringLiteral("ws-programs"), QStringLiteral("10.20.1.10"));
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
