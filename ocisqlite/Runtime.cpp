#include "Runtime.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OCISQLITE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(OCISQLITE_ASAN)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace ocisqlite {

namespace {

std::string envString(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::mutex& traceMutex() {
    static std::mutex m;
    return m;
}

} // namespace

std::string databasePath(std::string_view identifier) {
    std::string id(identifier);
    // Blanks around a connect identifier mean nothing.
    while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back())))
        id.pop_back();
    std::size_t first = 0;
    while (first < id.size() && std::isspace(static_cast<unsigned char>(id[first])))
        ++first;
    id.erase(0, first);
    if (id.empty())
        return {};
    const bool endsDb = id.size() > 3 && id.compare(id.size() - 3, 3, ".db") == 0;
    if (id.find('/') != std::string::npos || endsDb)
        return id;
    std::string lower = id;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string dir = envString("OCISQLITE_DATA");
    if (dir.empty())
        return lower + ".db";
    if (dir.back() != '/')
        dir += '/';
    return dir + lower + ".db";
}

bool serverDown(const std::string& path) {
    struct stat st {};
    return ::stat((path + ".down").c_str(), &st) == 0;
}

std::string hangMarkerPath(const std::string& path) {
    return path + ".hang";
}

bool writeHangMarker(const std::string& path, int seconds) {
    // Written beside and renamed, so that a waiting call never reads a half-written marker.
    const std::string marker = hangMarkerPath(path);
    const std::string temp = marker + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f)
        return false;
    const bool written = std::fprintf(f, "%d\n", seconds) > 0;
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), marker.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string downAfterMarkerPath(const std::string& path) {
    return path + ".down-after";
}

bool writeDownAfterMarker(const std::string& path, int roundTrips) {
    const std::string marker = downAfterMarkerPath(path);
    const std::string temp = marker + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f)
        return false;
    const bool written = std::fprintf(f, "%d\n", roundTrips) > 0;
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), marker.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

namespace {

// Counts one round trip against the countdown marker, if there is one. True when the server has just
// gone down: the countdown had run out, and the ".down" marker now stands in its place. The file is
// locked while it is counted, so that the sessions of several threads and processes count each round
// trip once.
bool countDownToDown(const std::string& path, bool& counting) {
    const std::string marker = downAfterMarkerPath(path);
    struct stat st {};
    counting = ::stat(marker.c_str(), &st) == 0;
    if (!counting)
        return false;
    const int fd = ::open(marker.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool down = false;
    if (::flock(fd, LOCK_EX) == 0) {
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        // Removed by another session while this one waited for the lock: nothing left to count.
        struct stat now {};
        if (n > 0 && ::fstat(fd, &now) == 0 && now.st_nlink > 0) {
            const long left = std::strtol(text, nullptr, 10);
            if (left <= 0) {
                if (FILE* f = std::fopen((path + ".down").c_str(), "w"))
                    std::fclose(f);
                ::unlink(marker.c_str());
                down = true;
            } else {
                const std::string rest = std::to_string(left - 1) + "\n";
                if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, rest.data(), rest.size(), 0) < 0)
                    down = false;
            }
        }
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return down;
}

// The seconds of the hang marker, or -1 when there is none. An unreadable count waits 30 s.
long hangSeconds(const std::string& path) {
    FILE* f = std::fopen(hangMarkerPath(path).c_str(), "r");
    if (!f)
        return -1;
    long seconds = 30;
    if (std::fscanf(f, "%ld", &seconds) != 1 || seconds < 0)
        seconds = 30;
    std::fclose(f);
    return seconds;
}

} // namespace

MarkerWatch::~MarkerWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool MarkerWatch::openFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (fd_ >= 0 && folder == folder_)
        return true;
    if (fd_ >= 0)
        ::close(fd_);
    quiet_ = false;
    folder_ = folder;
    fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd_ >= 0;
}

bool MarkerWatch::unchanged(const std::string& path) {
    // A relative path follows the working folder, which may change between two calls.
    if (!quiet_ || path.empty() || path.front() != '/' || !openFolder(path))
        return false;
    struct stat st {};
    // A folder removed (and perhaps made again under the same name) is looked at afresh.
    if (::fstat(fd_, &st) != 0 || st.st_nlink == 0) {
        ::close(fd_);
        fd_ = -1;
        quiet_ = false;
        return false;
    }
    return std::uint64_t(st.st_dev) == dev_ && std::uint64_t(st.st_ino) == ino_ &&
           st.st_mtim.tv_sec == sec_ && st.st_mtim.tv_nsec == nsec_;
}

