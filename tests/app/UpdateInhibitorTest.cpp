#include "tests/app/UpdaterWindow.h"
#include "tests/support/PrivateSystemBus.h"
#include "tests/support/ProgressRecorder.h"

#include <gmock/gmock.h>
#include <mutex>

using Inhibitor = PrivateSystemBus::Inhibitor;

namespace {

// Sleep and shutdown are blocked from the worker's start to its end, against
// a mock login manager.
class UpdateInhibitor : public UpdaterWindow {
  protected:
    // Updates drive "a" to the result sheet; notes the locks at the first progress notice.
    void update(sim::DriveProfile profile, const std::string& result) {
        ASSERT_TRUE(bus_.ready());
        profile.installPolls = 2;
        start({profile});
        ASSERT_TRUE(firstListingDone());
        ProgressRecorder progress([this](const std::vector<std::optional<int>>& values) {
            if (values.size() == 1) {
                std::lock_guard lock(mutex_);
                whileUpdating_ = bus_.inhibitors();
            }
        });
        window_->btnUpdate.performClick();
        QMessageBox* confirmation = waitForSheet("MESSAGE_DONT_DISCONNECTUSB");
        ASSERT_NE(confirmation, nullptr);
        press(confirmation, 0);
        ASSERT_NE(waitForSheet(result), nullptr);
        controller_->waitForUpdateWorker();
    }

    std::vector<Inhibitor> whileUpdating() {
        std::lock_guard lock(mutex_);
        return whileUpdating_;
    }

    const Inhibitor expected_{"sleep:shutdown", "Quelmar Drive Updater", "Updating drive firmware",
                              "block"};
    const PrivateSystemBus bus_;

  private:
    std::mutex mutex_;
    std::vector<Inhibitor> whileUpdating_;
};

} // namespace

TEST_F(UpdateInhibitor, IsHeldWhileTheWorkerRunsAndReleasedAfterASuccess) {
    update(drive("a"), "Complete!");
    EXPECT_THAT(whileUpdating(), testing::ElementsAre(expected_));
    EXPECT_TRUE(bus_.waitForInhibitors({}));
}

TEST_F(UpdateInhibitor, IsHeldWhileTheWorkerRunsAndReleasedAfterAFailure) {
    auto stale = drive("a");
    stale.faults.revisionAfterInstall = "1.01";
    update(stale, "Error!");
    EXPECT_THAT(whileUpdating(), testing::ElementsAre(expected_));
    EXPECT_TRUE(bus_.waitForInhibitors({}));
}
