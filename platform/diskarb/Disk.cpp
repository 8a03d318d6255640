#include "platform/diskarb/Disk.h"

#include "platform/diskarb/DiskArbitration.h"

#include <algorithm>

DADisk::DADisk(const std::optional<std::string>& volumeName,
               const std::optional<std::string>& deviceModel) {
    if (volumeName) {
        description_.setValue(kDADiskDescriptionVolumeNameKey, *volumeName);
    }
    if (deviceModel) {
        description_.setValue(kDADiskDescriptionDeviceModelKey, *deviceModel);
    }
}

bool DADisk::matches(const CFDictionary& match) const {
    return std::ranges::all_of(match.entries(), [this](const auto& entry) {
        const CFDictionary::Value* present = description_.value(entry.first);
        return present != nullptr && *present == entry.second;
    });
}
