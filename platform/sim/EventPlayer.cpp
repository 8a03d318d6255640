#include "platform/sim/EventPlayer.h"

#include <condition_variable>
#include <mutex>

namespace sim {

EventPlayer::EventPlayer(SimulatedBackend& backend, const Scenario& scenario)
    : backend_(backend), events_(scenario.events) {
    for (const DriveProfile& drive : scenario.drives) {
        updateDisk(drive.id);
    }
    thread_ = std::jthread([this](const std::stop_token& stop) { play(stop); });
}

void EventPlayer::play(const std::stop_token& stop) {
    // Waits are cut short by a stop request, which wakes the variable itself.
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    for (const Event& event : events_) {
        const auto due = start_ + std::chrono::duration_cast<std::chrono::nanoseconds>(event.at);
        wakeUp.wait_until(lock, stop, due, [] { return false; });
        if (stop.stop_requested()) {
            return;
        }
        apply(event);
    }
}

void EventPlayer::apply(const Event& event) {
    switch (event.kind) {
    case Event::Kind::Attach:
        backend_.attach(event.drive);
        updateDisk(event.drive);
        break;
    case Event::Kind::Remove:
        // The volume goes before its device.
        disks_.erase(event.drive);
        backend_.remove(event.drive);
        break;
    case Event::Kind::InsertDisc:
        // A disc already in the drive is replaced.
        disks_.erase(event.drive);
        backend_.drive(event.drive).insertDisc(event.volumeName);
        updateDisk(event.drive);
        break;
    case Event::Kind::EjectDisc:
        backend_.drive(event.drive).ejectDisc();
        updateDisk(event.drive);
        break;
    }
}

void EventPlayer::updateDisk(const std::string& driveId) {
    const VirtualDrive& drive = backend_.drive(driveId);
    if (backend_.service(driveId) == IO_OBJECT_NULL || !drive.hasDisc()) {
        disks_.erase(driveId);
    } else if (!disks_.contains(driveId)) {
        disks_.try_emplace(driveId, drive.volumeName(), drive.profile().product);
    }
}

} // namespace sim
