// Start-up and lifecycle of the window controller.

#include "app/QuelmarDriveUpdaterAppDelegate.h"

#include "app/LockTokens.h"
#include "monitor/DAUtil.h"
#include "monitor/DeviceNotifications.h"
#include "monitor/DiscCallbacks.h"
#include "monitor/LaunchFlags.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/GuiThread.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/NamedLock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "records/FirmwareImageLayout.h"
#include "scsi/STUCMethod.h"

#include <chrono>
#include <utility>

namespace {

constexpr auto kFirstListingDelay = std::chrono::milliseconds(1000);

} // namespace

QuelmarDriveUpdaterAppDelegate::QuelmarDriveUpdaterAppDelegate(MainWindow& window,
                                                               const platform::Backend& backend)
    : window_(&window.window), nib_(window), backend_(backend) {
    nib_.window.setDelegate(this);
    nib_.cmbDriveList.setAction([this] { changedDriveList(); });
    nib_.btnUpdate.setAction([this] { clickUpdateButton(); });
}

void QuelmarDriveUpdaterAppDelegate::awakeFromNib() {
    initFlag_ = true;
    window_->setFrameAutosaveName("MainWindow");
    nib_.lblTitleTargetDrive.setStringValue(foundation::localized("Target Drive"));
    nib_.lblTitleWillUpdateTo.setStringValue(foundation::localized("will update to"));
    nib_.lblTitleWillUpdateTo.setHidden(true);
    nib_.lblTxtUpdateVersion.setStringValue("");
    nib_.btnUpdate.setTitle(foundation::localized("Update"));
    nib_.btnUpdate.setEnabled(false);
    nib_.idctProgressUpdate.setHidden(true);
    nib_.idctProgressUpdate.setMaxValue(kProgressRange);
    {
        auto guard = foundation::NamedLock::synchronized(kCurrentDeviceLock);
        curIndex_ = -1;
        deviceArray_.clear();
    }

    auto& center = foundation::NotificationCenter::defaultCenter();
    for (const char* name :
         {kAppearedDeviceNotify, kDisappearedDeviceNotify, kChangedDeviceNotify}) {
        center.addObserver(this, name, [this](const foundation::Notification&) {
            requestListing(Listing::Refresh);
        });
    }
    center.addObserver(this, kUpdateIndicatorNotify,
                       [this](const foundation::Notification& notification) {
                           updateIndicatorNotify(notification);
                       });
    center.addObserver(
        this, kUpdatePhaseNotify,
        [this](const foundation::Notification& notification) { updatePhaseNotify(notification); });
    center.addObserver(this, kUpdateWriteProgressNotify,
                       [this](const foundation::Notification& notification) {
                           updateWriteProgressNotify(notification);
                       });

    IsPresenceDiscsForAppLaunch = false;
    IsFoundTargetDriveForAppLaunch = false;
    DAUtil::initSession();
    if (const DASessionRef session = DAUtil::session()) {
        DARegisterDiskAppearedCallback(session, nullptr, diskAppearedCallback, this);
        DARegisterDiskDisappearedCallback(session, nullptr, diskDisappearedCallback, this);
    }
    nib_.cmbDriveList.removeAllItems();

    monitorThread_ = std::thread([this] { createDeviceManager(); });
    firstListing_ = foundation::RunLoop::performAfterDelay(
        kFirstListingDelay, [this] { requestListing(Listing::First); });

    curFwKernelData_ = std::make_unique<FirmFileData>();
    curFwNormalData_ = std::make_unique<FirmFileData>();
    getFwFileInfo();
    updateControll();
}

