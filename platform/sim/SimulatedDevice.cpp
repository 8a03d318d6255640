#include "platform/sim/SimulatedDevice.h"

#include "platform/sim/SimulatedInterfaces.h"

namespace sim {

SimulatedDevice::SimulatedDevice(std::shared_ptr<VirtualDrive> drive) : drive_(std::move(drive)) {
    properties_.setValue("SCSITaskDeviceCategory", drive_->profile().authoring
                                                       ? "SCSITaskAuthoringDevice"
                                                       : "SCSITaskUserClientDevice");
}

std::optional<std::string> SimulatedDevice::className() const {
    if (drive_->profile().faults.classNameUnreadable) {
        return std::nullopt;
    }
    return drive_->profile().className;
}

IOReturn SimulatedDevice::createPlugInInterface(IOCFPlugInInterface** plugIn) {
    if (!drive_->isAttached()) {
        return kIOReturnNoDevice;
    }
    if (drive_->profile().faults.missingInterface == MissingInterface::PlugIn) {
        return kIOReturnUnsupported;
    }
    *plugIn = new SimulatedPlugIn(shared_from_this());
    return kIOReturnSuccess;
}

IOReturn SimulatedDevice::obtainExclusiveAccess(const void* client) {
    if (!drive_->isAttached()) {
        return kIOReturnNotAttached;
    }
    std::lock_guard lock(mutex_);
    if (drive_->profile().faults.exclusiveAccessRefused ||
        (exclusiveClient_ != nullptr && exclusiveClient_ != client)) {
        return kIOReturnExclusiveAccess;
    }
    exclusiveClient_ = client;
    return kIOReturnSuccess;
}

IOReturn SimulatedDevice::releaseExclusiveAccess(const void* client) {
    std::lock_guard lock(mutex_);
    if (exclusiveClient_ != client) {
        return kIOReturnNotOpen;
    }
    exclusiveClient_ = nullptr;
    // The access is gone either way; the fault only spoils the answer.
    return drive_->profile().faults.releaseFails ? kIOReturnError : kIOReturnSuccess;
}

void SimulatedDevice::forget(const void* client) {
    std::lock_guard lock(mutex_);
    if (exclusiveClient_ == client) {
        exclusiveClient_ = nullptr;
    }
}

} // namespace sim
