// Stored executables of the registered programs (KMR_PROGRAMMEXE): storing a local file, writing a
// stored copy back to a file, and reading what is stored without the bytes.
//
// Nothing here shows a window: every operation returns what happened, in the words the windows
// show. The operations run on any one thread at a time (the stored-programs window runs them in its
// worker thread); they use the database module's main session (and the reserve session while
// mirroring) through the logged dataset and query, whose sessions are thread-safe.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// The name under which a file is stored: the file name without its folder, letters a-z upper-cased
// and every other character (Cyrillic letters included) as it is.
QString ProgramFileName(const QString& path);

// The modification time a file is stored with: local time in whole seconds (an Oracle DATE keeps no
// fractions). Invalid when the file does not exist.
QDateTime ProgramFileTime(const QString& path);

struct TSaveOutcome {
    enum TResult {
        Stored,     // inserted or replaced and committed
        NoFile,     // no file at the path (empty path, a folder, nothing there)
        ReadFailed, // the file could not be read (Error holds the reason)
        ViewMode,   // the servers allow no changes: nothing was written
        NoNumber,   // the new program's number could not be read: nothing was written
        Failed      // the server refused the statement (Error, Statement): both sessions rolled back
    };
    TResult Result = Failed;
    QString Error;
    QString Statement;
    // Set when a new row was inserted; 0 for a replacement.
    int NewId = 0;
};

// SaveToServer without the messages: reads the whole file, then inserts a row for a name not yet
// stored or replaces the bytes, time and title of the stored one (its number and grants stay).
TSaveOutcome StoreProgram(const QString& path, const QString& title);

struct TFetchOutcome {
    enum TResult {
        Fetched,   // written to the path with the stored modification time
        NotStored, // no copy of that name: the path was not touched
        Failed     // server or file error (Error): the file at the path is as it was
    };
    TResult Result = Failed;
    QString Title;
    QDateTime Time;
    QString Error;
};

// LoadFromServer without the messages: the stored copy is written to a temporary file beside the
// target and renamed over it only when complete, with its modification time set.
TFetchOutcome FetchProgram(const QString& path);

// One stored copy, without its bytes.
struct TStoredProgram {
    int Id = 0;
    QString Name;   // PRNAME
    QString Title;  // PRALIAS
    QDateTime Time; // PRDATE_TIME; invalid when NULL
};

// Every stored copy, ordered by name; nullopt when the read fails.
std::optional<std::vector<TStoredProgram>> ReadStoredPrograms();

struct TRemoveOutcome {
    enum TResult {
        Removed,       // the program row and every grant of it deleted and committed together
        ViewMode,      // the servers allow no changes: nothing was deleted
        ProgramFailed, // the program delete was refused (Error): nothing deleted
        GrantsFailed   // the grant delete was refused (Error, Statement): both rolled back
    };
    TResult Result = ProgramFailed;
    QString Error;
    QString Statement;
};

// Removes a registered program and every user's grant of it in one transaction; its groups and
// memberships stay, as they always have (a new program never gets this number back while they do).
TRemoveOutcome RemoveProgram(int id);

// What the windows say when view mode skips a change.
QString ViewModeText();

// The statement that gives a new program's number: above every program number still used by the
// grant, group, membership and property tables, so that a new program never inherits what a
// removed one left behind.
QString NewProgramIdStatement();
