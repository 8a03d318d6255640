#include "platform/sim/FaultyDevice.h"

namespace sim {

FaultyDevice::FaultyDevice(std::shared_ptr<iokit::PassThroughDevice> device,
                           const DriveFaults& faults)
    : device_(std::move(device)), accessRefused_(faults.exclusiveAccessRefused),
      releaseFails_(faults.releaseFails) {}

bool FaultyDevice::enacts(const DriveFaults& faults) {
    return faults.exclusiveAccessRefused || faults.releaseFails;
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
    return device_->execute(cdb, data, direction, timeout);
}

} // namespace sim