bool MarkerWatch::stampBefore(const std::string& path) {
    stamped_ = false;
    quiet_ = false;
    if (!openFolder(path))
        return false;
    timespec before{};
    ::clock_gettime(CLOCK_REALTIME, &before);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_nlink == 0)
        return false;
    dev_ = std::uint64_t(st.st_dev);
    ino_ = std::uint64_t(st.st_ino);
    sec_ = st.st_mtim.tv_sec;
    nsec_ = st.st_mtim.tv_nsec;
    // A change's time is read from a coarse clock and some file systems keep whole seconds (or two):
    // a marker made soon after a change could leave the same time behind. Only a folder that has been
    // still for longer than that is remembered; a busy one is looked at in full each time.
    constexpr std::int64_t kStillSeconds = 3;
    stampUsable_ = before.tv_sec - sec_ > kStillSeconds;
    stamped_ = true;
    return true;
}

void MarkerWatch::foundNone() {
    quiet_ = stamped_ && stampUsable_;
}

Reach serverReach(const std::string& path, unsigned callTimeoutMs, MarkerWatch* watch) {
    if (watch) {
        if (watch->unchanged(path))
            return Reach::Answered;
        watch->stampBefore(path);
    }
    bool counting = false;
    if (serverDown(path) || countDownToDown(path, counting))
        return Reach::Down;
    const long seconds = hangSeconds(path);
    if (seconds < 0) {
        // A countdown counts every round trip: while it runs, each one is looked at in full.
        if (watch && !counting)
            watch->foundNone();
        return Reach::Answered;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto silence = start + std::chrono::seconds(seconds);
    const bool bounded = callTimeoutMs > 0 && std::chrono::milliseconds(callTimeoutMs) < silence - start;
    const auto end = bounded ? start + std::chrono::milliseconds(callTimeoutMs) : silence;
    // The marker is looked at now and then: "up" ends the silence and the answer arrives late.
    const std::string marker = hangMarkerPath(path);
    for (;;) {
        const auto now = Clock::now();
        if (now >= end)
            return bounded ? Reach::TimedOut : Reach::Silent;
        struct stat st {};
        if (::stat(marker.c_str(), &st) != 0)
            return serverDown(path) ? Reach::Down : Reach::Answered;
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, std::chrono::milliseconds(20)));
    }
}

void roundTrip(std::int64_t sessionId, std::string_view call, std::string_view text) {
    const std::string latency = envString("OCISQLITE_LATENCY_MS");
    if (!latency.empty()) {
        const long ms = std::strtol(latency.c_str(), nullptr, 10);
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    const std::string file = envString("OCISQLITE_TRACE");
    if (file.empty())
        return;
    std::string line = std::to_string(::getpid()) + ' ' + (sessionId > 0 ? std::to_string(sessionId) : "-") +
                       ' ' + std::string(call);
    if (!text.empty()) {
        line += ' ';
        for (char c : text) {
            if (c == '\n')
                line += "\\n";
            else if (c == '\r')
                line += "\\r";
            else if (c == '\\')
                line += "\\\\";
            else
                line += c;
        }
    }
    line += '\n';
    std::lock_guard<std::mutex> lock(traceMutex());
    // Appending with one write keeps the lines of several processes whole.
    if (FILE* f = std::fopen(file.c_str(), "a")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

namespace {

#if defined(OCISQLITE_POISON_FREED)
constexpr unsigned char kFreedByte = 0xDB;
constexpr std::size_t kQuarantined = 1024;

struct Quarantine {
    std::mutex mutex;
    std::deque<std::pair<char*, std::size_t>> texts;
};

Quarantine& quarantine() {
    static auto* q = new Quarantine(); // reachable until exit: nothing in it counts as leaked
    return *q;
}
#endif

} // namespace

void retireDescriptorText(char* text, std::size_t size) {
    if (!text)
        return;
#if defined(OCISQLITE_POISON_FREED)
    std::memset(text, kFreedByte, size);
    ASAN_POISON_MEMORY_REGION(text, size);
    Quarantine& q = quarantine();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.texts.emplace_back(text, size);
    if (q.texts.size() <= kQuarantined)
        return;
    text = q.texts.front().first;
    size = q.texts.front().second;
    q.texts.pop_front();
    ASAN_UNPOISON_MEMORY_REGION(text, size);
#else
    (void)size;
#endif
    delete[] text;
}

int clientFeatureRelease() {
    const std::string v = envString("OCISQLITE_CLIENT_VERSION");
    const long release = v.empty() ? 0 : std::strtol(v.c_str(), nullptr, 10);
    return release > 0 && release < 100 ? static_cast<int>(release) : 19;
}

int busyTimeoutMs() {
    const std::string v = envString("OCISQLITE_BUSY_TIMEOUT_MS");
    if (!v.empty()) {
        const long ms = std::strtol(v.c_str(), nullptr, 10);
        if (ms >= 0)
            return static_cast<int>(ms);
    }
    return 10000;
}

} // namespace ocisqlite
