#pragma once

#include "platform/iokit/SCSITaskInterfaces.h"
#include "platform/sim/DriveProfile.h"

namespace sim {

// A plug-in that gives no MMC device interface, or one with the faults of
// the interfaces below it.
class FaultyPlugIn : public IOCFPlugInInterface {
  public:
    FaultyPlugIn(iokit::InterfaceRef<IOCFPlugInInterface> plugIn, DriveFaults faults);
    IOReturn QueryInterface(const CFUUIDBytes& interfaceID,
                            MMCDeviceInterface** interface) override;

    // Whether the faults touch an interface below the plug-in.
    static bool enacts(const DriveFaults& faults);

  private:
    const iokit::InterfaceRef<IOCFPlugInInterface> plugIn_;
    const DriveFaults faults_;
};

} // namespace sim
