#pragma once

#include "platform/iokit/SCSITaskInterfaces.h"
#include "platform/sim/DriveProfile.h"

#include <optional>

namespace sim {

// A task device interface that creates no task, or tasks with a failing
// set-up step.
class FaultyTaskDevice : public SCSITaskDeviceInterface {
  public:
    FaultyTaskDevice(iokit::InterfaceRef<SCSITaskDeviceInterface> taskDevice,
                     const DriveFaults& faults);

    IOReturn ObtainExclusiveAccess() override;
    IOReturn ReleaseExclusiveAccess() override;
    SCSITaskInterface* CreateSCSITask() override;
    std::optional<iokit::AccessResult> latestAccess() const override;
    std::optional<iokit::TransportFailure> latestTransportFailure() const override;

  private:
    const iokit::InterfaceRef<SCSITaskDeviceInterface> taskDevice_;
    const bool noTask_;
    const std::optional<SetupStep> failingSetupStep_;
};

} // namespace sim
