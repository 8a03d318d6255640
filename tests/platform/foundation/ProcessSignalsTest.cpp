#include "platform/foundation/ProcessSignals.h"

#include "platform/foundation/HeldSignals.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <gmock/gmock.h>
#include <memory>
#include <mutex>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using foundation::HeldSignals;
using foundation::ProcessSignals;

namespace {

// As the process entry does, before any thread of the test program starts.
const bool blocked = (ProcessSignals::blockAtStart(), true);

class Signals : public ::testing::Test {
  protected:
    std::vector<int> acted() {
        std::lock_guard lock(mutex_);
        return acted_;
    }
    bool eventuallyActed(std::size_t count) {
        for (int i = 0; i < 2000 && acted().size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return acted().size() >= count;
    }

    std::mutex mutex_;
    std::vector<int> acted_;
    ProcessSignals waiter_{[this](int signal) {
        std::lock_guard lock(mutex_);
        acted_.push_back(signal);
    }};
};

} // namespace

TEST_F(Signals, AStormDuringAHoldInterruptsNoWaitAndActsOnceAfterItWithAnEndingSignal) {
    ASSERT_TRUE(blocked);
    std::atomic<int> interrupted = 0;
    {
        const HeldSignals hold("");
        // Stands for a thread that waits for a drive's command: any signal
        // delivered to it wakes the wait.
        std::thread waiting([&interrupted] {
            for (int i = 0; i < 150; ++i) {
                timespec pause{0, 1'000'000};
                if (::nanosleep(&pause, nullptr) != 0 && errno == EINTR) {
                    ++interrupted;
                }
            }
        });
        // A pause first: an ending signal that comes after it still wins.
        for (int round = 0; round < 10; ++round) {
            for (const int signal : {SIGTSTP, SIGCONT, SIGTTIN, SIGQUIT, SIGINT, SIGHUP, SIGTERM}) {
                ::kill(::getpid(), signal);
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        }
        waiting.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(acted().empty());
        ASSERT_TRUE(hold.heldSignal().has_value());
        EXPECT_FALSE(ProcessSignals::stopsTheProcess(*hold.heldSignal()));
    }
    EXPECT_EQ(interrupted, 0);
    ASSERT_EQ(acted().size(), 1u);
    EXPECT_THAT(acted()[0], testing::AnyOf(SIGQUIT, SIGINT, SIGHUP, SIGTERM));

    // Outside a hold each signal is acted on as it comes.
    ::kill(::getpid(), SIGHUP);
    ASSERT_TRUE(eventuallyActed(2));
    EXPECT_EQ(acted()[1], SIGHUP);
}

TEST_F(Signals, AHoldWithOnlyAPauseActsOnThePause) {
    {
        const HeldSignals hold("");
        ::kill(::getpid(), SIGTSTP);
        for (int i = 0; i < 2000 && !hold.heldSignal(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(hold.heldSignal(), SIGTSTP);
    }
    EXPECT_EQ(acted(), std::vector<int>{SIGTSTP});
}

// A new update may be confirmed while the last one's worker still ends.
TEST_F(Signals, OverlappingHoldsActOnlyWhenTheLastOneEnds) {
    auto first = std::make_unique<HeldSignals>("");
    {
        const HeldSignals second("");
        ::kill(::getpid(), SIGTERM);
        for (int i = 0; i < 2000 && !second.heldSignal(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        first.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(acted().empty());
        EXPECT_EQ(second.heldSignal(), SIGTERM);
    }
    EXPECT_EQ(acted(), std::vector<int>{SIGTERM});
}