QuelmarDriveUpdaterAppDelegate::~QuelmarDriveUpdaterAppDelegate() {
    firstListing_ = {};
    foundation::NotificationCenter::defaultCenter().removeObserver(this);
    if (const DASessionRef session = DAUtil::session()) {
        DAUnregisterCallback(session, diskAppearedCallback, this);
        DAUnregisterCallback(session, diskDisappearedCallback, this);
    }
    DAUtil::releaseSession();
    clearDeviceArray();
    // The worker and the monitor use this controller: both end before it goes.
    waitForUpdateWorker();
    {
        std::lock_guard lock(monitorMutex_);
        monitorStopping_ = true;
        if (monitorRunLoop_ != nullptr) {
            monitorRunLoop_->stop();
        }
    }
    if (monitorThread_.joinable()) {
        monitorThread_.join();
    }
    nib_.window.setDelegate(nullptr);
    nib_.cmbDriveList.setAction({});
    nib_.btnUpdate.setAction({});
}

void QuelmarDriveUpdaterAppDelegate::getFwFileInfo() {
    using namespace FirmwareImageLayout;
    curFwKernelData_->readHeaderOfResource(imageFileName(kKernelImageBaseName));
    curFwNormalData_->readHeaderOfResource(imageFileName(kNormalImageBaseName));
}

void QuelmarDriveUpdaterAppDelegate::createDeviceManager() {
    foundation::RunLoop::Source handedOver;
    {
        std::lock_guard lock(monitorMutex_);
        if (monitorStopping_) {
            return;
        }
        monitorRunLoop_ = &foundation::RunLoop::current();
        handedOver = monitorRunLoop_->addSource(listingsHandedOver_.descriptor(), [this] {
            listingsHandedOver_.clear();
            runHandedOverListings();
        });
        monitorTakesListings_ = true;
    }
    deviceManager_ = std::make_unique<USBDeviceManager>();
    deviceManager_->start();
    {
        std::lock_guard lock(monitorMutex_);
        monitorRunLoop_ = nullptr;
        monitorTakesListings_ = false;
    }
    // A monitor that could not start its loop still runs what it was handed;
    // later listings run where they are asked for.
    runHandedOverListings();
}

void QuelmarDriveUpdaterAppDelegate::requestListing(Listing listing) {
    if (appkit::isGuiThread()) {
        std::lock_guard lock(monitorMutex_);
        if (monitorTakesListings_) {
            (listing == Listing::First ? firstListingHandedOver_ : refreshHandedOver_) = true;
            listingsHandedOver_.raise();
            return;
        }
    }
    if (listing == Listing::First) {
        initDeviceList();
    } else {
        updateDeviceList(nullptr);
    }
}

void QuelmarDriveUpdaterAppDelegate::runHandedOverListings() {
    bool first = false;
    bool refresh = false;
    {
        std::lock_guard lock(monitorMutex_);
        if (monitorStopping_) {
            return;
        }
        first = std::exchange(firstListingHandedOver_, false);
        refresh = std::exchange(refreshHandedOver_, false);
    }
    // The first listing refreshes the list itself.
    if (first) {
        initDeviceList();
    } else if (refresh) {
        updateDeviceList(nullptr);
    }
}

void QuelmarDriveUpdaterAppDelegate::windowDidMove() {
    const appkit::Rect frame = window_ != nullptr ? window_->frame() : appkit::Rect{};
    auto& defaults = foundation::UserDefaults::standardUserDefaults();
    defaults.setFloat(static_cast<float>(frame.x), "kUserDefaultKeyMainWindowLeftKey");
    defaults.setFloat(static_cast<float>(frame.y), "kUserDefaultKeyMainWindowRightKey");
    defaults.setFloat(static_cast<float>(frame.width), "kUserDefaultKeyMainWindowWidthKey");
    defaults.setFloat(static_cast<float>(frame.height), "kUserDefaultKeyMainWindowHeightKey");
}

bool QuelmarDriveUpdaterAppDelegate::windowShouldClose() {
    if (isUpdatingNow_) {
        return false;
    }
    appkit::Application::sharedApplication().terminate();
    return true;
}

appkit::TerminateReply QuelmarDriveUpdaterAppDelegate::applicationShouldTerminate() {
    return isUpdatingNow_ ? appkit::TerminateReply::Cancel : appkit::TerminateReply::Now;
}

appkit::Font QuelmarDriveUpdaterAppDelegate::defaultTextFont() {
    return appkit::Font::systemFontOfSize(13.0);
}
