#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <memory>
#include <mutex>

namespace iokit {

// The task device interface of a pass-through device. Exclusive access is
// the device held open; every refusal and grant goes to AccessProblems. An
// interface that goes away still holding the device gives it back, as the
// system closes the files of a process that ends.
class PassThroughTaskDevice : public SCSITaskDeviceInterface {
  public:
    explicit PassThroughTaskDevice(std::shared_ptr<PassThroughDevice> device);
    ~PassThroughTaskDevice() override;

    IOReturn ObtainExclusiveAccess() override;
    IOReturn ReleaseExclusiveAccess() override;
    SCSITaskInterface* CreateSCSITask() override;

  private:
    std::shared_ptr<PassThroughDevice> device_;
    std::mutex mutex_;
    bool holding_ = false;
};

} // namespace iokit
