#include "platform/sim/SimulatedInterfaces.h"

#include "platform/sim/SimulatedDevice.h"

#include <algorithm>

namespace sim {
namespace {

Direction directionOf(SCSIDataTransferDirection direction) {
    switch (direction) {
    case kSCSIDataTransfer_FromInitiatorToTarget:
        return Direction::ToDrive;
    case kSCSIDataTransfer_FromTargetToInitiator:
        return Direction::FromDrive;
    default:
        return Direction::None;
    }
}

} // namespace

SimulatedTask::SimulatedTask(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

IOReturn SimulatedTask::setUpResult(SetupStep step) const {
    return device_->drive().profile().faults.failingSetupStep == step ? kIOReturnError
                                                                      : kIOReturnSuccess;
}

IOReturn SimulatedTask::SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) {
    if (cdb.size() != 6 && cdb.size() != 10 && cdb.size() != 12 && cdb.size() != 16) {
        return kIOReturnBadArgument;
    }
    cdb_.assign(cdb.begin(), cdb.end());
    return setUpResult(SetupStep::SetCommandDescriptorBlock);
}

IOReturn SimulatedTask::SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                                std::uint64_t transferCount,
                                                SCSIDataTransferDirection direction) {
    if (ranges.size() > 1) {
        return kIOReturnUnsupported;
    }
    range_ = ranges.empty() ? IOVirtualRange{} : ranges.front();
    transferCount_ = transferCount;
    direction_ = direction;
    return setUpResult(SetupStep::SetScatterGatherEntries);
}

IOReturn SimulatedTask::SetTimeoutDuration(std::uint32_t) {
    return setUpResult(SetupStep::SetTimeout);
}

IOReturn SimulatedTask::ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                                        std::uint64_t& realizedTransferCount) {
    if (setUpResult(SetupStep::Execute) != kIOReturnSuccess || cdb_.empty()) {
        return kIOReturnError;
    }
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(range_.length, transferCount_));
    const std::span<std::uint8_t> data(range_.address, range_.address ? length : 0);
    const CommandResult result = device_->drive().execute(cdb_, data, directionOf(direction_));
    if (result.gone) {
        return kIOReturnNotAttached;
    }
    status = result.status;
    realizedTransferCount = result.transferred;
    if (result.status == kSCSITaskStatus_CHECK_CONDITION) {
        std::copy(result.sense.begin(), result.sense.end(), sense.bytes.begin());
    }
    return kIOReturnSuccess;
}

SimulatedTaskDevice::SimulatedTaskDevice(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

SimulatedTaskDevice::~SimulatedTaskDevice() {
    device_->forget(this);
}

IOReturn SimulatedTaskDevice::ObtainExclusiveAccess() {
    return device_->obtainExclusiveAccess(this);
}

IOReturn SimulatedTaskDevice::ReleaseExclusiveAccess() {
    return device_->releaseExclusiveAccess(this);
}

SCSITaskInterface* SimulatedTaskDevice::CreateSCSITask() {
    if (device_->drive().profile().faults.noTask) {
        return nullptr;
    }
    return new SimulatedTask(device_);
}

SimulatedMMCDevice::SimulatedMMCDevice(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

SCSITaskDeviceInterface* SimulatedMMCDevice::GetSCSITaskDeviceInterface() {
    if (device_->drive().profile().faults.missingInterface == MissingInterface::TaskDevice) {
        return nullptr;
    }
    return new SimulatedTaskDevice(device_);
}

SimulatedPlugIn::SimulatedPlugIn(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

IOReturn SimulatedPlugIn::QueryInterface(const CFUUIDBytes& interfaceID,
                                         MMCDeviceInterface** interface) {
    *interface = nullptr;
    if (interfaceID != CFUUIDGetUUIDBytes(kIOMMCDeviceInterfaceID) ||
        device_->drive().profile().faults.missingInterface == MissingInterface::Mmc) {
        return kIOReturnUnsupported;
    }
    *interface = new SimulatedMMCDevice(device_);
    return kIOReturnSuccess;
}

} // namespace sim
