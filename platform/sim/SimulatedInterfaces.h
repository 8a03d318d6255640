#pragma once

#include "platform/iokit/SCSITaskInterfaces.h"
#include "platform/sim/DriveProfile.h"

#include <array>
#include <memory>
#include <vector>

// The task interfaces of a virtual drive. Each keeps its device alive, so an
// interface outlives a removal safely: its commands then fail.

namespace sim {

class SimulatedDevice;

class SimulatedTask : public SCSITaskInterface {
  public:
    explicit SimulatedTask(std::shared_ptr<SimulatedDevice> device);

    IOReturn SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) override;
    IOReturn SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                     std::uint64_t transferCount,
                                     SCSIDataTransferDirection direction) override;
    IOReturn SetTimeoutDuration(std::uint32_t milliseconds) override;
    IOReturn ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                             std::uint64_t& realizedTransferCount) override;

  private:
    IOReturn setUpResult(SetupStep step) const;

    std::shared_ptr<SimulatedDevice> device_;
    std::vector<std::uint8_t> cdb_;
    IOVirtualRange range_;
    std::uint64_t transferCount_ = 0;
    SCSIDataTransferDirection direction_ = kSCSIDataTransfer_NoDataTransfer;
};

class SimulatedTaskDevice : public SCSITaskDeviceInterface {
  public:
    explicit SimulatedTaskDevice(std::shared_ptr<SimulatedDevice> device);
    ~SimulatedTaskDevice() override;

    IOReturn ObtainExclusiveAccess() override;
    IOReturn ReleaseExclusiveAccess() override;
    SCSITaskInterface* CreateSCSITask() override;

  private:
    std::shared_ptr<SimulatedDevice> device_;
};

class SimulatedMMCDevice : public MMCDeviceInterface {
  public:
    explicit SimulatedMMCDevice(std::shared_ptr<SimulatedDevice> device);
    SCSITaskDeviceInterface* GetSCSITaskDeviceInterface() override;

  private:
    std::shared_ptr<SimulatedDevice> device_;
};

class SimulatedPlugIn : public IOCFPlugInInterface {
  public:
    explicit SimulatedPlugIn(std::shared_ptr<SimulatedDevice> device);
    IOReturn QueryInterface(const CFUUIDBytes& interfaceID,
                            MMCDeviceInterface** interface) override;

  private:
    std::shared_ptr<SimulatedDevice> device_;
};

} // namespace sim
