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
// What a session remembers of its server's folder, so that a round trip need not look for each marker
// by name: a marker can only appear by a change of the folder, whose time of last change it reads
// from a descriptor it keeps open. One per connection, used by one thread at a time.
class MarkerWatch {
public:
    MarkerWatch() = default;
    ~MarkerWatch();
    MarkerWatch(const MarkerWatch&) = delete;
    MarkerWatch& operator=(const MarkerWatch&) = delete;

    // True when the last look found no marker and the folder has not changed since.
    bool unchanged(const std::string& path);
    // Reads the folder's state before a look at the markers (false: not known, nothing is remembered).
    bool stampBefore(const std::string& path);
    // The look that followed stampBefore found no marker.
    void foundNone();
    // Forgets the look (a marker was found).
    void forget() { quiet_ = false; }

private:
    bool openFolder(const std::string& path);

    int fd_ = -1;
    std::string folder_;
    bool quiet_ = false;
    bool stamped_ = false;
    bool stampUsable_ = false;
    std::uint64_t dev_ = 0, ino_ = 0;
    std::int64_t sec_ = 0, nsec_ = 0;
};

// Checks the markers of the server at path; under a hang marker waits until its seconds or
// callTimeoutMs (0 = none) run out, whichever comes first, and ends the wait early when the marker
// is removed. With a watch, a folder unchanged since a look that found no marker answers at once.
Reach serverReach(const std::string& path, unsigned callTimeoutMs, MarkerWatch* watch = nullptr);

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
