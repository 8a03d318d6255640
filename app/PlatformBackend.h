#pragma once

#include "platform/sim/EventPlayer.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/SimulatedBackend.h"
#include "scsi/BusyLimit.h"

#include <memory>
#include <optional>

// The source of drives and discs, chosen once at start: virtual drives from
// the scenario file named by QUELMAR_SCENARIO, or else the system's own.
class PlatformBackend {
  public:
    // Throws std::runtime_error for a scenario that cannot be read.
    static std::unique_ptr<PlatformBackend> chooseAtStart();

    explicit PlatformBackend(const sim::Scenario& scenario);
    PlatformBackend() = default;

    // The virtual drives, when a scenario is played; else none.
    sim::SimulatedBackend* simulated() const { return simulated_.get(); }

  private:
    // Real drives are served by the operating system's registry as it is;
    // until the Linux backend exists, that finds no drive.
    std::unique_ptr<sim::SimulatedBackend> simulated_;
    std::unique_ptr<sim::EventPlayer> player_;
    std::optional<BusyLimit> busyLimit_;
};
