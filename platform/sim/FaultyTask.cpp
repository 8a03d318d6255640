#include "platform/sim/FaultyTask.h"

namespace sim {

FaultyTask::FaultyTask(iokit::InterfaceRef<SCSITaskInterface> task, SetupStep failing)
    : task_(std::move(task)), failing_(failing) {}

IOReturn FaultyTask::spoiled(SetupStep step, IOReturn result) const {
    return step == failing_ ? kIOReturnError : result;
}

IOReturn FaultyTask::SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) {
    return spoiled(SetupStep::SetCommandDescriptorBlock, task_->SetCommandDescriptorBlock(cdb));
}

IOReturn FaultyTask::SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                             std::uint64_t transferCount,
                                             SCSIDataTransferDirection direction) {
    return spoiled(SetupStep::SetScatterGatherEntries,
                   task_->SetScatterGatherEntries(ranges, transferCount, direction));
}

IOReturn FaultyTask::SetTimeoutDuration(std::uint32_t milliseconds) {
    return spoiled(SetupStep::SetTimeout, task_->SetTimeoutDuration(milliseconds));
}

IOReturn FaultyTask::ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                                     std::uint64_t& realizedTransferCount) {
    if (failing_ == SetupStep::Execute) {
        return kIOReturnError;
    }
    return task_->ExecuteTaskSync(sense, status, realizedTransferCount);
}

} // namespace sim
