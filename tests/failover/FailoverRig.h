// The failover rig: the real program (database module, administration window, add-program dialog,
// stored-programs window) signed in over a pair of embedded demo servers, with the means to lose and
// regain either server (ocisqlite-admin down / down --after / hang / up), to rewrite their SRV rows,
// and to act as an administrator does: edit a user, add or delete one, tick a grant, pick a group,
// register a program.
//
// Every action reports what the window told the administrator (done, or refused / failed), and the
// rig then checks the servers' files directly, whatever the fault markers say: a change reported as
// done is on the main server it was sent to, and on the reserve too unless the database module
// counted it as one the reserve missed; a change reported as failed is on neither server. What
// breaks that is written to Violations.
#pragma once

#include "../support/NamedServers.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TAdminStartUp;
class TFOracleBase;
class TKMF_Admin;
class TFailoverAnswerer;

// The two database files by name: which one is the main server at a moment is the module's choice.
enum class TServer { A, B };

class TFailoverRig {
public:
    // CallTimeout in seconds for both sessions (the hang marker is cut short by it).
    explicit TFailoverRig(int callTimeoutSeconds = 1);
    ~TFailoverRig();
    TFailoverRig(const TFailoverRig&) = delete;
    TFailoverRig& operator=(const TFailoverRig&) = delete;

    // Starts the program and signs the administrator in. False (and a violation) when it did not open.
    bool Start();
    // The database module alone, without windows (the thread test: nothing but the module's own
    // threads and this one).
    bool StartModule();
    // Ends the program: geometry, windows, then the module, which stops its watchers.
    void Finish();

    TKMF_Admin* Window() const;
    static QString Name(TServer s);
    // The file the module currently uses as its main server.
    TServer MainFile() const;

    // Server faults, through ocisqlite-admin.
    void Down(TServer s);
    void DownAfter(TServer s, int roundTrips);
    void Hang(TServer s, int seconds);
    void Up(TServer s);
    bool IsDown(TServer s) const;
    // Rewrites a server's SRV row through a session of its own; false when that server is down.
    bool SetSrv(TServer s, int main, int second, int ro);

    // Runs the auto-connect tick and the window's poll once, then lets posted events through.
    void Tick();
    // Ticks until cond holds or the time runs out (real time: the watchers work in the background).
    bool TickUntil(const std::function<bool()>& cond, int ms = 10000);
    // Waits until neither watcher evaluates and the transfer worker is idle.
    bool ThreadsIdle(int ms = 10000);

    // The actions. Each returns nullopt when it could not be tried (no user list, no such entry),
    // otherwise whether the window reported it as done; the servers are checked afterwards.
    std::optional<bool> EditUser(int pick, const QString& address);
    std::optional<bool> ToggleUserPermission(int pick);
    std::optional<bool> AddUser(const QString& name);
    std::optional<bool> DeleteUser(int pick);
    std::optional<bool> TickGrant(int userPick, int programPick);
    std::optional<bool> PickGroup(int userPick, int programPick, int groupPick);
    std::optional<bool> RegisterProgram(const QString& title);
    // A grant written through the logged dataset as the windows write it (StartModule).
    std::optional<bool> ChangeGrant(int tabNum, int programId, bool grant);

    // All servers up, consistent SRV rows with the current main server as main and mirroring on,
    // edit mode; then the window must follow: user list open, edit mode, mirroring, threads idle,
    // and a grant tick reaching both servers. False (and violations) when it does not.
    bool HealAndProve();

    // Rows of a select run on a server's file directly (columns joined by "|"), whatever the markers.
    QStringList FileRows(TServer s, const QString& sql) const;

    // What the steps did, for the report of a failure.
    void Log(const QString& line);
    QString Report() const;
    QStringList Violations;
    QString TraceFile() const { return FTrace; }

private:
    struct TSnapshot {
        QStringList OnA, OnB;
    };
    TSnapshot Snap(const QString& sql) const;
    // An action about to be tried: what it is, the select that shows its effect, and where it starts.
    struct TAction {
        QString What, Sql;
        TServer Main;
        unsigned Missed;
        TSnapshot Before;
    };
    TAction Begin(const QString& what, const QString& sql);
    // After an action: done -> on the main file as expected; reserve as expected unless counted as
    // missed; failed -> both as before.
    void Judge(const TAction& action, bool done, const QStringList& expected, int user = 0);
    // Posts the user row being edited and judges it; nothing when the row is not in edit.
    std::optional<bool> PostUserEdit(const TAction& action, const QString& label, const QStringList& expected,
                                     int tabNum);
    // At the end: every value an action touched is still what its last done action left, on the
    // server it was sent to (and on the reserve when mirrored), or, with no action done, what it was
    // before the first one. A change left open on a session and committed later shows up here.
    void CheckKeys();
    // A user added or deleted: what was tracked of an earlier user of that number no longer holds.
    void ForgetUser(int tabNum, const QString& keep);
    bool Matches(TServer s, const QStringList& rows, const QStringList& expected, bool presence) const;
    struct TKey {
        QString What;
        TSnapshot First;
        bool Done = false;
        QStringList Value;
        TServer Main = TServer::A, MainNow = TServer::A;
        bool Mirrored = false, Presence = false;
        int User = 0;
    };
    QList<TKey> FKeys;
    QHash<QString, qsizetype> FKeyIndex;
    void Admin(const QStringList& args);
    int SelectUserByPick(int pick);
    bool SelectUserByNumber(int tabNum);
    int RequestsSoFar() const;
    bool FailureAskedSince(int from, const QStringList& textParts) const;
    void CancelOpenEdit();

    std::unique_ptr<TNamedServers> FServers;
    std::unique_ptr<TFailoverAnswerer> FAnswerer;
    std::unique_ptr<TAdminStartUp> FProgram;
    std::unique_ptr<TFOracleBase> FModule;
    QString FTrace;
    QStringList FLog;
    bool FDown[2] = {false, false};
    int FCounter = 0;
    // Size of the trace when the current action began.
    qint64 FOpTrace = 0;
    QElapsedTimer FClock;
};
