#include "platform/foundation/RunLoop.h"

#include "platform/foundation/EventSignal.h"
#include "tests/support/RunLoopTesting.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using foundation::RunLoop;

TEST(RunLoop, RunReturnsOncePerStopFromAnotherThreadAndAStopBeforeRunIsNotLost) {
    std::promise<RunLoop*> published;
    std::promise<void> stoppedBeforeRun;
    std::atomic<int> runsEnded = 0;
    std::thread thread([&] {
        published.set_value(&RunLoop::current());
        stoppedBeforeRun.get_future().wait();
        RunLoop::current().run();
        ++runsEnded;
        RunLoop::current().run();
        ++runsEnded;
    });
    RunLoop* loop = published.get_future().get();
    loop->stop();
    stoppedBeforeRun.set_value();
    EXPECT_TRUE(eventually([&] { return runsEnded == 1; }));
    loop->stop();
    thread.join();
    EXPECT_EQ(runsEnded, 2);
}

TEST(RunLoop, RunUntilDateHandlesEventsOnTheMainThreadAndADroppedDelayedCallNeverRuns) {
    foundation::EventSignal signal;
    bool read = false;
    bool performed = false;
    bool cancelledOneRan = false;
    const RunLoop::Source source = RunLoop::current().addSource(signal.descriptor(), [&] {
        signal.clear();
        read = true;
    });
    const auto call =
        RunLoop::performAfterDelay(std::chrono::seconds(0), [&] { performed = true; });
    {
        const auto dropped =
            RunLoop::performAfterDelay(std::chrono::seconds(0), [&] { cancelledOneRan = true; });
    }
    signal.raise();
    RunLoop::current().runUntilDate(std::chrono::steady_clock::now() +
                                    std::chrono::milliseconds(200));
    EXPECT_TRUE(read);
    EXPECT_TRUE(performed);
    EXPECT_FALSE(cancelledOneRan);
}
