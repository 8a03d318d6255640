// The update flow of the window controller: confirmation, the worker thread,
// progress and the result.

#include "app/AccessProblemText.h"
#include "app/DriveListing.h"
#include "app/FirmwareUpdate.h"
#include "app/HeldSignalNotice.h"
#include "app/LockTokens.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "app/UpdatePhaseText.h"
#include "app/UpdateResultText.h"
#include "platform/appkit/Alert.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NamedLock.h"
#include "platform/foundation/RunLoop.h"
#include "records/Util.h"
#include "scsi/STUCMethod.h"

#include <chrono>
#include <cstring>

namespace {

constexpr std::int32_t kOkAnswer = 0; // "OK" sits on the alternate button
constexpr auto kPauseBeforeUpdate = std::chrono::milliseconds(1100);

} // namespace

// The sheet asks about the drive current at the press, and that drive is the
// one updated: refreshes wait until the sheet is closed, since each makes the
// first drive current.
void QuelmarDriveUpdaterAppDelegate::clickUpdateButton() {
    std::optional<DeviceData> chosen = curDeviceData();
    // The button may still show enabled for a drive that a refresh has just replaced.
    if (!chosen || !chosen->isEnableUpdate()) {
        return;
    }
    {
        std::lock_guard lock(confirmationMutex_);
        if (confirmation_) {
            return;
        }
        confirmation_ = Confirmation{*chosen};
    }
    // Twins differ only in their number: the sheet says which one is meant.
    const std::string drive(Util::trimmedText(titleOf(*chosen)));
    showSheet(
        foundation::Bundle::mainBundle().localizedStringForKey("MESSAGE_DONT_DISCONNECTUSB"),
        foundation::localized("Cancel"), foundation::localized("OK"),
        [this](int returnCode) { alertDidEnd(returnCode); },
        foundation::localizedFormat("Drive: %s", drive.c_str()) + '\n' +
            foundation::localizedFormat("Firmware: %s",
                                        changeTitleOf(*chosen, *curFwNormalData_).c_str()));
}

void QuelmarDriveUpdaterAppDelegate::alertDidEnd(int returnCode) {
    std::unique_lock lock(confirmationMutex_);
    if (!confirmation_) {
        return;
    }
    Confirmation ended = std::move(*confirmation_);
    confirmation_.reset();
    const bool confirmed = returnCode == kOkAnswer && !isUpdatingNow_;
    if (!confirmed) {
        lock.unlock();
        if (ended.refreshWaiting) {
            requestListing(Listing::Refresh);
        }
        return;
    }
    // From here until the result is shown and the drive is back in its normal
    // mode, a signal asking the window to quit waits.
    auto held = std::make_unique<foundation::HeldSignals>(heldSignalNotice());
    // A refresh that waited is dropped: the update ends with one of its own.
    isUpdatingNow_ = true;
    lock.unlock();

    updateControll();
    updatePhase_ = static_cast<int>(UpdatePhase::TakingDrive);
    nib_.lblUpdateStatus.setStringValue("");
    nib_.idctProgressUpdate.setHidden(false);
    nib_.idctProgressUpdate.setDoubleValue(0.0);
    nib_.idctProgressUpdate.setIndeterminate(true);
    nib_.idctProgressUpdate.startAnimation();
    // The window stays live for the whole pause before the worker starts.
    foundation::RunLoop::current().runUntilDate(std::chrono::steady_clock::now() +
                                                kPauseBeforeUpdate);
    // The last worker may still be in its final refresh: the new one, not the
    // GUI thread, waits for it to end.
    updateThread_ = std::thread([this, previous = std::move(updateThread_),
                                 drive = std::move(ended.drive), held = std::move(held)]() mutable {
        if (previous.joinable()) {
            previous.join();
        }
        runUpdateThread(std::move(drive), std::move(held));
    });
}

