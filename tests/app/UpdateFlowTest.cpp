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
    void
    startWithOneEligibleDrive(sim::DriveProfile profile = drive("a"),
                              std::vector<sim::DriveProfile> others = {},
                              std::optional<std::chrono::milliseconds> busyLimit = std::nullopt) {
        profile.installPolls = 2;
        others.insert(others.begin(), profile);
        start(others, busyLimit);
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
        EXPECT_EQ(AlertSheets::buttonForReturnCode(*box, 1)->text(), "Cancel");
        EXPECT_EQ(AlertSheets::buttonForReturnCode(*box, 0)->text(), "OK");
        if (key < 0) {
            press(box, appkit::Alert::DefaultReturn);
        } else {
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        }
        ASSERT_TRUE(processEventsUntil([this] { return sheet() == nullptr; }));
    }
    EXPECT_FALSE(ControllerState::isUpdatingNow(*controller_));
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
    EXPECT_FALSE(ControllerState::isUpdatingNow(*controller_));
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
    EXPECT_FALSE(ControllerState::isUpdatingNow(*controller_));
    EXPECT_EQ(controller_->curIndex(), 0);
    EXPECT_TRUE(window_->btnUpdate.isEnabled());
}

namespace {

// Whether the same refusal is already on record when the update meets it.
class RefusedUpdate : public UpdateFlow, public testing::WithParamInterface<bool> {};

} // namespace

