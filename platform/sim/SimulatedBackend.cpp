#include "platform/sim/SimulatedBackend.h"

#include "platform/iokit/Services.h"
#include "platform/sim/SimulatedDevice.h"

#include <stdexcept>

namespace sim {
namespace {

// The entry of a drive, from a const or a mutable table alike.
template <class Entries>
auto& findEntry(Entries& entries, std::string_view id) {
    const auto found = entries.find(id);
    if (found == entries.end()) {
        throw std::out_of_range("no virtual drive \"" + std::string(id) + "\"");
    }
    return found->second;
}

} // namespace

SimulatedBackend::SimulatedBackend(const Scenario& scenario) {
    std::lock_guard lock(mutex_);
    for (const DriveProfile& profile : scenario.drives) {
        auto drive = std::make_shared<VirtualDrive>(profile);
        Entry entry{drive, std::make_shared<SimulatedDevice>(drive)};
        auto& stored = entries_.emplace(profile.id, std::move(entry)).first->second;
        if (profile.attached) {
            publish(stored);
        }
    }
}

SimulatedBackend::~SimulatedBackend() {
    std::lock_guard lock(mutex_);
    for (auto& [id, entry] : entries_) {
        if (entry.service != IO_OBJECT_NULL) {
            iokit::ServiceRegistry::terminateService(entry.service);
        }
    }
}

SimulatedBackend::Entry& SimulatedBackend::entry(std::string_view id) {
    return findEntry(entries_, id);
}

const SimulatedBackend::Entry& SimulatedBackend::entry(std::string_view id) const {
    return findEntry(entries_, id);
}

void SimulatedBackend::publish(Entry& entry) {
    entry.service = iokit::ServiceRegistry::registerService(entry.device);
}

VirtualDrive& SimulatedBackend::drive(std::string_view id) const {
    std::lock_guard lock(mutex_);
    return *entry(id).drive;
}

io_service_t SimulatedBackend::service(std::string_view id) const {
    std::lock_guard lock(mutex_);
    return entry(id).service;
}

void SimulatedBackend::attach(std::string_view id) {
    std::lock_guard lock(mutex_);
    Entry& found = entry(id);
    if (found.service != IO_OBJECT_NULL) {
        return;
    }
    found.drive->attach();
    publish(found);
}

void SimulatedBackend::remove(std::string_view id) {
    std::lock_guard lock(mutex_);
    Entry& found = entry(id);
    if (found.service == IO_OBJECT_NULL) {
        return;
    }
    found.drive->remove();
    iokit::ServiceRegistry::terminateService(found.service);
    found.service = IO_OBJECT_NULL;
}

} // namespace sim
