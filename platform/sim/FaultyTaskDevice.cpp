#include "platform/sim/FaultyTaskDevice.h"

#include "platform/sim/FaultyTask.h"

namespace sim {

FaultyTaskDevice::FaultyTaskDevice(iokit::InterfaceRef<SCSITaskDeviceInterface> taskDevice,
                                   const DriveFaults& faults)
    : taskDevice_(std::move(taskDevice)), noTask_(faults.noTask),
      failingSetupStep_(faults.failingSetupStep) {}

IOReturn FaultyTaskDevice::ObtainExclusiveAccess() {
    return taskDevice_->ObtainExclusiveAccess();
}

IOReturn FaultyTaskDevice::ReleaseExclusiveAccess() {
    return taskDevice_->ReleaseExclusiveAccess();
}

SCSITaskInterface* FaultyTaskDevice::CreateSCSITask() {
    if (noTask_) {
        return nullptr;
    }
    iokit::InterfaceRef<SCSITaskInterface> task(taskDevice_->CreateSCSITask());
    if (!task || !failingSetupStep_) {
        return task.release();
    }
    return new FaultyTask(std::move(task), *failingSetupStep_);
}

std::optional<iokit::AccessResult> FaultyTaskDevice::latestAccess() const {
    return taskDevice_->latestAccess();
}

std::optional<iokit::TransportFailure> FaultyTaskDevice::latestTransportFailure() const {
    return taskDevice_->latestTransportFailure();
}

} // namespace sim
