#pragma once

#include "platform/linux/DeviceTracker.h"
#include "platform/tracking/PublishedDrives.h"

namespace linuxbackend {

// Publishes drives as pass-through services of the authoring category in the
// device registry, and media as disks in disk arbitration, from the thread
// that reports them. Its publications must go before it does.
class RegistryPublisher : public DeviceTracker::Publisher {
  public:
    // The class name the registry reports for every drive.
    static constexpr const char* kClassName = "LinuxOpticalDrive";

    std::unique_ptr<DeviceTracker::Publication>
    publishDrive(const DriveDescription& drive) override;
    std::unique_ptr<DeviceTracker::Publication> publishDisc(const DiscDescription& disc) override;

    // The refused opens still standing of the drives published now.
    std::vector<iokit::AccessResult> accessProblems() const { return drives_.accessProblems(); }

  private:
    tracking::PublishedDrives drives_;
};

} // namespace linuxbackend
