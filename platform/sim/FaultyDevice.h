#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/sim/DriveProfile.h"
#include "platform/sim/VirtualDrive.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace sim {

// A device whose exclusive access or link misbehaves as a drive's faults
// say: another program seems to hold it, giving it back reports a failure,
// or polls while it installs time out on the way.
class FaultyDevice : public iokit::PassThroughDevice {
  public:
    // `drive` is the drive behind `device`, asked whether it installs.
    FaultyDevice(std::shared_ptr<iokit::PassThroughDevice> device,
                 std::shared_ptr<const VirtualDrive> drive, const DriveFaults& faults);

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
    bool failsInTransport(std::span<const std::uint8_t> cdb);

    const std::shared_ptr<iokit::PassThroughDevice> device_;
    const std::shared_ptr<const VirtualDrive> drive_;
    const bool accessRefused_;
    const bool releaseFails_;
    std::mutex mutex_;
    std::uint32_t transportFailuresLeft_;
};

} // namespace sim
