#include "platform/tracking/PublishedDrives.h"

#include "platform/iokit/AccessProblems.h"

namespace tracking {

PublishedDrives::~PublishedDrives() {
    clear();
}

bool PublishedDrives::publish(const std::string& key,
                              const std::shared_ptr<iokit::ServiceProvider>& service,
                              std::string deviceNode) {
    std::lock_guard lock(mutex_);
    if (drives_.contains(key)) {
        return false;
    }
    drives_.emplace(key,
                    Drive{iokit::ServiceRegistry::registerService(service), std::move(deviceNode)});
    return true;
}

bool PublishedDrives::withdraw(std::string_view key) {
    std::lock_guard lock(mutex_);
    const auto found = drives_.find(key);
    if (found == drives_.end()) {
        return false;
    }
    withdraw(found->second);
    drives_.erase(found);
    return true;
}

void PublishedDrives::clear() {
    std::lock_guard lock(mutex_);
    for (const auto& [key, drive] : drives_) {
        withdraw(drive);
    }
    drives_.clear();
}

void PublishedDrives::withdraw(const Drive& drive) {
    iokit::ServiceRegistry::terminateService(drive.service);
    iokit::AccessProblems::forget(drive.deviceNode);
}

io_service_t PublishedDrives::service(std::string_view key) const {
    std::lock_guard lock(mutex_);
    const auto found = drives_.find(key);
    return found == drives_.end() ? IO_OBJECT_NULL : found->second.service;
}

std::vector<iokit::AccessResult> PublishedDrives::accessProblems() const {
    std::vector<std::string> nodes;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, drive] : drives_) {
            nodes.push_back(drive.deviceNode);
        }
    }
    return iokit::AccessProblems::currentOf(nodes);
}

} // namespace tracking
