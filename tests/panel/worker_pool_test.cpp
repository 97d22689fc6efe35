#include <atomic>
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "platform/worker_pool.h"

namespace {

TEST(WorkerPool, RunsTasksSideBySideAndFinishesQueuedOnesBeforeJoining) {
    std::atomic<int> ran{0};
    {
        WorkerPool pool(2, "test-pool");
        // The first task can only finish once the second has started: with one thread at a
        // time this would never finish (the wait gives up, and the test fails, after a minute).
        std::promise<void> secondStarted;
        std::future<void> started = secondStarted.get_future();
        std::promise<bool> firstSaw;
        std::future<bool> firstResult = firstSaw.get_future();
        pool.post([&] {
            firstSaw.set_value(started.wait_for(std::chrono::minutes(1)) ==
                               std::future_status::ready);
        });
        pool.post([&] { secondStarted.set_value(); });
        EXPECT_TRUE(firstResult.get());
        for (int i = 0; i < 100; ++i) {
            pool.post([&] { ++ran; });
        }
    }  // the destructor runs what is left, then joins
    EXPECT_EQ(ran.load(), 100);
}

}  // namespace
