#pragma once

#include "platform/iokit/SCSITaskInterfaces.h"
#include "platform/sim/DriveProfile.h"

namespace sim {

// A task of which one set-up step reports an error. The step still takes
// effect, except a failing execution, which carries nothing out.
class FaultyTask : public SCSITaskInterface {
  public:
    FaultyTask(iokit::InterfaceRef<SCSITaskInterface> task, SetupStep failing);

    IOReturn SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) override;
    IOReturn SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                     std::uint64_t transferCount,
                                     SCSIDataTransferDirection direction) override;
    IOReturn SetTimeoutDuration(std::uint32_t milliseconds) override;
    IOReturn ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                             std::uint64_t& realizedTransferCount) override;

  private:
    IOReturn spoiled(SetupStep step, IOReturn result) const;

    const iokit::InterfaceRef<SCSITaskInterface> task_;
    const SetupStep failing_;
};

} // namespace sim
