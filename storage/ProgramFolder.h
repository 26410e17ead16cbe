// The entries of the stored-programs window: each executable of a local folder beside its stored
// copy, and each stored copy that the folder lacks. Plain data, no database and no window.
#pragma once

#include "ProgramStore.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

struct TProgramEntry {
    QString Path;     // full path of the local file (where a fetch writes it)
    QString FileName; // the name as on disk, or the stored name when the folder lacks the file
    QString Name;     // the stored name (PRNAME) this file is kept under
    QString Title;    // the stored title; the file's base name for a file not stored yet
    std::optional<QDateTime> LocalTime;
    std::optional<QDateTime> ServerTime; // absent: not stored, or stored without a time
    bool Stored = false;
    bool Ticked = false;

    // The list text: path, file name, title, local time and server time, each ended by ";".
    QString Text() const;
};

// The time form of the list: "dd.MM.yyyy hh:mm:ss"; empty for none.
QString EntryTimeText(const std::optional<QDateTime>& time);

// Whether a file counts as a program: a regular file named *.exe (any case) or marked executable.
bool IsProgramFile(const QString& path);

// The folder's programs and the stored copies missing from it, ordered by file name without regard
// to case. A program not stored yet, or newer than its stored copy, starts ticked. Without a folder
// only the stored copies are listed, with no path.
std::vector<TProgramEntry> ListProgramFolder(const QString& folder,
                                             const std::vector<TStoredProgram>& stored);
