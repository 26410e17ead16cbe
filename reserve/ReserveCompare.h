// Compares the administration tables of the main and the reserve server, and brings the reserve up
// to date. Runs on whatever thread calls it (a background thread in the program, the command's own
// thread in kmr-reserve) on two sessions of its own: the module's sessions stay free for the window.
// Nothing is ever written to the main server: its session only reads.
#pragma once

#include "ReserveDiff.h"
#include "ReserveWords.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class TOracleSession;

struct TServerLogon {
    QString Database;
    QString Username;
    QString Password;
};

// The logon parameters a session has now (the main and reserve roles follow the module's swaps).
TServerLogon ServerLogonOf(const TOracleSession& session);

struct TTableFingerprint {
    QString Table;
    QString Title;
    qint64 MainRows = 0;
    qint64 ReserveRows = 0;
    bool Equal = false;
};

struct TReserveReport {
    enum EOutcome {
        Equal,           // the tables hold the same rows
        Different,       // at least one table differs
        MainUnreachable, // the main server did not answer (nothing compared)
        ReserveUnreachable,
        ViewMode, // an update refused: changes are not allowed now
        Failed,   // a statement failed otherwise; nothing changed on the reserve
        Cancelled // the program ends
    };
    EOutcome Outcome = Failed;
    QString Message;   // the server's message when a server failed
    QString Statement; // the statement that failed
    QList<TTableFingerprint> Tables;
    // Detailed comparisons: every table, equal ones included. Empty for a fingerprint.
    QList<TTableDiff> Diffs;
    std::shared_ptr<const TReserveNames> Names;
    bool Updated = false;    // an update was committed on the reserve
    bool RolledBack = false; // an update failed part-way; the reserve was rolled back
    int Written = 0;         // statements it ran there
    qint64 Milliseconds = 0;

    int Differences() const;
    bool Reached() const { return Outcome == Equal || Outcome == Different; }
};

class TReserveComparer {
public:
    TReserveComparer(TServerLogon main, TServerLogon reserve);

    // What is being done now, for a progress line; called on the running thread.
    std::function<void(const QString& step)> Progress;
    // Set to stop between two rows (the program ends); the report is then Cancelled.
    const std::atomic<bool>* Cancel = nullptr;
    // Asked right before the first write of an update: edit mode. Empty: writing is allowed.
    std::function<bool()> MayWrite;
    // Rows per fetch call; 0: each table's own (TReserveTable::RowsPerFetch).
    int ReadBuffer = 0;

    // One read of each table on each server: row count and order-independent hash per table.
    TReserveReport Fingerprint();
    // The same read with the rows kept: what differs, row by row.
    TReserveReport Compare();
    // Compares, rewrites the differing rows on the reserve in one transaction of the reserve
    // (deletes, then updates, then inserts; executables only when their length or time differ),
    // commits, and compares again. Any failure rolls the reserve back.
    TReserveReport Update();

private:
    struct TSessions;
    bool Connect(TSessions& sessions, TReserveReport& report);
    bool Read(TSessions& sessions, TReserveReport& report, bool keepRows);
    bool Apply(TSessions& sessions, TReserveReport& report);
    void Step(const QString& text) const;

    TServerLogon FMain;
    TServerLogon FReserve;
};

// True for the errors after which the session is gone (the server is not reachable).
bool IsConnectionLost(int oracleErrorCode);
