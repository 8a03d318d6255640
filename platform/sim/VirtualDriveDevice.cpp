#include "platform/sim/VirtualDriveDevice.h"

namespace sim {
namespace {

Direction directionOf(iokit::TransferDirection direction) {
    switch (direction) {
    case iokit::TransferDirection::ToDevice:
        return Direction::ToDrive;
    case iokit::TransferDirection::FromDevice:
        return Direction::FromDrive;
    case iokit::TransferDirection::None:
        break;
    }
    return Direction::None;
}

} // namespace

VirtualDriveDevice::VirtualDriveDevice(std::shared_ptr<VirtualDrive> drive, std::string deviceNode)
    : drive_(std::move(drive)), deviceNode_(std::move(deviceNode)) {}

iokit::AccessResult VirtualDriveDevice::open() {
    iokit::AccessResult result;
    result.deviceNode = deviceNode_;
    std::lock_guard lock(mutex_);
    if (!drive_->isAttached()) {
        result.refusal = iokit::AccessRefusal::Gone;
    } else if (held_) {
        result.refusal = iokit::AccessRefusal::HeldElsewhere;
    } else {
        held_ = true;
        ++counts_.opens;
    }
    return result;
}

bool VirtualDriveDevice::close() {
    std::lock_guard lock(mutex_);
    if (!held_) {
        return false;
    }
    held_ = false;
    ++counts_.closes;
    return true;
}

void VirtualDriveDevice::abandon() {
    std::lock_guard lock(mutex_);
    if (held_) {
        held_ = false;
        ++counts_.abandoned;
    }
}

iokit::PassThroughResult VirtualDriveDevice::execute(std::span<const std::uint8_t> cdb,
                                                     std::span<std::uint8_t> data,
                                                     iokit::TransferDirection direction,
                                                     std::chrono::milliseconds) {
    const CommandResult command = drive_->execute(cdb, data, directionOf(direction));
    iokit::PassThroughResult result;
    if (command.gone) {
        result.transport = iokit::Transport::Gone;
        return result;
    }
    result.status = command.status;
    result.sense = command.sense;
    result.transferred = command.transferred;
    return result;
}

} // namespace sim
