#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <memory>

namespace iokit {

// The MMC device interface of a pass-through device: the way to its task
// device interface.
class PassThroughMMCDevice : public MMCDeviceInterface {
  public:
    explicit PassThroughMMCDevice(std::shared_ptr<PassThroughDevice> device);
    SCSITaskDeviceInterface* GetSCSITaskDeviceInterface() override;

  private:
    std::shared_ptr<PassThroughDevice> device_;
};

} // namespace iokit
