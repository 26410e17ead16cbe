// Watches whether the reserve server holds what the main server holds: compares the two at
// start-up, whenever the reserve comes back, and after a change that missed the reserve; runs the
// comparisons and updates the window asks for. All the reading is done on a background thread;
// this object lives on the user-interface thread and hears of results through queued calls.
#pragma once

#include "ReserveCompare.h"
#include "ReserveWorker.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class TFOracleBase;

class TReserveMonitor : public QObject {
    Q_OBJECT
public:
    enum EState {
        msOff,         // one server configured
        msUnknown,     // not compared yet
        msEqual,       // the reserve holds what the main server holds
        msDifferent,   // it does not
        msReserveAway, // the reserve did not answer the last comparison
        msMainAway,
        msFailed // a comparison failed otherwise (a missing table, say)
    };
    using TDone = std::function<void(const TReserveReport&)>;

    // Watches the given module (FOracleBase in the program). Nothing is read before Start.
    explicit TReserveMonitor(TFOracleBase& module, QObject* owner = nullptr);
    ~TReserveMonitor() override;

    // The comparison of the start-up, then watching once a second.
    void Start();
    // Compares in the background now (the fingerprint only).
    void CheckNow();
    // A detailed comparison, and the update of the reserve; done runs on this object's thread.
    void RequestCompare(TDone done);
    void RequestUpdate(TDone done);

    EState State() const { return FState; }
    // The report of the last comparison that finished (also one the window asked for).
    const TReserveReport& LastReport() const { return FLast; }
    // A comparison or update queued or running.
    bool Busy() const { return FBusy > 0; }
    // What the running job does now.
    const QString& ProgressText() const { return FProgress; }

    // How long after a comparison that did not reach a server the next one is tried.
    int RetryMs = 30000;
    QTimer* PollTimer;

signals:
    void StateChanged();
    void ProgressChanged(const QString& text);

private:
    enum EJob { jFingerprint, jCompare, jUpdate };
    void Poll();
    void Submit(EJob job, TDone done);
    void Finished(EJob job, const TReserveReport& report, const TDone& done);

    TFOracleBase& FModule;
    // Declared after everything its jobs use: it is stopped and joined first on destruction.
    std::unique_ptr<TReserveWorker> FWorker;
    EState FState = msUnknown;
    TReserveReport FLast;
    QString FProgress;
    int FBusy = 0;
    bool FStartPending = false;
    bool FLastReserveOk = false;
    unsigned FChangesSeen = 0;
    QElapsedTimer FSinceAttempt;
};
