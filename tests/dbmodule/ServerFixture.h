// Two embedded servers in a temporary folder for the database module tests: SRV rows, .down
// markers, a round-trip trace, and a database module with fake surroundings.
#pragma once

#include "OracleBase.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QCoreApplication;

// The host every test module sees.
class FakeHost : public THostInfo {
public:
    std::optional<QString> LocalHostName() const override { return QStringLiteral("ws-test"); }
    std::optional<std::vector<TIPv4>> Resolve(const QString&) const override {
        if (Unresolvable)
            return std::nullopt;
        return std::vector<TIPv4>{{10, 1, 2, 3}};
    }
    bool Unresolvable = false;
};

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

struct SrvRow {
    int Main, Second, Ro;
};

class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Paths of the two database files, used as connect identifiers.
    QString MainDb() const;
    QString ReserveDb() const;

    // Replaces the SRV row (nothing: an empty table).
    void SetSrv(const QString& db, std::optional<SrvRow> row);
    void Exec(const QString& db, const QString& sql);
    int CountRows(const QString& db, const QString& sql);
    void Down(const QString& db);
    // The server stops answering (the embedded server's hang marker) for the given seconds.
    void Hang(const QString& db, int seconds);
    // Removes the down and the hang marker.
    void Up(const QString& db);

    // mvtu.ini in the working directory; both aliases point at the two files.
    void WriteIni(int nServer, int cServer, bool autoConnect);
    // Creates the module (which evaluates the servers at once).
    TFOracleBase& CreateModule();
    void DestroyModule();

    // Round trips recorded since ClearTrace: how many calls of a kind carried exactly this text.
    void ClearTrace();
    int TraceCount(const QString& call, const QString& text = QString()) const;
    // The whole trace, for failure messages.
    std::string TraceText() const;
    // Waits until the watcher finished its n-th evaluation and is idle again.
    bool WaitForMainWatcher(int evaluations);
    bool WaitForReserveWatcher(int evaluations);

    std::unique_ptr<QTemporaryDir> FDir;
    QString FOldCwd;
    std::unique_ptr<TFOracleBase> FModule;
    std::shared_ptr<FakeHost> FHost;
    FakeNotice* FNotice = nullptr;
    std::vector<std::pair<QString, QString>> FErrors;
    int FTerminations = 0;
    int FReserveIdleTimeoutMs = 90000;
    // [Mode] CallTimeout written by WriteIni; none when negative.
    int FCallTimeoutSeconds = -1;
    // Creates the module's notice (TFMesConnect in window tests); a FakeNotice when empty.
    std::function<std::unique_ptr<IConnectNotice>(TFOracleBase&)> FNoticeFactory;
};

// Pumps posted events until cond holds (5 s at most).
template <typename F> bool PumpUntil(F cond, int ms = 5000);
bool PumpUntilImpl(const std::function<bool()>& cond, int ms);
template <typename F> bool PumpUntil(F cond, int ms) {
    return PumpUntilImpl(std::function<bool()>(cond), ms);
}
