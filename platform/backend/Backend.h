#pragma once

#include "platform/iokit/PassThroughDevice.h"

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// The source of drives and discs, chosen once at start: virtual drives from
// the scenario file named by QUELMAR_SCENARIO, or else the system's own. It
// publishes drives in the device registry and media in disk arbitration for
// as long as it lives; the application sees nothing else of it.

namespace platform {

// The scenario file named by QUELMAR_SCENARIO cannot be read or parsed; the
// message names the file and the fault.
class UnreadableScenario : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Backend {
  public:
    virtual ~Backend() = default;

    // Throws UnreadableScenario for a scenario that cannot be read, and
    // std::runtime_error when the chosen source cannot start otherwise.
    static std::unique_ptr<Backend> chooseAtStart();

    // Drives of the authoring kind that were seen but could not be opened
    // during the latest attempts, most recent last, one per device node; a
    // drive opened since is dropped. Lets the window say why a drive is
    // missing or an update failed.
    virtual std::vector<iokit::AccessResult> accessProblems() const = 0;

    // How long an install may show the same progress before the update gives
    // up, when this source wants another limit than the updater's own (virtual
    // drives that are meant to hang, in tests and demonstrations).
    virtual std::optional<std::chrono::milliseconds> installWaitLimit() const {
        return std::nullopt;
    }

    // The shortest time between two polls of an installing drive, when this
    // source wants another one than the updater's own (tests that should not
    // wait).
    virtual std::optional<std::chrono::milliseconds> installPollInterval() const {
        return std::nullopt;
    }

    // How long an update waits for a drive that left while it installed to
    // come back, when this source wants another bound than the updater's own
    // (tests that should not wait).
    virtual std::optional<std::chrono::milliseconds> returnWaitLimit() const {
        return std::nullopt;
    }
};

} // namespace platform
