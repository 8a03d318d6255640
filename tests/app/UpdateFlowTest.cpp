#include "platform/foundation/NotificationCenter.h"
#include "scsi/STUCMethod.h"
#include "tests/app/UpdaterWindow.h"
#include "tests/support/ProgressRecorder.h"

#include <QTest>
#include <atomic>
#include <condition_variable>
#include <gmock/gmock.h>
#include <mutex>

namespace {

class UpdateFlow : public UpdaterWindow {
  protected:
    void startWithOneEligibleDrive(sim::DriveProfile profile = drive("a"),
                                   std::vector<sim::DriveProfile> others = {}) {
        profile.installPolls = 2;
        others.insert(others.begin(), profile);
        start(others);
        ASSERT_TRUE(firstListingDone());
        ASSERT_TRUE(window_->btnUpdate.isEnabled());
        simulated_->drive("a").setRecording(sim::Recording::Commands);
    }

    QMessageBox* confirmationSheet() {
        window_->btnUpdate.performClick();
        return waitForSheet("MESSAGE_DONT_DISCONNECTUSB");
    }

    std::uint64_t commandsSent() { return simulated_->drive("a").counters().commands; }
};

} // namespace

TEST_F(UpdateFlow, CancelReturnAndEscapeChangeNothing) {
    startWithOneEligibleDrive();
    const auto before = commandsSent();
    for (const int key : {int{Qt::Key_Return}, int{Qt::Key_Escape}, -1}) {
        QMessageBox* box = confirmationSheet();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(appkit::Alert::buttonForReturnCode(*box, 1)->text(), "Cancel");
        EXPECT_EQ(appkit::Alert::buttonForReturnCode(*box, 0)->text(), "OK");
        if (key < 0) {
            press(box, appkit::Alert::DefaultReturn);
        } else {
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        }
        ASSERT_TRUE(processEventsUntil([this] { return sheet() == nullptr; }));
    }
    EXPECT_FALSE(controller_->isUpdatingNow());
    EXPECT_TRUE(window_->btnUpdate.isEnabled());
    EXPECT_TRUE(window_->idctProgressUpdate.isHidden());
    EXPECT_EQ(commandsSent(), before);
}

