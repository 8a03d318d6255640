#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/sim/DriveProfile.h"

#include <memory>

namespace sim {

// A device whose exclusive access misbehaves as a drive's faults say:
// another program seems to hold it, or giving it back reports a failure.
class FaultyDevice : public iokit::PassThroughDevice {
  public:
    FaultyDevice(std::shared_ptr<iokit::PassThroughDevice> device, const DriveFaults& faults);

    iokit::AccessResult open() override;
    bool close() override;
    void abandon() override;
    iokit::PassThroughResult execute(std::span<const std::uint8_t> cdb,
                                     std::span<std::uint8_t> data,
                                     iokit::TransferDirection direction,
                                     std::chrono::milliseconds timeout) override;

    // Whether the faults are any of those this decorator enacts.
    static bool enacts(const DriveFaults& faults);

  private:
    const std::shared_ptr<iokit::PassThroughDevice> device_;
    const bool accessRefused_;
    const bool releaseFails_;
};

} // namespace sim
