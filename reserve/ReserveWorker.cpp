#include "ReserveWorker.h"

TReserveWorker::TReserveWorker() : FThread([this] { Run(); }) {}

TReserveWorker::~TReserveWorker() {
    Stop();
}

void TReserveWorker::Post(TJob job) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FStopping.load())
            return;
        FJobs.push_back(std::move(job));
    }
    FWake.notify_one();
}

void TReserveWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
        FJobs.clear();
    }
    FWake.notify_all();
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

int TReserveWorker::Pending() const {
    std::lock_guard<std::mutex> lock(FLock);
    return int(FJobs.size()) + FRunning;
}

void TReserveWorker::Run() {
    for (;;) {
        TJob job;
        {
            std::unique_lock<std::mutex> lock(FLock);
            FWake.wait(lock, [this] { return FStopping.load() || !FJobs.empty(); });
            if (FStopping.load())
                return;
            job = std::move(FJobs.front());
            FJobs.pop_front();
            FRunning = 1;
        }
        try {
            job(FStopping);
        } catch (...) {
            // A job reports its own failures; nothing may end the thread early.
        }
        std::lock_guard<std::mutex> lock(FLock);
        FRunning = 0;
    }
}
