#pragma once

#include "platform/diskarb/DiskArbitration.h"
#include "tests/support/RunLoopTesting.h"

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct DiskCall {
    std::string kind;
    std::optional<std::string> volumeName;
    std::optional<std::string> deviceModel;
    friend bool operator==(const DiskCall&, const DiskCall&) = default;
    friend void PrintTo(const DiskCall& call, std::ostream* out) {
        *out << call.kind << " " << call.volumeName.value_or("(none)") << " "
             << call.deviceModel.value_or("(none)");
    }
};

// The calls of the callbacks registered with it as context.
class DiskCalls {
  public:
    // Both callbacks, for every disk.
    void registerWith(const DASessionRef& session) {
        DARegisterDiskAppearedCallback(session, nullptr, appeared, this);
        DARegisterDiskDisappearedCallback(session, nullptr, disappeared, this);
    }

    static void appeared(DADiskRef disk, void* context) {
        static_cast<DiskCalls*>(context)->add("appeared", disk);
    }
    static void disappeared(DADiskRef disk, void* context) {
        static_cast<DiskCalls*>(context)->add("disappeared", disk);
    }

    std::vector<DiskCall> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    bool cameTo(std::size_t count) const {
        return eventually([&] { return calls().size() >= count; });
    }

  private:
    void add(const char* kind, DADiskRef disk) {
        const CFMutableDictionaryRef description = DADiskCopyDescription(disk);
        std::lock_guard lock(mutex_);
        calls_.push_back({kind, description->text(kDADiskDescriptionVolumeNameKey),
                          description->text(kDADiskDescriptionDeviceModelKey)});
    }

    mutable std::mutex mutex_;
    std::vector<DiskCall> calls_;
};