void QuelmarDriveUpdaterAppDelegate::runUpdateThread(
    DeviceData drive, std::unique_ptr<foundation::HeldSignals> held) {
    {
        // A refresh already under way when the update was confirmed ends
        // before the drive is opened, so that it cannot hold the drive.
        auto listing = foundation::NamedLock::synchronized(kListingLock);
    }
    const std::string chosenTitle = titleOf(drive);
    const UpdateOutcome outcome = runFirmwareUpdate(drive, *curFwNormalData_, *curFwKernelData_);
    const bool updated = outcome.updated;
    if (updated) {
        // The list entry of the updated drive, wherever it is now, shows what
        // the drive reported last.
        auto listing = foundation::NamedLock::synchronized(kListingLock);
        auto guard = foundation::NamedLock::synchronized(kCurrentDeviceLock);
        for (DeviceData& listed : deviceArray_) {
            if (listed.scsiDevice() == drive.scsiDevice()) {
                listed = drive;
            }
        }
        if (curDeviceData_ && curDeviceData_->scsiDevice() == drive.scsiDevice()) {
            curDeviceData_ = drive;
        }
    }
    std::string details;
    if (updated) {
        details = completionText(chosenTitle, drive);
    } else {
        details = failureText(outcome);
        // A drive this update could not open, or that a command did not reach, says why.
        if (const std::string cause = informativeTextForUpdateCause(outcome); !cause.empty()) {
            details += (details.empty() ? "" : "\n\n") + cause;
        }
    }
    showSheet(foundation::localized(updated ? "Complete!" : "Error!"), foundation::localized("OK"),
              std::nullopt, {}, details);
    if (updated) {
        updateDeviceCombobox();
    }
    isUpdatingNow_ = false;
    nib_.lblUpdateStatus.setStringValue("");
    nib_.idctProgressUpdate.stopAnimation();
    updateControll();
    if (const auto signal = held->heldSignal()) {
        // The window may be gone before anyone reads the sheet.
        foundation::Log::notice(foundation::format(
            "The update of %s ended with \"%s\"; quitting on the signal that came during it (%s).",
            chosenTitle.c_str(), updated ? "Complete!" : "Error!", ::strsignal(*signal)));
    }
    // Ends the hold: a held signal now quits the window, which waits for this
    // thread's last refresh.
    held.reset();
    updateDeviceList(nullptr);
}

void QuelmarDriveUpdaterAppDelegate::waitForUpdateWorker() {
    if (updateThread_.joinable()) {
        updateThread_.join();
    }
}

void QuelmarDriveUpdaterAppDelegate::updatePhaseNotify(
    const foundation::Notification& notification) {
    if (const auto phase = phaseOf(notification.object.value_or(-1))) {
        updatePhase_ = static_cast<int>(*phase);
        nib_.lblUpdateStatus.setStringValue(phaseText(*phase, 0));
    }
}

void QuelmarDriveUpdaterAppDelegate::updateWriteProgressNotify(
    const foundation::Notification& notification) {
    nib_.lblUpdateStatus.setStringValue(
        phaseText(UpdatePhase::Writing, notification.object.value_or(0)));
}

void QuelmarDriveUpdaterAppDelegate::updateIndicatorNotify(
    const foundation::Notification& notification) {
    const int value = notification.object.value_or(0);
    if (value >= 0 && updatePhase_ == static_cast<int>(UpdatePhase::Installing)) {
        nib_.lblUpdateStatus.setStringValue(
            phaseText(UpdatePhase::Installing, installedPercent(value)));
    }
    if (value < 0) {
        nib_.idctProgressUpdate.setHidden(true);
        return;
    }
    if (curIndex() < 0) {
        return;
    }
    nib_.idctProgressUpdate.setIndeterminate(false);
    nib_.idctProgressUpdate.setHidden(false);
    nib_.idctProgressUpdate.setDoubleValue(kProgressRange - value);
}
