#pragma once

#include "platform/iokit/LatestTransport.h"
#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <memory>
#include <mutex>
#include <optional>

namespace iokit {

// The task device interface of a pass-through device. Exclusive access is
// the device held open; every refusal and grant goes to AccessProblems. The
// latest one, and how the latest task fared on its way, are kept for the
// holder that asks why a step failed. An interface that goes away still
// holding the device gives it back, as the system closes the files of a
// process that ends.
class PassThroughTaskDevice : public SCSITaskDeviceInterface {
  public:
    explicit PassThroughTaskDevice(std::shared_ptr<PassThroughDevice> device);
    ~PassThroughTaskDevice() override;

    IOReturn ObtainExclusiveAccess() override;
    IOReturn ReleaseExclusiveAccess() override;
    SCSITaskInterface* CreateSCSITask() override;
    std::optional<AccessResult> latestAccess() const override;
    std::optional<TransportFailure> latestTransportFailure() const override;

  private:
    std::shared_ptr<PassThroughDevice> device_;
    const std::shared_ptr<LatestTransport> latestTransport_ = std::make_shared<LatestTransport>();
    mutable std::mutex mutex_;
    bool holding_ = false;
    std::optional<AccessResult> latestAccess_;
};

} // namespace iokit
