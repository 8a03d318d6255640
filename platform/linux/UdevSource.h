#pragma once

#include "platform/linux/DeviceEvent.h"
#include "platform/linux/EventSource.h"
#include "platform/linux/UdevHandles.h"

#include <vector>

namespace linuxbackend {

// udev's view of the SCSI generic and block devices: those present now, and
// reports of changes from the moment it is made.
class UdevSource {
  public:
    // Without a context from libudev it finds nothing, and without a monitor
    // it reports no changes; either is logged as an error.
    explicit UdevSource(EventSource source);

    // The devices present, each as an "add" report; from udevd, only those
    // it has finished setting up (the others are reported when it has).
    std::vector<DeviceEvent> existingDevices() const;

    struct Reports {
        std::vector<DeviceEvent> events;
        // Reports came faster than they were read and some were dropped: only
        // a fresh listing of the devices present tells what changed.
        bool lost = false;
    };

    // Readable when reports wait; -1 when there is no monitor.
    int descriptor() const;
    // Every report waiting now.
    Reports receive() const;

  private:
    const bool fromUdevd_;
    UdevContext context_;
    UdevMonitor monitor_;
};

} // namespace linuxbackend
