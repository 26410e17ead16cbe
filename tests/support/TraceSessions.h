// Which server each round trip of a trace went to. The embedded server numbers sessions per
// database file, so a SID alone does not name the server: an OCIServerAttach line names it, and the
// OCISessionBegin that follows in the same process gives that session's SID until its
// OCISessionEnd. Valid for a stretch of trace in which one thread at a time logs on.
#pragma once

#include "TraceFile.h"

#include <QHash>
#include <QList>
#include <QString>

struct TTraceServers {
    // The server of each line (its connect identifier); empty when the session began before the
    // stretch of trace read.
    QList<QString> Server;
    // Two sessions open at once under one SID on different servers: the lines cannot be told apart.
    bool Ambiguous = false;
};

inline TTraceServers MapTraceServers(const QList<TTraceLine>& lines) {
    TTraceServers result;
    QHash<QString, QString> attached; // pid -> server of the last attach
    QHash<QString, QString> open;     // "pid sid" -> server
    for (const TTraceLine& line : lines) {
        const QString key = line.Pid + QLatin1Char(' ') + line.Sid;
        QString server;
        if (line.Call == QLatin1String("OCIServerAttach")) {
            attached[line.Pid] = line.Text;
            server = line.Text;
        } else if (line.Call == QLatin1String("OCISessionBegin") && line.Sid != QLatin1String("-")) {
            server = attached.value(line.Pid);
            if (open.contains(key) && open.value(key) != server)
                result.Ambiguous = true;
            open[key] = server;
        } else {
            server = open.value(key);
            if (line.Call == QLatin1String("OCISessionEnd"))
                open.remove(key);
        }
        result.Server << server;
    }
    return result;
}
