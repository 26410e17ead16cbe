// A piece of long work on a thread of its own, so the window that started it stays responsive: it
// can be cancelled, reports how far it got, and says once when it has ended. Its owner reads the
// result after Finished() (the end is published with the flag).
//
// Threads: the constructor, Cancel, Progress, Finished and the destructor are called on the owner's
// thread; the work runs on the task's thread and must only post from news.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <thread>

class TBackgroundTask {
public:
    using TWork = std::function<void(TBackgroundTask& task)>;

    // Starts the work at once; news runs on the task's thread when the work has ended.
    TBackgroundTask(TWork work, std::function<void()> news);
    // Asks the work to stop and waits for the thread: at most what the work does between two looks
    // at Cancelled().
    ~TBackgroundTask();
    TBackgroundTask(const TBackgroundTask&) = delete;
    TBackgroundTask& operator=(const TBackgroundTask&) = delete;

    void Cancel() { FStop = true; }
    bool Cancelled() const { return FStop; }
    bool Finished() const { return FFinished; }
    // Units of work done so far (records read, rows written).
    qint64 Progress() const { return FProgress; }
    void AddProgress(qint64 units = 1) { FProgress += units; }

private:
    std::atomic<bool> FStop{false};
    std::atomic<bool> FFinished{false};
    std::atomic<qint64> FProgress{0};
    std::thread FThread;
};
