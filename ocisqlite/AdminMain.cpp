// ocisqlite-admin: creates database files with an account, takes a server down, silent and up, lists its
// sessions.
#include "Connection.h"
#include "Runtime.h"

#include "RowLocks.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace ocisqlite;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: ocisqlite-admin create FILE --user U --password P\n"
                 "       ocisqlite-admin down NAME [--after ROUNDTRIPS]\n"
                 "       ocisqlite-admin hang NAME SECONDS\n"
                 "       ocisqlite-admin up NAME\n"
                 "       ocisqlite-admin sessions NAME\n"
                 "NAME is a connect identifier ($OCISQLITE_DATA/<name>.db) or a path to a .db file.\n");
    return 2;
}

bool exists(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        return true;
    }
    return false;
}

int create(const std::string& name, const std::string& user, const std::string& password) {
    const std::string path = databasePath(name);
    try {
        sqlite3* db = openDatabase(path, true);
        ensureEngineTables(db);
        putAccount(db, user, password);
        sqlite3_close(db);
    } catch (const OraError& e) {
        std::fprintf(stderr, "ocisqlite-admin: %s: %s\n", path.c_str(), e.what());
        return 1;
    }
    std::printf("%s: account %s ready\n", path.c_str(), user.c_str());
    return 0;
}

int down(const std::string& name) {
    const std::string path = databasePath(name);
    if (!exists(path)) {
        std::fprintf(stderr, "ocisqlite-admin: %s: no such database\n", path.c_str());
        return 1;
    }
    FILE* f = std::fopen((path + ".down").c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "ocisqlite-admin: cannot write %s.down\n", path.c_str());
        return 1;
    }
    std::fclose(f);
    return 0;
}

// The server answers this many more round trips, then goes down.
int downAfter(const std::string& name, const std::string& countText) {
    char* end = nullptr;
    const long count = std::strtol(countText.c_str(), &end, 10);
    if (countText.empty() || *end != 0 || count < 0 || count > 1000000000)
        return usage();
    const std::string path = databasePath(name);
    if (!exists(path)) {
        std::fprintf(stderr, "ocisqlite-admin: %s: no such database\n", path.c_str());
        return 1;
    }
    if (!writeDownAfterMarker(path, static_cast<int>(count))) {
        std::fprintf(stderr, "ocisqlite-admin: cannot write %s\n", downAfterMarkerPath(path).c_str());
        return 1;
    }
    return 0;
}

int hang(const std::string& name, const std::string& secondsText) {
    char* end = nullptr;
    const long seconds = std::strtol(secondsText.c_str(), &end, 10);
    if (secondsText.empty() || *end != 0 || seconds < 0 || seconds > 86400)
        return usage();
    const std::string path = databasePath(name);
    if (!exists(path)) {
        std::fprintf(stderr, "ocisqlite-admin: %s: no such database\n", path.c_str());
        return 1;
    }
    if (!writeHangMarker(path, static_cast<int>(seconds))) {
        std::fprintf(stderr, "ocisqlite-admin: cannot write %s\n", hangMarkerPath(path).c_str());
        return 1;
    }
    return 0;
}

// Removes the down, the countdown and the hang marker.
int up(const std::string& name) {
    const std::string path = databasePath(name);
    for (const std::string& marker : {path + ".down", downAfterMarkerPath(path), hangMarkerPath(path)}) {
        if (exists(marker) && std::remove(marker.c_str()) != 0) {
            std::fprintf(stderr, "ocisqlite-admin: cannot remove %s\n", marker.c_str());
            return 1;
        }
    }
    return 0;
}

int sessions(const std::string& name) {
    const std::string path = databasePath(name);
    if (!exists(path)) {
        std::fprintf(stderr, "ocisqlite-admin: %s: no such database\n", path.c_str());
        return 1;
    }
    try {
        RowLocks locks(path);
        locks.purgeDead();
        std::printf("%-6s %-8s %-20s %-48s %-32s %s\n", "SID", "PID", "USERNAME", "MODULE", "ACTION",
                    "CLIENT_INFO");
        for (const SessionInfo& s : locks.sessions())
            std::printf("%-6lld %-8lld %-20s %-48s %-32s %s\n", static_cast<long long>(s.sid),
                        static_cast<long long>(s.pid), s.username.c_str(), s.module.value_or("").c_str(),
                        s.action.value_or("").c_str(), s.clientInfo.value_or("").c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ocisqlite-admin: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage();
    const std::string cmd = argv[1];
    const std::string name = argv[2];
    if (cmd == "create") {
        std::string user, password;
        bool haveUser = false, havePassword = false;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--user") == 0 && i + 1 < argc) {
                user = argv[++i];
                haveUser = true;
            } else if (std::strcmp(argv[i], "--password") == 0 && i + 1 < argc) {
                password = argv[++i];
                havePassword = true;
            } else {
                return usage();
            }
        }
        if (!haveUser || !havePassword || user.empty())
            return usage();
        return create(name, user, password);
    }
    if (cmd == "hang")
        return argc == 4 ? hang(name, argv[3]) : usage();
    if (cmd == "down" && argc == 5 && std::strcmp(argv[3], "--after") == 0)
        return downAfter(name, argv[4]);
    if (argc != 3)
        return usage();
    if (cmd == "down")
        return down(name);
    if (cmd == "up")
        return up(name);
    if (cmd == "sessions")
        return sessions(name);
    return usage();
}