TEST_F(UpdateFlow, OkStartsTheWorkerAfterAPauseAndCompletesWithAFreshList) {
    startWithOneEligibleDrive();
    // The bar still animates when the worker, after its transfers, posts its first notice.
    std::atomic<bool> animatingAtFirstNotice = false;
    ProgressRecorder progress([&](const std::vector<std::optional<int>>& values) {
        if (values.size() == 1) {
            animatingAtFirstNotice = window_->idctProgressUpdate.isAnimating();
        }
    });
    QMessageBox* box = confirmationSheet();
    ASSERT_NE(box, nullptr);
    const auto before = commandsSent();
    const auto pressed = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration untilFirstCommand{};
    std::thread watcher([&] {
        while (commandsSent() == before) {
            std::this_thread::yield();
        }
        untilFirstCommand = std::chrono::steady_clock::now() - pressed;
    });
    press(box, 0);
    watcher.join();
    EXPECT_GE(untilFirstCommand, std::chrono::milliseconds(1100));

    ASSERT_NE(waitForSheet("Complete!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_FALSE(controller_->isUpdatingNow());
    EXPECT_EQ(controller_->curDeviceData()->revision(), "1.02");
    // Read again from the drive: now current, so nothing more to do.
    EXPECT_EQ(window_->lblTxtUpdateVersion.stringValue(), "no need update");
    EXPECT_FALSE(window_->btnUpdate.isEnabled());
    EXPECT_TRUE(window_->cmbDriveList.isEnabled());
    EXPECT_TRUE(animatingAtFirstNotice);
    EXPECT_FALSE(window_->idctProgressUpdate.isAnimating());
    EXPECT_THAT(progress.values().back(), testing::Optional(-1));
    EXPECT_TRUE(window_->idctProgressUpdate.isHidden());
}

TEST_F(UpdateFlow, AFailedUpdateShowsErrorAndReadsTheListAgain) {
    auto refusing = drive("a");
    refusing.faults.modeChangeRefusal = sim::ModeChangeRefusal::First;
    startWithOneEligibleDrive(refusing);
    press(confirmationSheet(), 0);
    ASSERT_NE(waitForSheet("Error!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_FALSE(controller_->isUpdatingNow());
    EXPECT_EQ(controller_->curIndex(), 0);
    EXPECT_TRUE(window_->btnUpdate.isEnabled());
}

TEST_F(UpdateFlow, AnUpdateThatCannotOpenItsDriveSaysWhyUnderError) {
    startWithOneEligibleDrive();
    // Another holder takes the drive between the listing and the update.
    const DeviceInterfaces holder =
        CreateDeviceInterfaceForAuthoringDevice(simulated_->service("a"));
    ASSERT_EQ(holder.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    press(confirmationSheet(), 0);
    QMessageBox* box = waitForSheet("Error!");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText().toStdString(),
              "The drive virtual:a is in use by another program. Close that program and try "
              "again.");
    controller_->waitForUpdateWorker();
    EXPECT_EQ(holder.taskDevice->ReleaseExclusiveAccess(), kIOReturnSuccess);
}

TEST_F(UpdateFlow, WhileUpdatingNoticesAreIgnoredAndClosingOrQuittingIsRefused) {
    auto late = drive("late");
    late.attached = false;
    startWithOneEligibleDrive(drive("a"), {late});
    std::mutex mutex;
    std::condition_variable changed;
    bool paused = false;
    bool resume = false;
    // Holds the worker at its first progress notice.
    ProgressRecorder progress([&](const std::vector<std::optional<int>>& values) {
        if (values.size() != 1) {
            return;
        }
        std::unique_lock lock(mutex);
        paused = true;
        changed.notify_all();
        changed.wait(lock, [&] { return resume; });
    });
    press(confirmationSheet(), 0);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return paused; }));
    }
    EXPECT_TRUE(controller_->isUpdatingNow());
    EXPECT_FALSE(controller_->windowShouldClose());
    EXPECT_EQ(controller_->applicationShouldTerminate(), appkit::TerminateReply::Cancel);
    EXPECT_FALSE(window_->btnUpdate.isEnabled());
    EXPECT_FALSE(window_->cmbDriveList.isEnabled());
    EXPECT_FALSE(window_->idctProgressUpdate.isHidden());

    simulated_->attach("late");
    foundation::NotificationCenter::defaultCenter().postNotificationName("changedDeviceNotify");
    EXPECT_EQ(window_->cmbDriveList.numberOfItems(), 1);
    EXPECT_EQ(controller_->deviceArray().size(), 1u);

    // Progress is shown as 65536 - v; -1 hides the bar.
    controller_->updateIndicatorNotify({"updateIndicatorNotify", 0});
    EXPECT_EQ(window_->idctProgressUpdate.doubleValue(), 65536.0);
    EXPECT_FALSE(window_->idctProgressUpdate.isIndeterminate());
    controller_->updateIndicatorNotify({"updateIndicatorNotify", 65536});
    EXPECT_EQ(window_->idctProgressUpdate.doubleValue(), 0.0);
    controller_->updateIndicatorNotify({"updateIndicatorNotify", -1});
    EXPECT_TRUE(window_->idctProgressUpdate.isHidden());
    {
        std::lock_guard lock(mutex);
        resume = true;
    }
    changed.notify_all();
    ASSERT_NE(waitForSheet("Complete!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_EQ(controller_->applicationShouldTerminate(), appkit::TerminateReply::Now);
    // The final refresh sees the drive that came meanwhile.
    EXPECT_TRUE(processEventsUntil([this] { return window_->cmbDriveList.numberOfItems() == 2; }));
}
