#include "platform/linux/RegistryPublisher.h"

#include "platform/diskarb/PublishedDisk.h"
#include "platform/iokit/PassThroughService.h"
#include "platform/linux/SgDevice.h"

namespace linuxbackend {
namespace {

class PublishedDrive : public DeviceTracker::Publication {
  public:
    PublishedDrive(tracking::PublishedDrives& drives, const DriveDescription& drive)
        : drives_(drives), key_(drive.syspath),
          published_(
              drives_.publish(key_,
                              std::make_shared<iokit::PassThroughService>(
                                  std::make_shared<SgDevice>(drive.genericNode, drive.scsiDevice),
                                  RegistryPublisher::kClassName, true, drive.physicalLocation),
                              drive.genericNode)) {}
    // Only its own drive: never one published under the same key before it.
    ~PublishedDrive() override {
        if (published_) {
            drives_.withdraw(key_);
        }
    }
    PublishedDrive(const PublishedDrive&) = delete;
    PublishedDrive& operator=(const PublishedDrive&) = delete;

  private:
    tracking::PublishedDrives& drives_;
    const std::string key_;
    const bool published_;
};

class PublishedMedium : public DeviceTracker::Publication {
  public:
    explicit PublishedMedium(const DiscDescription& disc)
        : disk_(disc.volumeName, disc.deviceModel) {}

  private:
    diskarb::PublishedDisk disk_;
};

} // namespace

std::unique_ptr<DeviceTracker::Publication>
RegistryPublisher::publishDrive(const DriveDescription& drive) {
    return std::make_unique<PublishedDrive>(drives_, drive);
}

std::unique_ptr<DeviceTracker::Publication>
RegistryPublisher::publishDisc(const DiscDescription& disc) {
    return std::make_unique<PublishedMedium>(disc);
}

} // namespace linuxbackend
