#include "ReserveMonitor.h"

#include "Oracle.h"
#include "OracleBase.h"

#include <QPointer>

TReserveMonitor::TReserveMonitor(TFOracleBase& module, QObject* owner)
    : QObject(owner), FModule(module), FWorker(std::make_unique<TReserveWorker>()) {
    PollTimer = new QTimer(this);
    PollTimer->setObjectName(QStringLiteral("ReservePollTimer"));
    PollTimer->setInterval(1000);
    connect(PollTimer, &QTimer::timeout, this, &TReserveMonitor::Poll);
    if (FModule.TwoServers == 0)
        FState = msOff;
}

TReserveMonitor::~TReserveMonitor() {
    // A running read ends at its next row; results still queued for this object are dropped with it.
    FWorker->Stop();
}

void TReserveMonitor::Start() {
    if (FModule.TwoServers == 0) {
        FState = msOff;
        return;
    }
    FStartPending = true;
    FLastReserveOk = FModule.ReserveOk;
    PollTimer->start();
    Poll();
}

void TReserveMonitor::CheckNow() {
    if (FState != msOff)
        Submit(jFingerprint, {});
}

void TReserveMonitor::RequestCompare(TDone done) {
    Submit(jCompare, std::move(done));
}

void TReserveMonitor::RequestUpdate(TDone done) {
    Submit(jUpdate, std::move(done));
}

void TReserveMonitor::Poll() {
    if (FModule.TwoServers == 0)
        return;
    // The module's flags are read here only: no server is asked on this thread.
    const bool reserveOk = FModule.ReserveOk;
    const bool back = reserveOk && !FLastReserveOk;
    FLastReserveOk = reserveOk;
    const unsigned changes = FModule.UnmirroredChanges();
    if (FBusy > 0)
        return;
    const bool unreached = FState == msReserveAway || FState == msMainAway || FState == msFailed;
    const bool retry = unreached && FSinceAttempt.isValid() && FSinceAttempt.elapsed() >= RetryMs;
    // A change that missed the reserve is looked at at once, unless the reserve is known away: then
    // its return (or the next retry) brings the comparison.
    const bool missed = changes != FChangesSeen && !unreached;
    if (FStartPending || back || retry || missed)
        Submit(jFingerprint, {});
}

void TReserveMonitor::Submit(EJob job, TDone done) {
    FStartPending = false;
    FChangesSeen = FModule.UnmirroredChanges();
    ++FBusy;
    // The roles now: a swap may have made the former reserve the main server.
    const TServerLogon main = ServerLogonOf(*FModule.ADatabase);
    const TServerLogon reserve = ServerLogonOf(*FModule.BDatabase);
    QPointer<TReserveMonitor> self(this);
    FWorker->Post([self, job, main, reserve, done](const std::atomic<bool>& stopping) {
        TReserveComparer comparer(main, reserve);
        comparer.Cancel = &stopping;
        comparer.Progress = [self](const QString& text) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, text] {
                    if (!self)
                        return;
                    self->FProgress = text;
                    emit self->ProgressChanged(text);
                },
                Qt::QueuedConnection);
        };
        // Edit mode is decided at the moment of writing (the flag is an atomic of the module).
        comparer.MayWrite = [] { return CanWrite.load(); };
        const TReserveReport report = job == jFingerprint ? comparer.Fingerprint()
                                      : job == jCompare   ? comparer.Compare()
                                                          : comparer.Update();
        QMetaObject::invokeMethod(
            self.data(),
            [self, job, report, done] {
                if (self)
                    self->Finished(job, report, done);
            },
            Qt::QueuedConnection);
    });
}

void TReserveMonitor::Finished(EJob job, const TReserveReport& report, const TDone& done) {
    --FBusy;
    FProgress.clear();
    FSinceAttempt.restart();
    const EState before = FState;
    switch (report.Outcome) {
    case TReserveReport::Equal:
        FState = msEqual;
        break;
    case TReserveReport::Different:
        FState = msDifferent;
        break;
    case TReserveReport::ReserveUnreachable:
        FState = msReserveAway;
        break;
    case TReserveReport::MainUnreachable:
        FState = msMainAway;
        break;
    case TReserveReport::Failed:
        // A failed update leaves the servers as they were: still different.
        if (job != jUpdate)
            FState = msFailed;
        break;
    case TReserveReport::ViewMode:
    case TReserveReport::Cancelled:
        break;
    }
    if (report.Outcome != TReserveReport::Cancelled && report.Outcome != TReserveReport::ViewMode)
        FLast = report;
    if (done)
        done(report);
    if (FState != before || job != jFingerprint)
        emit StateChanged();
}
