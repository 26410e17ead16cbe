#include "NamedServers.h"

#include <stdexcept>

TNamedServers::TNamedServers(bool twoServers, TServerProfile profile)
    : TServerPair(TServerContent::Demo, TServerNames::Named) {
    if (!Error().isEmpty())
        throw std::runtime_error("no demo servers: " + Error().toStdString());
    profile.Servers = twoServers ? 2 : 1;
    if (!WriteProfile(profile))
        throw std::runtime_error("cannot write mvtu.ini in " + Dir().toStdString());
}
