#include "platform/diskarb/PublishedDisk.h"

#include "platform/diskarb/Disk.h"
#include "platform/diskarb/DiskArbiter.h"

namespace diskarb {

PublishedDisk::PublishedDisk(const std::optional<std::string>& volumeName,
                             const std::optional<std::string>& deviceModel)
    : disk_(std::make_shared<const DADisk>(volumeName, deviceModel)) {
    DiskArbiter::shared().diskAppeared(disk_);
}

PublishedDisk::~PublishedDisk() {
    DiskArbiter::shared().diskDisappeared(disk_);
}

} // namespace diskarb
