// The transfer thread: tasks run away from the owner's thread one at a time, completions come back
// through the post function in order, a throwing task frees the worker, and destruction waits for
// the task under way. Also run under ThreadSanitizer.
#include "TransferWorker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// The owner's event queue: completions posted by the worker, run by the test's own thread.
class TOwnerQueue {
public:
    TTransferWorker::TPost Poster() {
        return [this](TTransferWorker::TCompletion done) {
            {
                std::lock_guard lock(FMutex);
                FQueue.push_back(std::move(done));
            }
            FArrived.notify_one();
        };
    }
    // Runs the next completion; false when none came within the time.
    bool RunNext(std::chrono::milliseconds wait = 10s) {
        TTransferWorker::TCompletion done;
        {
            std::unique_lock lock(FMutex);
            if (!FArrived.wait_for(lock, wait, [this] { return !FQueue.empty(); }))
                return false;
            done = std::move(FQueue.front());
            FQueue.pop_front();
        }
        done();
        return true;
    }
    size_t Pending() {
        std::lock_guard lock(FMutex);
        return FQueue.size();
    }

private:
    std::mutex FMutex;
    std::condition_variable FArrived;
    std::deque<TTransferWorker::TCompletion> FQueue;
};

TEST(TransferWorker, RunsEachTaskAwayFromTheOwnerAndDeliversItsCompletionThere) {
    TOwnerQueue owner;
    TTransferWorker worker(owner.Poster());
    const auto ownerThread = std::this_thread::get_id();
    std::thread::id taskThread;
    int result = 0;
    bool completedOnOwner = false;

    ASSERT_TRUE(worker.Run([&]() -> TTransferWorker::TCompletion {
        taskThread = std::this_thread::get_id();
        const int value = 42; // what a transfer came to, handed to the owner by value
        return [&, value] {
            result = value;
            completedOnOwner = std::this_thread::get_id() == ownerThread;
        };
    }));
    EXPECT_TRUE(worker.Busy());
    // One at a time: a second task is refused until the first one's completion has run.
    EXPECT_FALSE(worker.Run([]() -> TTransferWorker::TCompletion { return nullptr; }));
    ASSERT_TRUE(owner.RunNext());
    EXPECT_FALSE(worker.Busy());
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(completedOnOwner);
    EXPECT_NE(taskThread, ownerThread);
}

TEST(TransferWorker, CompletionMayStartTheNextTaskAndOrderIsKept) {
    TOwnerQueue owner;
    TTransferWorker worker(owner.Poster());
    std::vector<int> order;
    std::function<void(int)> start = [&](int n) {
        ASSERT_TRUE(worker.Run([&, n]() -> TTransferWorker::TCompletion {
            return [&, n] {
                order.push_back(n);
                if (n < 5)
                    start(n + 1);
            };
        }));
    };
    start(1);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(owner.RunNext());
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(worker.Busy());
}

TEST(TransferWorker, AThrowingTaskStillFreesTheWorker) {
    TOwnerQueue owner;
    TTransferWorker worker(owner.Poster());
    ASSERT_TRUE(worker.Run([]() -> TTransferWorker::TCompletion { throw std::runtime_error("lost link"); }));
    ASSERT_TRUE(owner.RunNext());
    EXPECT_FALSE(worker.Busy());
    bool ran = false;
    ASSERT_TRUE(worker.Run([&]() -> TTransferWorker::TCompletion {
        ran = true;
        return nullptr;
    }));
    ASSERT_TRUE(owner.RunNext());
    EXPECT_TRUE(ran);
}

TEST(TransferWorker, DestructionWaitsForTheTaskUnderWay) {
    TOwnerQueue owner;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    {
        TTransferWorker worker(owner.Poster());
        ASSERT_TRUE(worker.Run([&]() -> TTransferWorker::TCompletion {
            started = true;
            std::this_thread::sleep_for(100ms);
            finished = true;
            return [] {};
        }));
        while (!started)
            std::this_thread::yield();
    }
    EXPECT_TRUE(finished.load());
    // The completion was posted; delivering it is the owner's business (the program drops it with
    // the window), and it refers to nothing of the worker's but the flag of a worker now gone.
    EXPECT_EQ(owner.Pending(), 1u);
}

TEST(TransferWorker, AnIdleWorkerEndsAtOnce) {
    TOwnerQueue owner;
    const auto begin = std::chrono::steady_clock::now();
    { TTransferWorker worker(owner.Poster()); }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_EQ(owner.Pending(), 0u);
}

} // namespace
