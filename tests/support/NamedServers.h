// The demo pair under the names the settings use (SERVER_OIK and SERVER_OIK_R, found through
// OCISQLITE_DATA in the working folder), with mvtu.ini naming one server or both: the servers of the
// tests that sign in or start the whole program.
#pragma once

#include "ServerPair.h"

class TNamedServers : public TServerPair {
public:
    // Two servers: main (0, 1, 0) and reserve (1, 0, 0), mirroring while both answer. One server: the
    // main one alone, in edit mode. The profile's other settings and Extra lines go to mvtu.ini as they
    // are. Throws std::runtime_error when the servers or the file cannot be made: a test that gets no
    // servers fails with the reason.
    explicit TNamedServers(bool twoServers, TServerProfile profile = {});
};
