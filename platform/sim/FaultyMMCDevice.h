#pragma once

#include "platform/iokit/SCSITaskInterfaces.h"
#include "platform/sim/DriveProfile.h"

namespace sim {

// An MMC device interface that gives no task device interface, or one with
// the faults of the tasks below it.
class FaultyMMCDevice : public MMCDeviceInterface {
  public:
    FaultyMMCDevice(iokit::InterfaceRef<MMCDeviceInterface> mmc, DriveFaults faults);
    SCSITaskDeviceInterface* GetSCSITaskDeviceInterface() override;

  private:
    const iokit::InterfaceRef<MMCDeviceInterface> mmc_;
    const DriveFaults faults_;
};

} // namespace sim
