#include "platform/sim/FaultyDevice.h"

namespace sim {

namespace {

constexpr std::uint8_t testUnitReadyCode = 0x00;

} // namespace

FaultyDevice::FaultyDevice(std::shared_ptr<iokit::PassThroughDevice> device,
                           std::shared_ptr<const VirtualDrive> drive, const DriveFaults& faults)
    : device_(std::move(device)), drive_(std::move(drive)),
      accessRefused_(faults.exclusiveAccessRefused), releaseFails_(faults.releaseFails),
      transportFailuresLeft_(faults.transportFailurePolls) {}

bool FaultyDevice::enacts(const DriveFaults& faults) {
    return faults.exclusiveAccessRefused || faults.releaseFails || faults.transportFailurePolls > 0;
}

iokit::AccessResult FaultyDevice::open() {
    iokit::AccessResult result = device_->open();
    // A drive that is gone stays gone; one that is there seems held by
    // another program, which takes it the moment it is free.
    if (result.granted() && accessRefused_) {
        device_->close();
        result.refusal = iokit::AccessRefusal::HeldElsewhere;
    }
    return result;
}

bool FaultyDevice::close() {
    // The access is given back either way; the fault only spoils the answer.
    return device_->close() && !releaseFails_;
}

void FaultyDevice::abandon() {
    device_->abandon();
}

iokit::PassThroughResult FaultyDevice::execute(std::span<const std::uint8_t> cdb,
                                               std::span<std::uint8_t> data,
                                               iokit::TransferDirection direction,
                                               std::chrono::milliseconds timeout) {
    if (failsInTransport(cdb)) {
        iokit::PassThroughResult result;
        result.transport = iokit::Transport::TimedOut;
        return result;
    }
    return device_->execute(cdb, data, direction, timeout);
}

bool FaultyDevice::failsInTransport(std::span<const std::uint8_t> cdb) {
    const std::scoped_lock lock(mutex_);
    if (transportFailuresLeft_ == 0 || cdb.empty() || cdb[0] != testUnitReadyCode ||
        !drive_->isInstalling()) {
        return false;
    }
    --transportFailuresLeft_;
    return true;
}

} // namespace sim
