// The update flow of the window controller: confirmation, the worker thread,
// progress and the result.

#include "app/AccessProblemText.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "platform/appkit/Alert.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NamedLock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/iokit/AccessProblems.h"
#include "scsi/STUCMethod.h"

#include <chrono>

namespace {

constexpr std::int32_t kOkAnswer = 0; // "OK" sits on the alternate button
constexpr double kProgressRange = 65536.0;
constexpr auto kEventsBeforeUpdate = std::chrono::milliseconds(1000);
constexpr auto kPauseBeforeUpdate = std::chrono::milliseconds(100);

} // namespace

void QuelmarDriveUpdaterAppDelegate::clickUpdateButton() {
    showSheet(foundation::Bundle::mainBundle().localizedStringForKey("MESSAGE_DONT_DISCONNECTUSB"),
              "Cancel", "OK", [this](int returnCode) { alertDidEnd(returnCode); });
}

void QuelmarDriveUpdaterAppDelegate::alertDidEnd(int returnCode) {
    if (returnCode != kOkAnswer || !curDeviceData() || isUpdatingNow_) {
        return;
    }
    isUpdatingNow_ = true;
    updateControll();
    nib_.idctProgressUpdate.setHidden(false);
    nib_.idctProgressUpdate.setDoubleValue(0.0);
    nib_.idctProgressUpdate.setIndeterminate(true);
    nib_.idctProgressUpdate.startAnimation();
    foundation::RunLoop::current().runUntilDate(std::chrono::steady_clock::now() +
                                                kEventsBeforeUpdate);
    std::this_thread::sleep_for(kPauseBeforeUpdate);
    waitForUpdateWorker();
    updateThread_ = std::thread([this] { runUpdateThread(); });
}

void QuelmarDriveUpdaterAppDelegate::runUpdateThread() {
    // No refresh runs while the flag is set, so the current drive stays put;
    // the procedure works on a copy of it and writes the copy back on success.
    DeviceData drive = *curDeviceData();
    const auto problemsBefore = iokit::AccessProblems::current();
    const bool updated = ExecUpdateMain(drive, *curFwNormalData_, *curFwKernelData_);
    {
        auto listing = foundation::NamedLock::synchronized("SYNC_LISTING");
        auto guard = foundation::NamedLock::synchronized("SYNC_CURRENTDEVICE");
        curDeviceData_ = drive;
        if (updated && curIndex_ >= 0 &&
            static_cast<std::size_t>(curIndex_) < deviceArray_.size()) {
            deviceArray_[static_cast<std::size_t>(curIndex_)] = drive;
        }
    }
    // A drive this update could not open says why.
    showSheet(updated ? "Complete!" : "Error!", "OK", std::nullopt, {},
              updated ? ""
                      : informativeTextForAccessProblems(
                            newAccessProblems(problemsBefore, iokit::AccessProblems::current())));
    if (updated) {
        updateDeviceCombobox();
    }
    isUpdatingNow_ = false;
    nib_.idctProgressUpdate.stopAnimation();
    updateControll();
    updateDeviceList(nullptr);
}

void QuelmarDriveUpdaterAppDelegate::waitForUpdateWorker() {
    if (updateThread_.joinable()) {
        updateThread_.join();
    }
}

void QuelmarDriveUpdaterAppDelegate::updateIndicatorNotify(
    const foundation::Notification& notification) {
    const int value = notification.object.value_or(0);
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
