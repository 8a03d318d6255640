#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/sim/VirtualDrive.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace sim {

// How often a device was opened and closed, and how often a holder went
// away without closing: a missing release shows as opens above closes.
struct AccessCounts {
    std::uint64_t opens = 0;
    std::uint64_t closes = 0;
    std::uint64_t abandoned = 0;
    friend bool operator==(const AccessCounts&, const AccessCounts&) = default;
};

// A virtual drive as a device the system passes commands through to: one
// exclusive holder at a time, and a removed drive is gone.
class VirtualDriveDevice : public iokit::PassThroughDevice {
  public:
    VirtualDriveDevice(std::shared_ptr<VirtualDrive> drive, std::string deviceNode);

    iokit::AccessResult open() override;
    bool close() override;
    void abandon() override;
    iokit::PassThroughResult execute(std::span<const std::uint8_t> cdb,
                                     std::span<std::uint8_t> data,
                                     iokit::TransferDirection direction,
                                     std::chrono::milliseconds timeout) override;

    const std::string& deviceNode() const { return deviceNode_; }

  private:
    // Checks in tests that every open was matched by a close
    // (tests/support/SimulatedDrives.h).
    friend class SimulatedDriveProbe;

    const std::shared_ptr<VirtualDrive> drive_;
    const std::string deviceNode_;
    mutable std::mutex mutex_;
    bool held_ = false;
    AccessCounts counts_;
};

} // namespace sim
