#include "platform/foundation/ProcessSignals.h"
#include "tests/app/UpdaterWindow.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProgressRecorder.h"

#include <atomic>
#include <csignal>
#include <gmock/gmock.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

// As the process entry does, before any thread of the test program starts.
const bool blocked = (foundation::ProcessSignals::blockAtStart(), true);

} // namespace

using WindowSignals = UpdaterWindow;

// Logging out sends SIGTERM, closing the terminal that started the window
// SIGHUP: during an update both wait for the result and the drive.
TEST_F(WindowSignals, SignalsDuringAnUpdateWaitForTheResultThenQuitOnceAndSayWhy) {
    ASSERT_TRUE(blocked);
    std::mutex mutex;
    std::vector<bool> updatingWhenActed;
    foundation::ProcessSignals waiter([&](int signal) {
        std::lock_guard lock(mutex);
        updatingWhenActed.push_back(signal == SIGTERM &&
                                    ControllerState::isUpdatingNow(*controller_));
    });
    const LogCapture log;
    auto slow = drive("a");
    slow.installPolls = 10;
    slow.installPollTime = std::chrono::milliseconds(30);
    start({slow, drive("b")});
    ASSERT_TRUE(firstListingDone());
    std::atomic<int> sent = 0;
    ProgressRecorder progress([&sent](const std::vector<std::optional<int>>& values) {
        if (values.size() <= 3) {
            ::kill(::getpid(), values.size() == 2 ? SIGHUP : SIGTERM);
            ++sent;
        }
    });
    window_->btnUpdate.performClick();
    press(waitForSheet("MESSAGE_DONT_DISCONNECTUSB"), 0);
    ASSERT_NE(waitForSheet("Complete!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_EQ(sent, 3);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(updatingWhenActed, std::vector<bool>{false});
    }
    EXPECT_THAT(log.systemLog(), testing::Contains(testing::HasSubstr(
                                     "The update of QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [1] "
                                     "ended with \"Complete!\"; quitting on the signal that came "
                                     "during it (Terminated).")));
}
