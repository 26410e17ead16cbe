// The comparisons' background thread alone: order of the jobs, the stop request, nothing run after it.
#include "ReserveWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

namespace {

TEST(ReserveWorker, RunsJobsOneAfterAnotherInOrder) {
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> running{0}, overlap{0};
    std::binary_semaphore last(0);
    {
        TReserveWorker worker;
        for (int i = 0; i < 50; ++i)
            worker.Post([&, i](const std::atomic<bool>&) {
                if (running.fetch_add(1) != 0)
                    ++overlap;
                {
                    std::lock_guard<std::mutex> g(lock);
                    order.push_back(i);
                }
                running.fetch_sub(1);
                if (i == 49)
                    last.release();
            });
        ASSERT_TRUE(last.try_acquire_for(std::chrono::seconds(10)));
        // The last job has signalled; it counts as running until it has returned.
        for (int i = 0; i < 5000 && worker.Pending() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(worker.Pending(), 0);
    }
    EXPECT_EQ(overlap.load(), 0);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[size_t(i)], i);
}

TEST(ReserveWorker, StopEndsTheRunningJobAndDropsTheQueued) {
    std::binary_semaphore started(0);
    std::atomic<bool> sawStop{false};
    std::atomic<int> laterRuns{0};
    TReserveWorker worker;
    worker.Post([&](const std::atomic<bool>& stopping) {
        started.release();
        while (!stopping.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawStop = true;
    });
    for (int i = 0; i < 5; ++i)
        worker.Post([&](const std::atomic<bool>&) { ++laterRuns; });
    ASSERT_TRUE(started.try_acquire_for(std::chrono::seconds(10)));
    EXPECT_EQ(worker.Pending(), 6);
    worker.Stop();
    EXPECT_TRUE(sawStop.load());
    EXPECT_EQ(laterRuns.load(), 0);
    worker.Post([&](const std::atomic<bool>&) { ++laterRuns; });
    worker.Stop();
    EXPECT_EQ(laterRuns.load(), 0);
    EXPECT_EQ(worker.Pending(), 0);
}

TEST(ReserveWorker, AFailingJobDoesNotEndTheThread) {
    std::binary_semaphore done(0);
    TReserveWorker worker;
    worker.Post([](const std::atomic<bool>&) { throw std::runtime_error("lost"); });
    worker.Post([&](const std::atomic<bool>&) { done.release(); });
    EXPECT_TRUE(done.try_acquire_for(std::chrono::seconds(10)));
}

} // namespace
