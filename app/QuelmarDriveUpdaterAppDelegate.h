#pragma once

#include "app/MainWindow.h"
#include "monitor/USBDeviceManager.h"
#include "platform/appkit/ApplicationDelegate.h"
#include "platform/appkit/Font.h"
#include "platform/appkit/WindowDelegate.h"
#include "platform/backend/Backend.h"
#include "platform/foundation/EventSignal.h"
#include "platform/foundation/HeldSignals.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "records/DeviceData.h"
#include "records/FirmFileData.h"
#include "scsi/STUCMethod.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The application's delegate and the controller of its one window: the list
// of target drives, the current drive, the controls, and the update flow.
//
// Threads: the GUI thread (set-up, disc notices, the user's actions), the
// hot-plug monitor's thread (drive notices, and every listing the GUI thread
// asks for, the first one included) and one update worker per update. The
// drive list, the current index and the current drive's copy are read and
// changed only under "SYNC_CURRENTDEVICE"; a whole list refresh runs under
// "SYNC_LISTING", taken first.
class QuelmarDriveUpdaterAppDelegate : public appkit::WindowDelegate,
                                       public appkit::ApplicationDelegate {
  public:
    // `backend` tells why drives that were seen could not be opened; it
    // outlives the controller.
    QuelmarDriveUpdaterAppDelegate(MainWindow& window, const platform::Backend& backend);
    ~QuelmarDriveUpdaterAppDelegate() override;
    QuelmarDriveUpdaterAppDelegate(const QuelmarDriveUpdaterAppDelegate&) = delete;
    QuelmarDriveUpdaterAppDelegate& operator=(const QuelmarDriveUpdaterAppDelegate&) = delete;

    // Start-up and lifecycle.
    void awakeFromNib();
    bool windowShouldClose() override;
    appkit::TerminateReply applicationShouldTerminate() override;
    void windowDidMove() override;
    void initDeviceList();
    void getFwFileInfo();
    void createDeviceManager();
    static appkit::Font defaultTextFont();

    // The drive list and the controls.
    bool setCurrentDeviceDataWithIndex(std::int32_t index);
    void changedDriveList();
    void clearDeviceArray();
    void updateDeviceList(const foundation::Notification* notification);
    void updateDeviceCombobox();
    void initControll();
    void updateControll();

    // The update flow.
    void clickUpdateButton();
    void alertDidEnd(int returnCode);
    // `held` keeps signals from quitting the window until the result is out.
    void runUpdateThread(DeviceData drive, std::unique_ptr<foundation::HeldSignals> held);
    void updateIndicatorNotify(const foundation::Notification& notification);
    // The status line under the bar: the phase, with the share written or installed.
    void updatePhaseNotify(const foundation::Notification& notification);
    void updateWriteProgressNotify(const foundation::Notification& notification);

    // The current drive, read under "SYNC_CURRENTDEVICE": its index (-1 for
    // none) and a copy of its record.
    std::int32_t curIndex() const;
    std::optional<DeviceData> curDeviceData() const;
    // Returns once the last update worker, and the refresh it ends with, is done.
    void waitForUpdateWorker();

  private:
    // Reads the rest of the state behind the controls in tests
    // (tests/support/ControllerState.h).
    friend class ControllerState;

    // The open confirmation sheet: the drive it asks about, and whether a
    // list refresh waits for the sheet to close.
    struct Confirmation {
        DeviceData drive;
        bool refreshWaiting = false;
    };

    // Whether a list refresh may run now: not before the first listing, not
    // during an update, and not while the confirmation sheet is open, which
    // then runs it when it closes without an update.
    bool mayRefreshNow();

    // The first listing or a list refresh. Asked for on the GUI thread, it is
    // handed to the monitor's thread, so that the GUI thread never waits for
    // drives to answer or for a listing under way; elsewhere, or while the
    // monitor's loop does not run, it runs at once.
    enum class Listing { First, Refresh };
    void requestListing(Listing listing);
    // On the monitor's thread: the listings handed to it since the last call.
    void runHandedOverListings();

    // A sheet on the window; `didEnd`, when given, runs on the GUI thread with the answer.
    void showSheet(const std::string& message, const std::string& defaultButton,
                   const std::optional<std::string>& alternateButton,
                   std::function<void(int)> didEnd, const std::string& informativeText = "");

    appkit::Window* window_;
    MainWindow& nib_;
    const platform::Backend& backend_;
    std::int32_t curIndex_ = -1;
    std::atomic<bool> initFlag_ = false;
    std::atomic<bool> isUpdatingNow_ = false;
    // The phase the status line shows, as "updatePhaseNotify" numbers it.
    std::atomic<int> updatePhase_ = static_cast<int>(UpdatePhase::TakingDrive);
    std::unique_ptr<USBDeviceManager> deviceManager_;
    std::vector<DeviceData> deviceArray_;
    std::optional<DeviceData> curDeviceData_;
    std::unique_ptr<FirmFileData> curFwKernelData_;
    std::unique_ptr<FirmFileData> curFwNormalData_;
    // Set together with isUpdatingNow_ under the mutex, so that a refresh
    // sees either the sheet or the update.
    std::mutex confirmationMutex_;
    std::optional<Confirmation> confirmation_;

    // The monitor's run loop while its thread runs it; the controller stops it
    // when it goes. A stop that comes first is kept by the run loop.
    std::mutex monitorMutex_;
    foundation::RunLoop* monitorRunLoop_ = nullptr;
    bool monitorStopping_ = false;
    // Listings handed to the monitor's thread; requests that come before it
    // has run them are one listing, since each reads every drive anew.
    bool monitorTakesListings_ = false;
    bool firstListingHandedOver_ = false;
    bool refreshHandedOver_ = false;
    foundation::EventSignal listingsHandedOver_;
    std::thread monitorThread_;
    std::thread updateThread_;
    // The first listing, due a second after set-up; it is cancelled if the
    // controller goes first.
    foundation::RunLoop::DelayedCall firstListing_;
};
