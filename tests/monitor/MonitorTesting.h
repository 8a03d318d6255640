#pragma once

#include "monitor/DAUtil.h"
#include "monitor/DeviceNotifications.h"
#include "monitor/DiscCallbacks.h"
#include "platform/foundation/NotificationCenter.h"
#include "tests/support/RunLoopTesting.h"

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

struct Received {
    std::string name;
    std::optional<int> object;
    friend bool operator==(const Received&, const Received&) = default;
    friend void PrintTo(const Received& received, std::ostream* out) {
        *out << received.name << "(" << (received.object ? std::to_string(*received.object) : "nil")
             << ")";
    }
};

// The names and numbers the window's list refresh listens for.
inline const Received kDriveAppeared{"appearedDeviceNotify", std::nullopt};
inline const Received kDriveDisappeared{"disappearedDeviceNotify", std::nullopt};
inline const Received kDiscAppeared{"appearedDeviceNotify", 1};
inline const Received kDiscDisappeared{"disappearedDeviceNotify", 3};

// The drive and disc notifications posted while it lives, and their threads.
class NotificationRecorder {
  public:
    NotificationRecorder() {
        for (const char* name : {kAppearedDeviceNotify, kDisappearedDeviceNotify}) {
            foundation::NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const foundation::Notification& notification) {
                    std::lock_guard lock(mutex_);
                    received_.push_back({notification.name, notification.object});
                    threads_.push_back(std::this_thread::get_id());
                });
        }
    }
    ~NotificationRecorder() {
        foundation::NotificationCenter::defaultCenter().removeObserver(this);
    }
    NotificationRecorder(const NotificationRecorder&) = delete;
    NotificationRecorder& operator=(const NotificationRecorder&) = delete;

    std::vector<Received> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::vector<std::thread::id> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    bool cameTo(std::size_t count) const {
        return eventually([&] { return received().size() >= count; });
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Received> received_;
    std::vector<std::thread::id> threads_;
};

// The window's disc watch, on the calling thread: the session, both
// callbacks, and the run loop until it is stopped.
inline void watchDiscs() {
    DAUtil::initSession();
    const DASessionRef session = DAUtil::session();
    DARegisterDiskAppearedCallback(session, nullptr, diskAppearedCallback, nullptr);
    DARegisterDiskDisappearedCallback(session, nullptr, diskDisappearedCallback, nullptr);
    foundation::RunLoop::current().run();
    DAUnregisterCallback(session, diskAppearedCallback, nullptr);
    DAUnregisterCallback(session, diskDisappearedCallback, nullptr);
    DAUtil::releaseSession();
}
