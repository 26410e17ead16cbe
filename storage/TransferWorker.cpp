#include "TransferWorker.h"

#include <utility>

TTransferWorker::TTransferWorker(TPost post) : FPost(std::move(post)) {
    FThread = std::thread([this] { Loop(); });
}

TTransferWorker::~TTransferWorker() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_one();
    FThread.join();
}

bool TTransferWorker::Run(TTask task) {
    if (FBusy || !task)
        return false;
    FBusy = true;
    {
        std::lock_guard lock(FMutex);
        FTask = std::move(task);
    }
    FWake.notify_one();
    return true;
}

void TTransferWorker::Loop() {
    for (;;) {
        TTask task;
        {
            std::unique_lock lock(FMutex);
            FWake.wait(lock, [this] { return FStop || FTask; });
            if (!FTask)
                return; // stopped with nothing to do
            task = std::move(FTask);
            FTask = nullptr;
        }
        TCompletion done;
        try {
            done = task();
        } catch (...) {
            // Tasks report their own failures; one that escapes still frees the worker.
            done = nullptr;
        }
        FPost([this, done = std::move(done)] {
            FBusy = false;
            if (done)
                done();
        });
    }
}
