// The settings file mvtu.ini that names the servers, written the way the program reads it.
#pragma once

#include "ServerTools.h"

#include <QString>

#include <optional>

struct TServerProfile {
    int Servers = 1;                       // [Mode] N_Server
    int Current = 0;                       // [Mode] C_Server
    std::optional<int> CallTimeoutSeconds; // [Mode] CallTimeout
    QString Main, Reserve;                 // SERVER_NAME of [Alias] and [Alias_1]
    QString User = QString::fromLatin1(DemoUser);
    QString Password = QString::fromLatin1(DemoPassword);
    std::optional<bool> AutoConnect; // [Timer] with one server, [Timer_1] with two
    QString Extra;                   // appended as it is
};

// False when the file cannot be written.
bool WriteServerProfile(const QString& path, const TServerProfile& profile);
