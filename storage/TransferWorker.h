// One background thread for the transfers of stored programs, so that the window keeps repainting
// while a large file travels over a slow link.
//
// The owner's thread hands it one task at a time; the task runs on the worker thread and returns
// the completion, which reaches the owner's thread through the post function given at
// construction (a queued call in the program). The thread sleeps on a condition variable between
// tasks; nothing waits for it in an event loop.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TTransferWorker {
public:
    using TCompletion = std::function<void()>;
    using TTask = std::function<TCompletion()>;
    // Delivers a completion to the owner's thread.
    using TPost = std::function<void(TCompletion)>;

    explicit TTransferWorker(TPost post);
    // Lets a running task finish, then ends the thread. A completion posted but not yet delivered
    // is the post function's to drop.
    ~TTransferWorker();
    TTransferWorker(const TTransferWorker&) = delete;
    TTransferWorker& operator=(const TTransferWorker&) = delete;

    // Owner's thread. Runs task on the worker thread; its completion runs on the owner's thread,
    // after which the worker takes the next task. False (nothing run) while a task is under way.
    bool Run(TTask task);
    // Owner's thread: a task was handed over and its completion has not run yet.
    bool Busy() const { return FBusy; }

private:
    void Loop();

    TPost FPost;
    bool FBusy = false; // owner's thread only
    std::mutex FMutex;
    std::condition_variable FWake;
    TTask FTask;        // guarded by FMutex
    bool FStop = false; // guarded by FMutex
    std::thread FThread;
};
