// Two embedded servers holding the schema for the database module tests: SRV rows, .down
// markers, a round-trip trace, and a database module with fake surroundings.
#pragma once

#include "FixedHost.h"
#include "OracleBase.h"
#include "PumpEvents.h"
#include "ServerPair.h"

#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

class FakeNotice : public IConnectNotice {
public:
    bool Shown() const override { return ShownFlag; }
    bool IsVisible() const override { return Visible; }
    void ShowNotice() override {
        ++Shows;
        Visible = ShownFlag = true;
    }
    void CloseNotice() override {
        ++Closes;
        Visible = ShownFlag = false;
    }
    bool ShownFlag = false, Visible = false;
    int Shows = 0, Closes = 0;
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Paths of the two database files, used as connect identifiers.
    QString MainDb() const { return FServers->MainDb(); }
    QString ReserveDb() const { return FServers->ReserveDb(); }

    // Replaces the SRV row (nothing: an empty table).
    void SetSrv(const QString& db, std::optional<TSrvRow> row) { TServerPair::SetSrv(db, row); }
    void Exec(const QString& db, const QString& sql) { TServerPair::Exec(db, sql); }
    int CountRows(const QString& db, const QString& sql) { return TServerPair::Count(db, sql); }
    void Down(const QString& db) { ASSERT_TRUE(TServerPair::Down(db)); }
    // The server stops answering (the embedded server's hang marker) for the given seconds.
    void Hang(const QString& db, int seconds) { ASSERT_TRUE(TServerPair::Hang(db, seconds)); }
    // Removes the down and the hang marker.
    void Up(const QString& db) { TServerPair::Up(db); }

    // mvtu.ini in the working directory; both aliases point at the two files.
    void WriteIni(int nServer, int cServer, bool autoConnect);
    // Creates the module (which evaluates the servers at once).
    TFOracleBase& CreateModule();
    void DestroyModule();

    // Round trips recorded since ClearTrace: how many calls of a kind carried exactly this text.
    void ClearTrace() { FServers->ClearTrace(); }
    int TraceCount(const QString& call, const QString& text = QString()) const {
        return FServers->TraceCount(call, text);
    }
    // The whole trace, for failure messages.
    std::string TraceText() const { return FServers->TraceFile().Raw().toStdString(); }
    // Waits until the watcher finished its n-th evaluation and is idle again.
    bool WaitForMainWatcher(int evaluations);
    bool WaitForReserveWatcher(int evaluations);

    std::unique_ptr<TServerPair> FServers;
    std::unique_ptr<TFOracleBase> FModule;
    std::shared_ptr<TFixedHost> FHost;
    FakeNotice* FNotice = nullptr;
    std::vector<std::pair<QString, QString>> FErrors;
    int FTerminations = 0;
    int FReserveIdleTimeoutMs = 90000;
    // [Mode] CallTimeout written by WriteIni; none when negative.
    int FCallTimeoutSeconds = -1;
    // Creates the module's notice (TFMesConnect in window tests); a FakeNotice when empty.
    std::function<std::unique_ptr<IConnectNotice>(TFOracleBase&)> FNoticeFactory;
};
