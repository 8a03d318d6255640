#pragma once

#include "app/LockTokens.h"
#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "platform/foundation/NamedLock.h"
#include "platform/sim/SimulatedBackend.h"
#include "scsi/BusyLimit.h"
#include "scsi/PollInterval.h"
#include "tests/support/AlertSheets.h"
#include "tests/support/ControllerState.h"
#include "tests/support/FirmwareImageFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Holds the listing lock on a thread of its own, as a listing under way there
// does, from construction until release() or a generous while.
class ListingElsewhere {
  public:
    ListingElsewhere() : holder_([this] { hold(); }) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return holding_; });
    }
    ~ListingElsewhere() { release(); }
    ListingElsewhere(const ListingElsewhere&) = delete;
    ListingElsewhere& operator=(const ListingElsewhere&) = delete;

    // True when the lock was still held: nothing that waited for it came before.
    bool release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
        if (holder_.joinable()) {
            holder_.join();
        }
        return heldUntilReleased_;
    }

  private:
    void hold() {
        auto listing = foundation::NamedLock::synchronized(kListingLock);
        std::unique_lock lock(mutex_);
        holding_ = true;
        changed_.notify_all();
        heldUntilReleased_ =
            changed_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool holding_ = false;
    bool released_ = false;
    bool heldUntilReleased_ = false;
    std::thread holder_;
};

// The whole application on virtual drives: images, backend, window and
// controller, started as the process entry starts them.
class UpdaterWindow : public ::testing::Test {
  protected:
    static sim::DriveProfile drive(std::string id) {
        sim::DriveProfile profile;
        profile.id = std::move(id);
        return profile;
    }

    void start(std::vector<sim::DriveProfile> drives,
               std::optional<std::chrono::milliseconds> busyLimit = std::nullopt) {
        sim::Scenario scenario;
        scenario.drives = std::move(drives);
        scenario.busyLimit = busyLimit;
        // Virtual drives answer at once: no pause between install polls.
        scenario.pollInterval = std::chrono::milliseconds(0);
        simulated_ = std::make_unique<sim::SimulatedBackend>(scenario);
        simulated_->playEvents();
        if (const auto limit = simulated_->installWaitLimit()) {
            busyLimit_.emplace(*limit);
        }
        if (const auto interval = simulated_->installPollInterval()) {
            pollInterval_.emplace(*interval);
        }
        window_ = std::make_unique<MainWindow>();
        controller_ = std::make_unique<QuelmarDriveUpdaterAppDelegate>(*window_, *simulated_);
        controller_->awakeFromNib();
        window_->window.show();
    }

    void TearDown() override {
        controller_.reset();
        window_.reset();
        simulated_.reset();
    }

    // Runs the GUI thread's events until the condition holds, for a generous while.
    static bool processEventsUntil(const std::function<bool()>& condition) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Once a refresh is seen under way, returns when it has ended.
    static void waitForRefreshToEnd() {
        auto listing = foundation::NamedLock::synchronized(kListingLock);
    }

    // The first listing runs on the monitor's thread and holds the listing
    // lock from the clearing of the flag to its end.
    bool firstListingDone() {
        if (!processEventsUntil([this] { return !ControllerState::initFlag(*controller_); })) {
            return false;
        }
        waitForRefreshToEnd();
        return true;
    }

    QMessageBox* sheet() const { return AlertSheets::currentSheet(window_->window); }

    QMessageBox* waitForSheet(const std::string& text) {
        QMessageBox* found = nullptr;
        processEventsUntil([&] {
            found = sheet();
            return found != nullptr && found->text().toStdString() == text &&
                   found->isActiveWindow();
        });
        return found;
    }

    static void press(QMessageBox* box, int answer) {
        AlertSheets::buttonForReturnCode(*box, answer)->click();
    }

    std::vector<std::string> titles() const { return window_->cmbDriveList.itemTitles(); }

    // The user's choice in the pop-up.
    bool choose(int index) {
        // The listing reaches the widget by queued calls, after the controller
        // has its list: a choice among entries not shown yet would be dropped.
        if (!processEventsUntil(
                [this, index] { return window_->cmbDriveList.widget()->count() > index; })) {
            return false;
        }
        window_->cmbDriveList.widget()->setCurrentIndex(index);
        window_->cmbDriveList.widget()->activated(index);
        return processEventsUntil([this, index] { return controller_->curIndex() == index; });
    }

    FirmwareImageFolder images_{70144, 40000};
    std::unique_ptr<sim::SimulatedBackend> simulated_;
    std::optional<BusyLimit> busyLimit_;
    std::optional<PollInterval> pollInterval_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QuelmarDriveUpdaterAppDelegate> controller_;
};
