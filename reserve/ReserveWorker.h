// The background thread of the comparisons: runs the jobs given to it one after another, so that a
// read of two servers never holds the window's thread. A plain std::thread (not QThread), so that
// ThreadSanitizer sees every hand-over.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TReserveWorker {
public:
    // A job gets the stop flag: set when the worker stops, a running job ends at its next check.
    using TJob = std::function<void(const std::atomic<bool>& stopping)>;

    TReserveWorker();
    ~TReserveWorker();
    TReserveWorker(const TReserveWorker&) = delete;
    TReserveWorker& operator=(const TReserveWorker&) = delete;

    // Queues a job behind those already given; ignored once stopping.
    void Post(TJob job);
    // Asks a running job to end, drops the queued ones and waits for the thread. Safe to repeat.
    void Stop();
    // Jobs queued or running.
    int Pending() const;

private:
    void Run();

    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TJob> FJobs;
    int FRunning = 0;
    std::atomic<bool> FStopping{false};
    std::thread FThread;
};