TEST_P(RefusedUpdate, SaysWhyUnderError) {
    startWithOneEligibleDrive();
    // Another holder takes the drive between the listing and the update.
    const DeviceInterfaces holder =
        CreateDeviceInterfaceForAuthoringDevice(simulated_->service("a"));
    ASSERT_EQ(holder.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    if (GetParam()) {
        const DeviceInterfaces earlier =
            CreateDeviceInterfaceForAuthoringDevice(simulated_->service("a"));
        ASSERT_NE(earlier.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    }
    press(confirmationSheet(), 0);
    QMessageBox* box = waitForSheet("Error!");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText().toStdString(),
              "The drive could not be opened for the update. Nothing was written to it.\n\n"
              "The drive virtual:a is in use by another program. Close that program and try "
              "again.");
    controller_->waitForUpdateWorker();
    EXPECT_EQ(holder.taskDevice->ReleaseExclusiveAccess(), kIOReturnSuccess);
}

INSTANTIATE_TEST_SUITE_P(RecordedBefore, RefusedUpdate, testing::Bool());

namespace {

struct ResultCase {
    const char* name;
    void (*fault)(sim::DriveFaults&);
    const char* message;
    const char* informative;
};

class UpdateResult : public UpdateFlow, public testing::WithParamInterface<ResultCase> {};

} // namespace

TEST_P(UpdateResult, SaysWhatHappenedAndWhatStateTheDriveIsIn) {
    auto profile = drive("a");
    GetParam().fault(profile.faults);
    startWithOneEligibleDrive(profile);
    press(confirmationSheet(), 0);
    QMessageBox* box = waitForSheet(GetParam().message);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText().toStdString(), GetParam().informative);
    controller_->waitForUpdateWorker();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UpdateResult,
    testing::Values(
        ResultCase{"Success", [](sim::DriveFaults&) {}, "Complete!",
                   "QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30 now reports revision 1.02."},
        ResultCase{"ModeChangeRefused",
                   [](sim::DriveFaults& faults) {
                       faults.modeChangeRefusal = sim::ModeChangeRefusal::First;
                   },
                   "Error!",
                   "The drive refused the mode change to its update mode. Nothing was written "
                   "to it."},
        ResultCase{"TransferRefused",
                   [](sim::DriveFaults& faults) { faults.imageTransferFailure = 2; }, "Error!",
                   "The drive did not take the firmware being written to it. The drive is left in "
                   "its update mode: it is "
                   "listed and can be updated again. Keep it connected until then."},
        ResultCase{"ActivationRefused",
                   [](sim::DriveFaults& faults) {
                       faults.modeChangeRefusal = sim::ModeChangeRefusal::Second;
                   },
                   "Error!",
                   "The drive took the new firmware but refused to start installing it. The drive "
                   "is left in its update mode: it is "
                   "listed and can be updated again. Keep it connected until then."},
        ResultCase{"WrongRevision",
                   [](sim::DriveFaults& faults) { faults.revisionAfterInstall = "1.03"; }, "Error!",
                   "After installing, the drive does not report the revision of the new "
                   "firmware."}),
    [](const testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

TEST_F(UpdateFlow, TheStatusLineNamesEachPhaseAndEmptiesAtTheEnd) {
    auto leaving = drive("a");
    leaving.faults.leavesDuringInstall = 1;
    leaving.faults.returnAfterLeaving = std::chrono::milliseconds(100);
    startWithOneEligibleDrive(leaving);
    // What the line says after each notice, a repeat left out.
    std::mutex mutex;
    std::vector<std::string> shown;
    auto& center = foundation::NotificationCenter::defaultCenter();
    for (const char* name :
         {kUpdatePhaseNotify, kUpdateWriteProgressNotify, kUpdateIndicatorNotify}) {
        center.addObserver(&shown, name, [&](const foundation::Notification&) {
            std::lock_guard lock(mutex);
            std::string text = window_->lblUpdateStatus.stringValue();
            if (shown.empty() || shown.back() != text) {
                shown.push_back(std::move(text));
            }
        });
    }
    press(confirmationSheet(), 0);
    ASSERT_NE(waitForSheet("Complete!"), nullptr);
    controller_->waitForUpdateWorker();
    center.removeObserver(&shown);
    const auto at = [&](const std::string& text) {
        return std::find(shown.begin(), shown.end(), text) - shown.begin();
    };
    const std::vector<std::string> phases = {
        "Taking the drive for the update...",
        "Switching the drive to its update mode...",
        "Writing the firmware (0 %)...",
        "Writing the firmware (100 %)...",
        "The drive is installing the firmware (0 %)...",
        "The drive is restarting; waiting for it to come back...",
        "The drive is installing the firmware (100 %)...",
        "Checking the new revision..."};
    for (std::size_t i = 0; i < phases.size(); ++i) {
        EXPECT_LT(at(phases[i]), static_cast<long>(shown.size())) << phases[i];
        if (i > 0) {
            EXPECT_LT(at(phases[i - 1]), at(phases[i])) << phases[i];
        }
    }
    EXPECT_EQ(window_->lblUpdateStatus.stringValue(), "");
    EXPECT_TRUE(window_->lblUpdateStatus.widget()->accessibleName().isEmpty());
}

TEST_F(UpdateFlow, ADriveBusyPastTheLimitEndsInErrorAndTheWindowMayCloseAgain) {
    auto stuck = drive("a");
    stuck.faults.busyForever = true;
    startWithOneEligibleDrive(stuck, {}, std::chrono::milliseconds(100));
    press(confirmationSheet(), 0);
    ASSERT_NE(waitForSheet("Error!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_FALSE(ControllerState::isUpdatingNow(*controller_));
    EXPECT_TRUE(window_->window.widget()->close());
}

TEST_F(UpdateFlow, ConfirmingWhileTheLastWorkerStillRefreshesLeavesTheGuiThreadFree) {
    auto stuck = drive("a");
    stuck.faults.busyForever = true;
    startWithOneEligibleDrive(stuck, {drive("b")}, std::chrono::milliseconds(100));
    // From the end of the first update until after the second is confirmed,
    // the first worker's final refresh waits.
    std::optional<ListingElsewhere> listing;
    ProgressRecorder progress([&](const std::vector<std::optional<int>>& values) {
        if (values.back() == -1 && !listing) {
            listing.emplace();
        }
    });
    press(confirmationSheet(), 0);
    press(waitForSheet("Error!"), appkit::Alert::DefaultReturn);
    ASSERT_TRUE(choose(1));
    press(confirmationSheet(), 0);
    ASSERT_TRUE(listing.has_value());
    EXPECT_TRUE(listing->release());
    EXPECT_NE(waitForSheet("Complete!"), nullptr);
    controller_->waitForUpdateWorker();
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
    EXPECT_TRUE(ControllerState::isUpdatingNow(*controller_));
    EXPECT_FALSE(controller_->windowShouldClose());
    EXPECT_EQ(controller_->applicationShouldTerminate(), appkit::TerminateReply::Cancel);
    EXPECT_FALSE(window_->btnUpdate.isEnabled());
    EXPECT_FALSE(window_->cmbDriveList.isEnabled());
    EXPECT_FALSE(window_->idctProgressUpdate.isHidden());

    simulated_->attach("late");
    foundation::NotificationCenter::defaultCenter().postNotificationName("changedDeviceNotify");
    EXPECT_EQ(window_->cmbDriveList.numberOfItems(), 1);
    EXPECT_EQ(ControllerState::deviceArray(*controller_).size(), 1u);

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

namespace {

// The drive the user chose stays the drive updated, whatever the list does
// while the confirmation sheet is open.
class ChosenDrive : public UpdaterWindow {
  protected:
    // Chooses the second of the drives and opens the confirmation.
    QMessageBox* confirmTheSecondOf(std::vector<sim::DriveProfile> drives) {
        start(std::move(drives));
        if (!firstListingDone() || !choose(1)) {
            return nullptr;
        }
        window_->btnUpdate.performClick();
        return waitForSheet("MESSAGE_DONT_DISCONNECTUSB");
    }

    // Attaches or removes the drive; returns once the monitor's notice of it
    // has reached the controller, which observes it before the test does.
    bool plug(const std::string& id, bool attach) {
        std::atomic<bool> seen = false;
        auto& center = foundation::NotificationCenter::defaultCenter();
        center.addObserver(&seen, attach ? "appearedDeviceNotify" : "disappearedDeviceNotify",
                           [&seen](const foundation::Notification&) { seen = true; });
        if (attach) {
            simulated_->attach(id);
        } else {
            simulated_->remove(id);
        }
        const bool delivered = processEventsUntil([&seen] { return seen.load(); });
        center.removeObserver(&seen);
        return delivered;
    }

    bool touched(const std::string& id) const {
        const sim::DriveCounters counters = simulated_->drive(id).counters();
        return counters.modeChanges != 0 || counters.imageTransfers != 0;
    }
};

class ChosenDriveAfterAnother : public ChosenDrive,
                                public testing::WithParamInterface<const char*> {};

} // namespace

TEST_P(ChosenDriveAfterAnother, IsTheOneUpdatedWhenADriveArrivesBehindTheSheet) {
    auto first = drive("first");
    first.hardwareVersion = GetParam();
    auto late = drive("late");
    late.attached = false;
    QMessageBox* box = confirmTheSecondOf({first, drive("b"), drive("c"), late});
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(plug("late", true));
    EXPECT_EQ(controller_->curIndex(), 1);
    press(box, 0);
    ASSERT_NE(waitForSheet("Complete!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_TRUE(touched("b"));
    EXPECT_FALSE(touched("first") || touched("c") || touched("late"));
    // The update's own refresh finds the drive that came.
    EXPECT_TRUE(processEventsUntil([this] { return window_->cmbDriveList.numberOfItems() == 4; }));
}

// A twin of the chosen drive first, and a drive of another hardware version,
// which must never get these images.
INSTANTIATE_TEST_SUITE_P(HardwareVersion, ChosenDriveAfterAnother,
                         testing::Values("KLVH0100", "KLVH0200"));

TEST_F(ChosenDrive, TheSheetNamesTheChosenTwinAndWhatItWillBecome) {
    QMessageBox* box = confirmTheSecondOf({drive("a"), drive("b")});
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "MESSAGE_DONT_DISCONNECTUSB");
    EXPECT_EQ(box->informativeText().toStdString(),
              "Drive: QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [2]\n"
              "Firmware: BD-RW KLV-TN82WA 1.01 -> 1.02");
    press(box, appkit::Alert::DefaultReturn);
}

TEST_F(ChosenDrive, ARefreshThatWaitedForTheSheetRunsAtOnceOnCancel) {
    auto late = drive("late");
    late.attached = false;
    QMessageBox* box = confirmTheSecondOf({drive("a"), drive("b"), drive("c"), late});
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(plug("late", true));
    EXPECT_EQ(window_->cmbDriveList.numberOfItems(), 3);
    press(box, appkit::Alert::DefaultReturn);
    // On the monitor's thread, without another notice.
    EXPECT_TRUE(processEventsUntil([this] { return window_->cmbDriveList.numberOfItems() == 4; }));
    waitForRefreshToEnd();
    EXPECT_EQ(controller_->curIndex(), 0);
    EXPECT_FALSE(touched("a") || touched("b") || touched("c") || touched("late"));
}

TEST_F(ChosenDrive, ThatLeftBehindTheSheetFailsWithErrorAndNoOtherDriveIsTouched) {
    QMessageBox* box = confirmTheSecondOf({drive("a"), drive("b"), drive("c")});
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(plug("b", false));
    press(box, 0);
    ASSERT_NE(waitForSheet("Error!"), nullptr);
    controller_->waitForUpdateWorker();
    EXPECT_FALSE(touched("a") || touched("b") || touched("c"));
}
