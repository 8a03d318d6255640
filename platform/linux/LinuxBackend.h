#pragma once

#include "platform/backend/Backend.h"
#include "platform/linux/DeviceDescriptions.h"
#include "platform/linux/EventSource.h"

#include <memory>
#include <optional>
#include <vector>

namespace linuxbackend {

// The system's own drives and discs: optical drives found through udev are
// published in the device registry for as long as they are attached, driven
// by SG_IO; media are published in disk arbitration. A thread of the backend
// follows devices coming and going in its own run loop, so a QCoreApplication
// must exist for as long as the backend does.
class LinuxBackend : public platform::Backend {
  public:
    // Without a source given, udevd's when it runs, else the kernel's (with
    // a warning in the log: without udevd, udevd's reports never come).
    explicit LinuxBackend(std::optional<EventSource> source = std::nullopt);
    ~LinuxBackend() override;
    LinuxBackend(const LinuxBackend&) = delete;
    LinuxBackend& operator=(const LinuxBackend&) = delete;

    std::vector<iokit::AccessResult> accessProblems() const override;

    // What is published now, from any thread: lets a caller wait for a drive
    // or a disc to come or go.
    std::vector<DriveDescription> drives() const;
    std::vector<DiscDescription> discs() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace linuxbackend
