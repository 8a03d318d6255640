#include "monitor/DiscCallbacks.h"

#include "monitor/DeviceNotifications.h"
#include "monitor/LaunchFlags.h"
#include "platform/foundation/NamedLock.h"
#include "platform/foundation/NotificationCenter.h"
#include "records/Util.h"

namespace {

// Disc descriptions are read one at a time.
constexpr const char* kDiscInfoLock = "SYNC_GETDISCINFO";

} // namespace

void diskAppearedCallback(DADiskRef disk, void*) {
    if (getDiscriptionInfo(disk)) {
        foundation::NotificationCenter::defaultCenter().postNotificationName(kAppearedDeviceNotify,
                                                                             kDiscAppearedNumber);
    }
}

void diskDisappearedCallback(DADiskRef disk, void*) {
    if (getDiscriptionInfo(disk)) {
        foundation::NotificationCenter::defaultCenter().postNotificationName(
            kDisappearedDeviceNotify, kDiscDisappearedNumber);
    }
}

bool getDiscriptionInfo(DADiskRef disk) {
    const auto guard = foundation::NamedLock::synchronized(kDiscInfoLock);
    const CFMutableDictionaryRef description = DADiskCopyDescription(disk);
    if (!description) {
        return false;
    }
    const std::optional<std::string> volumeName =
        description->text(kDADiskDescriptionVolumeNameKey);
    const std::optional<std::string> deviceModel =
        description->text(kDADiskDescriptionDeviceModelKey);
    if (!volumeName) {
        return false;
    }
    if (Util::isTargetModel(deviceModel)) {
        IsPresenceDiscsForAppLaunch = true;
    }
    return true;
}
