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

// "<file>.down-after": the server answers the number of round trips the file holds (every session and
// process on that file counted together), then goes down as under ".down". Tests use it to lose a server
// in the middle of an operation, at a round trip they choose.
std::string downAfterMarkerPath(const std::string& path);
// Writes the countdown; false when it cannot be written.
bool writeDownAfterMarker(const std::string& path, int roundTrips);

// "<file>.hang": a silent network. The file holds the seconds a round trip waits before the client
// gives up on it.
std::string hangMarkerPath(const std::string& path);
// Writes the marker with the seconds; false when it cannot be written.
bool writeHangMarker(const std::string& path, int seconds);

// How the server answers one round trip, after the request went out.
enum class Reach {
    Answered, // no fault marker, or the silence ended (marker removed) while the call waited
    Down,     // ".down": refused at once
    Silent,   // ".hang": no answer within the marker's seconds
    TimedOut  // ".hang": the caller's call timeout ran out first
};
// Checks the markers of the server at path; under a hang marker waits until its seconds or
// callTimeoutMs (0 = none) run out, whichever comes first, and ends the wait early when the marker
// is removed.
Reach serverReach(const std::string& path, unsigned callTimeoutMs);

// One round trip: waits OCISQLITE_LATENCY_MS and, with OCISQLITE_TRACE set, appends
// "<pid> <session> <call>[ <text>]" with CR, LF, backslash escaped as \r, \n, \\.
// sessionId 0 is written as "-".
void roundTrip(std::int64_t sessionId, std::string_view call, std::string_view text = {});

// Gives back the memory of a text that OCIAttrGet handed out, once its owner (a statement's describe,
// a descriptor) lets go of it. In every build but a release build the text is overwritten and kept
// out of reuse for a while (under AddressSanitizer also marked unreadable), so a client that reads it
// too late sees garbage at once instead of the old text by luck.
void retireDescriptorText(char* text, std::size_t size);

// Milliseconds a DML statement may wait for another writer before ORA-00054.
int busyTimeoutMs();

// The client release the library reports (OCIClientVersion): 19 unless OCISQLITE_CLIENT_VERSION names
// another ("12.2" plays a 12.2 client, which does not know OCI_ATTR_CALL_TIMEOUT).
int clientFeatureRelease();

} // namespace ocisqlite
