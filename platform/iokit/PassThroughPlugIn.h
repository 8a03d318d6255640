#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <memory>

namespace iokit {

// The plug-in of a pass-through device's user client: it gives the MMC
// device interface and nothing else.
class PassThroughPlugIn : public IOCFPlugInInterface {
  public:
    explicit PassThroughPlugIn(std::shared_ptr<PassThroughDevice> device);
    IOReturn QueryInterface(const CFUUIDBytes& interfaceID,
                            MMCDeviceInterface** interface) override;

  private:
    std::shared_ptr<PassThroughDevice> device_;
};

} // namespace iokit
