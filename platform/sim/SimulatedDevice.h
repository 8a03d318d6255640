#pragma once

#include "platform/iokit/Services.h"
#include "platform/sim/VirtualDrive.h"

#include <memory>
#include <mutex>

namespace sim {

// A virtual drive as the registry publishes it: the service, and the
// bookkeeping a real device's driver keeps (who holds it exclusively).
class SimulatedDevice : public iokit::ServiceProvider,
                        public std::enable_shared_from_this<SimulatedDevice> {
  public:
    explicit SimulatedDevice(std::shared_ptr<VirtualDrive> drive);

    std::optional<std::string> className() const override;
    const CFDictionary& properties() const override { return properties_; }
    IOReturn createPlugInInterface(IOCFPlugInInterface** plugIn) override;

    VirtualDrive& drive() { return *drive_; }

    // Exclusive access belongs to one task device interface at a time.
    IOReturn obtainExclusiveAccess(const void* client);
    IOReturn releaseExclusiveAccess(const void* client);
    // A client that goes away gives its access back, as closing a device does.
    void forget(const void* client);

  private:
    std::shared_ptr<VirtualDrive> drive_;
    CFDictionary properties_;
    std::mutex mutex_;
    const void* exclusiveClient_ = nullptr;
};

} // namespace sim
