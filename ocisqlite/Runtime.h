// Process-wide behaviour of the embedded server: where database files are, the fault marker,
// the simulated network latency and the round-trip trace.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ocisqlite {

// Connect identifier -> database file: "$OCISQLITE_DATA/<identifier lower-cased>.db"; an identifier holding
// '/' or ending in ".db" is taken as a path. Empty identifier -> empty result.
std::string databasePath(std::string_view identifier);

// "<file>.down" exists: the server is unreachable.
bool serverDown(const std::string& path);

// One round trip: waits OCISQLITE_LATENCY_MS and, with OCISQLITE_TRACE set, appends
// "<pid> <session> <call>[ <text>]" with CR, LF, backslash escaped as \r, \n, \\.
// sessionId 0 is written as "-".
void roundTrip(std::int64_t sessionId, std::string_view call, std::string_view text = {});

// Milliseconds a DML statement may wait for another writer before ORA-00054.
int busyTimeoutMs();

} // namespace ocisqlite
