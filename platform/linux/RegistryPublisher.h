#pragma once

#include "platform/linux/DeviceTracker.h"

namespace linuxbackend {

// Publishes drives as pass-through services of the authoring category in the
// device registry, and media as disks in disk arbitration, from the thread
// that reports them. A drive withdrawn takes its access problems with it.
class RegistryPublisher : public DeviceTracker::Publisher {
  public:
    // The class name the registry reports for every drive.
    static constexpr const char* kClassName = "LinuxOpticalDrive";

    std::unique_ptr<DeviceTracker::Publication>
    publishDrive(const DriveDescription& drive) override;
    std::unique_ptr<DeviceTracker::Publication> publishDisc(const DiscDescription& disc) override;
};

} // namespace linuxbackend
