#pragma once

#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/Services.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tracking {

// The drives a backend has published in the device registry, each under a key
// of the backend's own that stays the same from its arrival to its removal (a
// sysfs path, a virtual drive's id). A drive withdrawn takes the refused opens
// of its node with it: a later drive may get the same node, and a drive that
// left is no longer one the user could be told about. Safe from any thread.
class PublishedDrives {
  public:
    PublishedDrives() = default;
    // Withdraws every drive still published.
    ~PublishedDrives();
    PublishedDrives(const PublishedDrives&) = delete;
    PublishedDrives& operator=(const PublishedDrives&) = delete;

    // Publishes `service`, the drive at `deviceNode`, unless a drive is
    // published under `key` already; says whether it did.
    bool publish(const std::string& key, const std::shared_ptr<iokit::ServiceProvider>& service,
                 std::string deviceNode);
    // Withdraws the drive published under `key`; says whether there was one.
    bool withdraw(std::string_view key);
    void clear();

    // The service published under `key`, else IO_OBJECT_NULL.
    io_service_t service(std::string_view key) const;
    // The refused opens still standing of the drives published now, most
    // recent last.
    std::vector<iokit::AccessResult> accessProblems() const;

  private:
    struct Drive {
        io_service_t service;
        std::string deviceNode;
    };

    static void withdraw(const Drive& drive);

    mutable std::mutex mutex_;
    std::map<std::string, Drive, std::less<>> drives_;
};

} // namespace tracking
