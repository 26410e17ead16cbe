#include "DesktopEnvironment.h"

#include "DialogGateway.h"
#include "ErrorOra.h"
#include "MesConnect.h"

#include <QApplication>

TDbModuleEnvironment DesktopDbModuleEnvironment() {
    TDbModuleEnvironment env;
    env.ShowError = [](const QString& text, const QString& details) { ShowError(text, details); };
    env.ApplicationTitle = ApplicationTitle();
    env.CreateNotice = [](TFOracleBase& module) -> std::unique_ptr<IConnectNotice> {
        TFOracleBase* m = &module;
        return std::make_unique<TFMesConnect>([m] { m->RequestTermination(); });
    };
    return env;
}
