#pragma once

#include "platform/iokit/PassThroughService.h"
#include "platform/sim/VirtualDrive.h"

#include <memory>

namespace sim {

// A virtual drive's service as the registry publishes it: the pass-through
// service of its device, with the drive's faults of the registry and the
// interfaces. A drive that is not attached gives no plug-in.
class SimulatedService : public iokit::ServiceProvider {
  public:
    SimulatedService(std::shared_ptr<iokit::PassThroughService> service,
                     std::shared_ptr<const VirtualDrive> drive);

    std::optional<std::string> className() const override;
    const CFDictionary& properties() const override { return service_->properties(); }
    IOReturn createPlugInInterface(IOCFPlugInInterface** plugIn) override;

  private:
    // Counts the interfaces alive in tests (tests/support/SimulatedDrives.h).
    friend class SimulatedDriveProbe;

    const std::shared_ptr<iokit::PassThroughService> service_;
    const std::shared_ptr<const VirtualDrive> drive_;
};

} // namespace sim
