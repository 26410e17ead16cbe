// A main and a reserve embedded server for one test: copies of template servers made once per test
// program from the schema scripts (and the demo data), in a temporary folder that is the working
// folder while the pair lives, with the round-trip trace written there. Statements
// of an administrator session of its own, the state rows, the fault markers and the settings file.
// One pair at a time: the end of a pair gives back the working folder and the environment it found.
#pragma once

#include "ServerProfile.h"
#include "TraceFile.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TOracleQuery;
class TOracleSession;
class TTempFolder;

// A row of the SRV table.
struct TSrvRow {
    int Main, Second, Ro;
};

enum class TServerContent {
    Schema, // the tables of schema/kmr_schema.sql, empty
    Demo,   // and the demo data, the SRV rows of srv_main.sql and srv_reserve.sql
};

enum class TServerNames {
    Paths, // main.db and reserve.db, reached by their paths alone
    Named, // the files of SERVER_OIK and SERVER_OIK_R, OCISQLITE_DATA naming the pair's folder
};

class TServerPair {
public:
    // The names of the servers of a named pair, as the default settings and the demo use them.
    static constexpr const char* MainServer = "SERVER_OIK";
    static constexpr const char* ReserveServer = "SERVER_OIK_R";

    explicit TServerPair(TServerContent content = TServerContent::Demo,
                         TServerNames names = TServerNames::Paths);
    virtual ~TServerPair();
    TServerPair(const TServerPair&) = delete;
    TServerPair& operator=(const TServerPair&) = delete;

    // Empty when the servers are there; else why not.
    const QString& Error() const { return FError; }
    QString Dir() const;
    // The files' paths, which are connect identifiers whatever the names.
    QString MainDb() const;
    QString ReserveDb() const;
    // The file of a server named the way the settings name it (SERVER_OIK: server_oik.db).
    QString DbFile(const QString& server) const;

    // A logged-on administrator session of its own on a server.
    static std::unique_ptr<TOracleSession> LogOn(const QString& db, bool threadSafe = false);
    // A statement in a session of the test, not committed.
    static void Exec(TOracleSession& session, const QString& statement);
    // Statements run in one session of its own and committed.
    static void Exec(const QString& db, const QStringList& statements);
    static void Exec(const QString& db, const QString& statement) { Exec(db, QStringList{statement}); }
    // The rows of a select.
    static int Count(const QString& db, const QString& select);
    // The first column of every row, as integers and as texts (NULL as a null string).
    static std::vector<int> Column(const QString& db, const QString& select);
    static QStringList Texts(const QString& db, const QString& select);
    // The first column of the first row, or an invalid variant when there is no row.
    static QVariant Scalar(const QString& db, const QString& select);
    // Every row, its columns as texts joined by "|".
    static QStringList Rows(const QString& db, const QString& select);
    // Replaces the SRV row (none: an empty table).
    static void SetSrv(const QString& db, std::optional<TSrvRow> row);

    // The embedded server's markers: it refuses connections, or goes silent for the given seconds;
    // Up removes both. False when the marker cannot be written.
    static bool Down(const QString& db);
    static bool Hang(const QString& db, int seconds);
    static void Up(const QString& db);

    // mvtu.ini in the pair's folder; the servers are the two files (by name in a named pair) unless
    // the profile names others.
    bool WriteProfile(TServerProfile profile) const;

    // The round trips of everything that reached a server since the pair began or the trace was
    // cleared.
    const TTraceFile& TraceFile() const { return FTrace; }
    void ClearTrace() const { FTrace.Clear(); }
    QList<TTraceLine> Trace() const { return FTrace.Lines(); }
    int TraceCount(const QString& call, const QString& text = QString()) const {
        return FTrace.Count(call, text);
    }

private:
    // Runs a select in a session of its own and hands each row to row.
    static void ForEachRow(const QString& db, const QString& select,
                           const std::function<void(TOracleQuery&)>& row);

    std::unique_ptr<TTempFolder> FDir;
    QString FError;
    QString FMainFile, FReserveFile;
    QString FOldCwd;
    bool FNamed = false;
    std::optional<QByteArray> FOldData;
    TTraceFile FTrace;
};
