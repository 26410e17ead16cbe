#include "ServerFixture.h"

#include "QtTestApplication.h"

#include <QApplication>
#include <QThread>

namespace {

[[maybe_unused]] ::testing::Environment* const appEnvironment = RegisterQtTestApplication("dbmodule_test");

} // namespace

void ServerTest::SetUp() {
    FServers = std::make_unique<TServerPair>(TServerContent::Schema);
    ASSERT_TRUE(FServers->Error().isEmpty()) << FServers->Error().toStdString();
    FHost = std::make_shared<TFixedHost>(QStringLiteral("ws-test"), QStringLiteral("10.1.2.3"));
    CanWrite = false;
    MirrorWrites = false;
}

void ServerTest::TearDown() {
    if (!FServers)
        return;
    // A watcher waiting on a silent server gets its answer, so that the module can stop it at once.
    Up(MainDb());
    Up(ReserveDb());
    DestroyModule();
    FServers.reset();
}

void ServerTest::WriteIni(int nServer, int cServer, bool autoConnect) {
    TServerProfile profile;
    profile.Servers = nServer;
    profile.Current = cServer;
    if (FCallTimeoutSeconds >= 0)
        profile.CallTimeoutSeconds = FCallTimeoutSeconds;
    profile.AutoConnect = autoConnect;
    ASSERT_TRUE(FServers->WriteProfile(profile));
}

TFOracleBase& ServerTest::CreateModule() {
    TDbModuleEnvironment env;
    env.Host = FHost;
    env.ShowError = [this](const QString& text, const QString& details) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread()) << "a message shown outside the GUI thread";
        FErrors.emplace_back(text, details);
    };
    env.RequestTermination = [this] { ++FTerminations; };
    env.ReserveIdleTimeoutMs = FReserveIdleTimeoutMs;
    env.CreateNotice = [this](TFOracleBase& module) -> std::unique_ptr<IConnectNotice> {
        if (FNoticeFactory)
            return FNoticeFactory(module);
        auto notice = std::make_unique<FakeNotice>();
        FNotice = notice.get();
        return notice;
    };
    FModule = std::make_unique<TFOracleBase>(nullptr, env);
    // Tests drive the tick themselves.
    FModule->TimerAutoConnect->stop();
    return *FModule;
}

void ServerTest::DestroyModule() {
    FModule.reset();
    FNotice = nullptr;
}

bool ServerTest::WaitForMainWatcher(int evaluations) {
    return PumpUntil([&] {
        return FModule->MainThread->Evaluations() >= evaluations &&
               FModule->MainThread->State() == TBaseWatchThread::stIdle;
    });
}

bool ServerTest::WaitForReserveWatcher(int evaluations) {
    return PumpUntil([&] {
        return FModule->ReservThread->Evaluations() >= evaluations &&
               FModule->ReservThread->State() == TBaseWatchThread::stIdle;
    });
}
