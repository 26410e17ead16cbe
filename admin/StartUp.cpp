#include "StartUp.h"

#include "ChekExename.h"
#include "DesktopEnvironment.h"
#include "DialogGateway.h"
#include "InfoFromDat.h"
#include "Main.h"
#include "OracleBase.h"
#include "ProfileFile.h"
#include "Protokol_View.h"
#include "ReserveMonitor.h"
#include "ReserveStatus.h"
#include "Termination.h"

#include <QApplication>
#include <QDialog>

namespace {

// Windows of the start-up order whose content later work supplies; created hidden, they live until
// the end as the real ones will.
QWidget* MakeHiddenWindow(const char* name) {
    auto* window = new QDialog(nullptr);
    window->setObjectName(QLatin1String(name));
    return window;
}

} // namespace

TAdminStartUp::~TAdminStartUp() {
    Finish();
}

void TAdminStartUp::Create() {
    Create(DesktopDbModuleEnvironment());
}

void TAdminStartUp::Create(TDbModuleEnvironment environment) {
    // The module's termination request (a disabled user) is the program's own, so the start-up sees it.
    environment.RequestTermination = [] { RequestTermination(); };
    new TFOracleBase(qApp, environment);
    FMain = new TKMF_Admin(nullptr);
    // With two servers, compare them in the background from the start; the window says when they differ.
    if (FMain->UsersSet && FOracleBase->TwoServers > 0 && !TerminationRequested()) {
        auto* monitor = new TReserveMonitor(*FOracleBase, FMain);
        FMain->ReserveDiffers->SetMonitor(monitor);
        monitor->Start();
    }
    // The add-program dialog, the stored programs window, the event log window, and one without behaviour.
    FHidden << QPointer<QWidget>(new TfmAddProgramm(nullptr));
    FHidden << QPointer<QWidget>(new TFInfoFromDat(nullptr));
    FHidden << QPointer<QWidget>(new TProtocol(nullptr));
    FHidden << QPointer<QWidget>(MakeHiddenWindow("F_PropForGroup"));
}

bool TAdminStartUp::Terminated() const {
    return TerminationRequested();
}

bool TAdminStartUp::Show() {
    if (!FMain || Terminated())
        return false;
    FMain->show();
    return true;
}

void TAdminStartUp::Finish() {
    if (FFinished)
        return;
    FFinished = true;
    if (FMain) {
        try {
            FMain->FormDestroy();
        } catch (const EIniFileException& e) {
            // What the platform's default handler does with an exception nobody caught.
            MessageDlgAtMouse(e.Message(), mtError, {mbOK}, 0);
        }
        delete FMain;
        FMain = nullptr;
    }
    for (const QPointer<QWidget>& window : FHidden)
        delete window.data();
    FHidden.clear();
    // The module stops its watchers and logs both sessions off.
    delete FOracleBase;
}

int RunAdminKmr() {
    TAdminStartUp program;
    program.Create();
    if (!program.Show())
        return 0;
    const int result = QApplication::exec();
    program.Finish();
    return result;
}
