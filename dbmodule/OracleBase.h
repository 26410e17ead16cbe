// The database module: the main and reserve sessions, the server evaluation through SRV, edit and
// view mode, mirroring, the server watchers and the auto-connect tick.
//
// Threads: the module lives in the user-interface thread. EvaluateMain, SwapServers and
// CheckReserve also run in the watcher threads; the flags below are atomics written whole, and
// every reader tolerates a change between two statements. Nothing here shows a window itself:
// messages go through the environment's hooks, posted to the user-interface thread when they arise
// in a watcher.
#pragma once

#include "ConnectNotice.h"
#include "HostInfo.h"
#include "ManualResetEvent.h"
#include "WatchThreads.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class TOracleSession;
class TFOracleBase;

// Edit mode: when false the logged query and dataset skip every statement that is not a read.
extern std::atomic<bool> CanWrite;
// Every modifying statement that succeeds on ADatabase is repeated on BDatabase, and commits and
// roll-backs apply to both sessions.
extern std::atomic<bool> MirrorWrites;

// The one instance of the module (null before it is created and after it is destroyed).
extern TFOracleBase* FOracleBase;

// What the module needs from the world around it; the desktop program fills it from dbmodule_ui
// (DesktopDbModuleEnvironment), tests with fakes. Every hook runs on the user-interface thread.
struct TDbModuleEnvironment {
    // Host name and address; the real workstation when empty.
    std::shared_ptr<const THostInfo> Host;
    // The error dialog (text, unfolding details); qWarning when empty.
    std::function<void(const QString& text, const QString& details)> ShowError;
    // Ends the program after the current event; a posted QCoreApplication::quit when empty.
    std::function<void()> RequestTermination;
    // The connection-loss window, created only with AutoConnect; none when empty.
    std::function<std::unique_ptr<IConnectNotice>(TFOracleBase& module)> CreateNotice;
    // module_name of the server session; "Admin_KMR" when empty.
    QString ApplicationTitle;
    // How long a server swap waits for a running reserve probe.
    int ReserveIdleTimeoutMs = 90000;
};

class TFOracleBase : public QObject {
    Q_OBJECT
public:
    // Fixes ProgramDir, creates the sessions and the timer, then runs OnCreateProc: reads mvtu.ini
    // from the working directory, fills the logon parameters and connects (InitServers).
    explicit TFOracleBase(QObject* owner = nullptr, TDbModuleEnvironment environment = {});
    ~TFOracleBase() override;

    TOracleSession* ADatabase; // the current main server (owned)
    TOracleSession* BDatabase; // the current reserve server (owned)
    QTimer* TimerAutoConnect;  // 1000 ms, enabled by InitServers with AutoConnect
    std::unique_ptr<TBaseMainThread> MainThread;
    std::unique_ptr<TBaseReservThread> ReservThread;
    int TwoServers = 0;
    std::atomic<int> UserTabNum{0};
    bool AutoConnect = false;
    // Signalled while the reserve watcher is not probing BDatabase.
    std::unique_ptr<TManualResetEvent> ReserveIdle;
    std::atomic<bool> MainOk{false};
    std::atomic<bool> ReserveOk{false};
    std::atomic<bool> Busy{false};
    // The servers' state rows ask for mirroring (the last evaluation's MirrorWrites before the reserve
    // was probed): with MirrorWrites false as well, the reserve server is away.
    std::atomic<bool> MirrorWanted{false};
    // Background work (a stored program's transfer) holds ADatabase for long calls: the tick then
    // goes by the last evaluation instead of waiting for the session in the window's thread.
    std::atomic<int> BackgroundCalls{0};

    void OnCreateProc();
    // Fills a session's logon parameters from [Alias<suffix>] and AutoConnect from [Timer<suffix>].
    void LoadAlias(TOracleSession* session, int number);
    void InitServers(int twoServers);
    // Reads the SRV row through session. main and second become -10 first; ro keeps the caller's
    // value unless a row is read. False when not read (main and second < 0) or main = 2.
    bool ReadSrv(TOracleSession* session, int& main, int& second, int& ro);
    bool EvaluateMain();
    bool SwapServers();
    bool CheckReserve();
    // Whether an evaluation may ask the reserve for its SRV row now. With auto-connect the tick asks
    // again each second, so an evaluation does not wait for a reserve that may not answer: while the
    // reserve session is not connected (its watcher is woken to connect it) or its watcher is busy
    // with it, the partner's row counts as not read.
    bool PartnerAnswersNow();
    bool CheckServers();
    // Before a change is repeated on the reserve: false, with mirroring switched off, when the reserve
    // watcher's probe has not had an answer within half a second, since the change would only queue
    // behind it. User-interface thread.
    bool ReserveAnswersNow();
    void RefreshServers();
    void SessionAfterLogOn(TOracleSession* session);
    QString GetHostAddress() const;
    void CommitAll();
    void RollbackAll();
    static void LogOffQuietly(TOracleSession* session);
    static void RollbackQuietly(TOracleSession* session);
    void StopServers();

    // Timer slot and the tick it runs (user-interface thread).
    void TimerAutoConnectTimer();
    void AutoConnectTick();
    // The connection-loss window, when AutoConnect created it.
    IConnectNotice* Notice() const { return FNotice.get(); }

    // Two servers, edit mode, mirroring asked for, but the reserve server did not answer (or refused a
    // repeated change): changes are written to the main server only.
    bool ReserveUnavailable() const;

    // Panel text of the status bar: servers and, once signed in, the user's full name.
    QString StatusText() const;
    // The signed-in user's full name (ALLNAME), set by the sign-in.
    void SetUserFullName(const QString& name) { FUserFullName = name; }
    QString UserFullName() const { return FUserFullName; }

    QString ApplicationTitle() const;
    const TDbModuleEnvironment& Environment() const { return FEnv; }

    // Asks the user-interface thread to end the program (used by the notice window's button).
    void RequestTermination();

    // Changes that reached the main server but not the reserve although two servers are configured
    // (made while mirroring was off, or refused by the reserve), counted for the whole run; any
    // thread may read them. Only the comparison of the two servers tells whether the reserve has
    // caught up since.
    unsigned UnmirroredChanges() const { return FUnmirroredChanges.load(); }
    bool ReserveMissedChanges() const { return UnmirroredChanges() > 0; }
    // Counts one such change; nothing with one server.
    void NoteUnmirroredChange();
    // A statement of the current change is being repeated on the reserve session: CommitAll and
    // RollbackAll deal with the reserve's part even if mirroring stops before they run.
    void NoteReserveStatement() { FReserveTouched = true; }

private:
    // Runs f on the user-interface thread: at once when already there, posted otherwise.
    void OnGuiThread(std::function<void()> f);
    void ReportError(const QString& text, const QString& details);

    TDbModuleEnvironment FEnv;
    std::unique_ptr<IConnectNotice> FNotice;
    // The probe a check last found running (the reserve watcher's count of finished probes then, -1
    // for none) and since when; how long it may go without an answer.
    int FReserveProbeSeen = -1;
    QElapsedTimer FReserveProbeClock;
    static constexpr qint64 ReserveAnswerMs = 500;
    QString FUserFullName;
    std::atomic<unsigned> FUnmirroredChanges{0};
    std::atomic<bool> FReserveTouched{false};
};
