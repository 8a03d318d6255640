// The drive list of the window controller: the list refresh, the pop-up, the
// current drive and the control states that follow from it.

#include "app/AccessProblemText.h"
#include "app/DriveListing.h"
#include "app/LockTokens.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "monitor/LaunchFlags.h"
#include "platform/appkit/Alert.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/NamedLock.h"

using foundation::NamedLock;

void QuelmarDriveUpdaterAppDelegate::initDeviceList() {
    // Held from the clearing of the flag to the alert, so that a thread that
    // sees the flag cleared and then takes the lock finds the listing done.
    auto listing = NamedLock::synchronized(kListingLock);
    initFlag_ = false;
    updateDeviceList(nullptr);
    {
        auto guard = NamedLock::synchronized(kCurrentDeviceLock);
        if (!deviceArray_.empty()) {
            IsFoundTargetDriveForAppLaunch = true;
        }
    }
    if (IsPresenceDiscsForAppLaunch) {
        showSheet(foundation::localized("Disc may be mounted. Please confirm eject the disk!"),
                  foundation::localized("OK"), std::nullopt, {});
    } else if (!IsFoundTargetDriveForAppLaunch) {
        // A drive that was seen but could not be opened is why, not an absent one.
        showSheet(
            foundation::Bundle::mainBundle().localizedStringForKey("MESSAGE_NO_DRIVE_UPDATED"),
            foundation::localized("OK"), std::nullopt, [this](int) { windowShouldClose(); },
            informativeTextForAccessProblems(backend_.accessProblems()));
    }
}

void QuelmarDriveUpdaterAppDelegate::updateDeviceList(const foundation::Notification*) {
    auto listing = NamedLock::synchronized(kListingLock);
    if (!mayRefreshNow()) {
        return;
    }
    std::size_t oldCount = 0;
    {
        auto guard = NamedLock::synchronized(kCurrentDeviceLock);
        oldCount = deviceArray_.size();
    }
    nib_.cmbDriveList.removeAllItems();
    clearDeviceArray();

    // The drives are identified into a list of their own and published whole,
    // so that a selection on another thread never sees a half-built list.
    std::vector<DeviceData> found = listTargetDrivesNumbered(*curFwNormalData_);

    if (found.empty()) {
        if (oldCount != 0) {
            changedDriveList();
        }
        return;
    }
    {
        auto guard = NamedLock::synchronized(kCurrentDeviceLock);
        deviceArray_ = std::move(found);
    }
    updateDeviceCombobox();
    changedDriveList();
}

bool QuelmarDriveUpdaterAppDelegate::mayRefreshNow() {
    if (initFlag_) {
        return false;
    }
    std::lock_guard lock(confirmationMutex_);
    if (isUpdatingNow_) {
        return false;
    }
    if (confirmation_) {
        confirmation_->refreshWaiting = true;
        return false;
    }
    return true;
}

void QuelmarDriveUpdaterAppDelegate::clearDeviceArray() {
    auto guard = NamedLock::synchronized(kCurrentDeviceLock);
    curIndex_ = -1;
    deviceArray_.clear();
}

void QuelmarDriveUpdaterAppDelegate::updateDeviceCombobox() {
    std::vector<std::string> titles;
    std::int32_t index = -1;
    {
        auto guard = NamedLock::synchronized(kCurrentDeviceLock);
        for (const DeviceData& drive : deviceArray_) {
            titles.push_back(titleOf(drive));
        }
        index = curIndex_;
    }
    nib_.cmbDriveList.removeAllItems();
    for (auto& title : titles) {
        nib_.cmbDriveList.addItemWithTitle(std::move(title));
    }
    if (index >= 0) {
        nib_.cmbDriveList.selectItemAtIndex(index);
    }
}

void QuelmarDriveUpdaterAppDelegate::changedDriveList() {
    const std::int32_t index = nib_.cmbDriveList.indexOfSelectedItem();
    {
        auto guard = NamedLock::synchronized(kCurrentDeviceLock);
        curIndex_ = index;
    }
    if (setCurrentDeviceDataWithIndex(index)) {
        initControll();
        updateControll();
    }
}

bool QuelmarDriveUpdaterAppDelegate::setCurrentDeviceDataWithIndex(std::int32_t) {
    auto guard = NamedLock::synchronized(kCurrentDeviceLock);
    // The list may have changed since the choice was made: an index that
    // names no drive means no current drive.
    if (curIndex_ < 0 || static_cast<std::size_t>(curIndex_) >= deviceArray_.size()) {
        curDeviceData_.reset();
    } else {
        curDeviceData_ = deviceArray_[static_cast<std::size_t>(curIndex_)];
    }
    return true;
}

void QuelmarDriveUpdaterAppDelegate::initControll() {
    if (curIndex() >= 0) {
        nib_.idctProgressUpdate.setDoubleValue(0.0);
    } else {
        nib_.lblTxtUpdateVersion.setStringValue("");
        nib_.btnUpdate.setEnabled(false);
        nib_.idctProgressUpdate.setHidden(true);
    }
}

void QuelmarDriveUpdaterAppDelegate::updateControll() {
    bool hideProgress = true;
    bool listEmpty = true;
    std::optional<bool> currentIsEligible;
    {
        auto guard = NamedLock::synchronized(kCurrentDeviceLock);
        listEmpty = deviceArray_.empty();
        if (curDeviceData_) {
            currentIsEligible = curDeviceData_->isEnableUpdate();
        }
    }
    if (!listEmpty) {
        const bool updating = isUpdatingNow_;
        if (currentIsEligible) {
            nib_.cmbDriveList.setEnabled(true);
            if (*currentIsEligible) {
                nib_.lblTitleWillUpdateTo.setHidden(false);
                nib_.lblTxtUpdateVersion.setHidden(false);
                nib_.lblTxtUpdateVersion.setStringValue(versionTitleOf(*curFwNormalData_));
                nib_.btnUpdate.setEnabled(true);
            } else {
                nib_.lblTitleWillUpdateTo.setHidden(true);
                nib_.lblTxtUpdateVersion.setStringValue(foundation::localized("no need update"));
                nib_.lblTxtUpdateVersion.setHidden(false);
                nib_.btnUpdate.setEnabled(false);
            }
            if (updating) {
                nib_.btnUpdate.setEnabled(false);
                nib_.cmbDriveList.setEnabled(false);
            }
        }
        hideProgress = !updating;
    }
    nib_.idctProgressUpdate.setHidden(hideProgress);
}

void QuelmarDriveUpdaterAppDelegate::showSheet(const std::string& message,
                                               const std::string& defaultButton,
                                               const std::optional<std::string>& alternateButton,
                                               std::function<void(int)> didEnd,
                                               const std::string& informativeText) {
    appkit::Alert::alertWithMessageText(message, defaultButton, alternateButton, std::nullopt,
                                        informativeText)
        ->beginSheetModalForWindow(*window_, std::move(didEnd));
}

std::int32_t QuelmarDriveUpdaterAppDelegate::curIndex() const {
    auto guard = NamedLock::synchronized(kCurrentDeviceLock);
    return curIndex_;
}

std::optional<DeviceData> QuelmarDriveUpdaterAppDelegate::curDeviceData() const {
    auto guard = NamedLock::synchronized(kCurrentDeviceLock);
    return curDeviceData_;
}
