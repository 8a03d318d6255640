#include "platform/sim/SimulatedBackend.h"

#include "platform/iokit/PassThroughService.h"
#include "platform/sim/EventPlayer.h"
#include "platform/sim/FaultyDevice.h"
#include "platform/sim/SimulatedService.h"

#include <algorithm>
#include <condition_variable>
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

// The device the adapter drives: the drive's own, or it behind its faults.
std::shared_ptr<iokit::PassThroughDevice>
withFaults(const std::shared_ptr<VirtualDriveDevice>& device,
           const std::shared_ptr<const VirtualDrive>& drive, const DriveFaults& faults) {
    if (!FaultyDevice::enacts(faults)) {
        return device;
    }
    return std::make_shared<FaultyDevice>(device, drive, faults);
}

} // namespace

SimulatedBackend::SimulatedBackend(const Scenario& scenario) : scenario_(scenario) {
    std::lock_guard lock(mutex_);
    for (const DriveProfile& profile : scenario.drives) {
        Entry entry;
        entry.drive = std::make_shared<VirtualDrive>(profile);
        entry.device = std::make_shared<VirtualDriveDevice>(entry.drive, "virtual:" + profile.id);
        entry.provider = std::make_shared<SimulatedService>(
            std::make_shared<iokit::PassThroughService>(
                withFaults(entry.device, entry.drive, profile.faults), profile.className,
                profile.authoring, profile.place.value_or(profile.id)),
            entry.drive);
        if (profile.faults.leavesDuringInstall) {
            entry.drive->setLeavingHandler([this, id = profile.id] { driveLeft(id); });
        }
        const auto& stored = entries_.emplace(profile.id, std::move(entry)).first->second;
        if (profile.attached) {
            publish(profile.id, stored);
        }
    }
}

SimulatedBackend::~SimulatedBackend() {
    player_.reset();
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, entry] : entries_) {
            entry.drive->setLeavingHandler(nullptr);
        }
    }
    std::vector<std::jthread> returns;
    {
        std::lock_guard lock(returnsMutex_);
        returns.swap(returns_);
    }
    returns.clear();
    std::lock_guard lock(mutex_);
    published_.clear();
}

void SimulatedBackend::playEvents() {
    if (!player_) {
        player_ = std::make_unique<EventPlayer>(*this, scenario_);
    }
}

std::vector<iokit::AccessResult> SimulatedBackend::accessProblems() const {
    return published_.accessProblems();
}

SimulatedBackend::Entry& SimulatedBackend::entry(std::string_view id) {
    return findEntry(entries_, id);
}

const SimulatedBackend::Entry& SimulatedBackend::entry(std::string_view id) const {
    return findEntry(entries_, id);
}

void SimulatedBackend::publish(const std::string& id, const Entry& entry) {
    published_.publish(id, entry.provider, entry.device->deviceNode());
}

void SimulatedBackend::driveLeft(const std::string& id) {
    remove(id);
    const std::optional<std::chrono::milliseconds> away =
        drive(id).profile().faults.returnAfterLeaving;
    if (!away) {
        return;
    }
    std::lock_guard lock(returnsMutex_);
    returns_.emplace_back(
        [this, id, away = *away](const std::stop_token& stop) { bringBack(id, away, stop); });
}

void SimulatedBackend::bringBack(const std::string& id, std::chrono::milliseconds away,
                                 const std::stop_token& stop) {
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    if (!wakeUp.wait_for(lock, stop, away, [] { return false; }) && !stop.stop_requested()) {
        attach(id);
    }
}

VirtualDrive& SimulatedBackend::drive(std::string_view id) const {
    std::lock_guard lock(mutex_);
    return *entry(id).drive;
}

const VirtualDriveDevice& SimulatedBackend::device(std::string_view id) const {
    std::lock_guard lock(mutex_);
    return *entry(id).device;
}

io_service_t SimulatedBackend::service(std::string_view id) const {
    std::lock_guard lock(mutex_);
    entry(id); // throws for an unknown id
    return published_.service(id);
}

void SimulatedBackend::attach(std::string_view id) {
    std::lock_guard lock(mutex_);
    const Entry& found = entry(id);
    if (published_.service(id) != IO_OBJECT_NULL) {
        return;
    }
    found.drive->attach();
    publish(std::string(id), found);
}

void SimulatedBackend::remove(std::string_view id) {
    std::lock_guard lock(mutex_);
    const Entry& found = entry(id);
    if (published_.service(id) == IO_OBJECT_NULL) {
        return;
    }
    found.drive->remove();
    published_.withdraw(id);
}

} // namespace sim
