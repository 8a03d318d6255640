#pragma once

#include "app/LockTokens.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "platform/foundation/NamedLock.h"

#include <vector>

// The state behind the window's controls that the window does not show.
class ControllerState {
  public:
    // Set from awakeFromNib until the first listing begins.
    static bool initFlag(const QuelmarDriveUpdaterAppDelegate& controller) {
        return controller.initFlag_;
    }
    static bool isUpdatingNow(const QuelmarDriveUpdaterAppDelegate& controller) {
        return controller.isUpdatingNow_;
    }
    static std::vector<DeviceData> deviceArray(const QuelmarDriveUpdaterAppDelegate& controller) {
        auto guard = foundation::NamedLock::synchronized(kCurrentDeviceLock);
        return controller.deviceArray_;
    }
};
