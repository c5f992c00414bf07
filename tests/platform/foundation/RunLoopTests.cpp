#include "platform/foundation/RunLoop.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <thread>
#include <vector>

using namespace tx;

TEST(RunLoop, RunsPostedTasksInOrderAndDelayedOnesAfterTheirDelay) {
    std::vector<int> order;
    QElapsedTimer clock;
    clock.start();
    qint64 delayedAtMs = -1;
    RunLoop::postAfter(0.05, [&] {
        order.push_back(3);
        delayedAtMs = clock.elapsed();
    });
    RunLoop::post([&] { order.push_back(1); });
    RunLoop::post([&] { order.push_back(2); });
    const auto cancelled = RunLoop::postAfter(0.01, [&] { order.push_back(99); });
    RunLoop::cancel(cancelled);
    ASSERT_TRUE(RunLoop::runUntil([&] { return order.size() == 3; }, 2.0));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_GE(delayedAtMs, 45);
    RunLoop::runFor(0.03);
    EXPECT_EQ(order.size(), 3u);
}

TEST(RunLoop, PerformOnMainFromAWorkerWaitsOrQueues) {
    RunLoop::ensureApplication();
    std::vector<std::string> events;
    bool workerDone = false;
    std::thread worker([&] {
        EXPECT_FALSE(RunLoop::isMainThread());
        RunLoop::performOnMain([&] { events.push_back("waited"); }, true);
        // The waited task has run by the time the call returns.
        events.push_back("after wait");
        RunLoop::performOnMain(
            [&] {
                EXPECT_TRUE(RunLoop::isMainThread());
                events.push_back("queued");
                workerDone = true;
            },
            false);
    });
    ASSERT_TRUE(RunLoop::runUntil([&] { return workerDone; }, 2.0));
    worker.join();
    EXPECT_EQ(events, (std::vector<std::string>{"waited", "after wait", "queued"}));
}

TEST(RunLoop, RunUntilGivesUpAtItsTimeout) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(RunLoop::runUntil([] { return false; }, 0.05));
    EXPECT_LT(clock.elapsed(), 1000);
}
