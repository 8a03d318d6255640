#include "platform/sim/FaultyMMCDevice.h"

#include "platform/sim/FaultyTaskDevice.h"

namespace sim {

FaultyMMCDevice::FaultyMMCDevice(iokit::InterfaceRef<MMCDeviceInterface> mmc, DriveFaults faults)
    : mmc_(std::move(mmc)), faults_(std::move(faults)) {}

SCSITaskDeviceInterface* FaultyMMCDevice::GetSCSITaskDeviceInterface() {
    if (faults_.missingInterface == MissingInterface::TaskDevice) {
        return nullptr;
    }
    iokit::InterfaceRef<SCSITaskDeviceInterface> taskDevice(mmc_->GetSCSITaskDeviceInterface());
    if (!taskDevice) {
        return nullptr;
    }
    return new FaultyTaskDevice(std::move(taskDevice), faults_);
}

} // namespace sim
