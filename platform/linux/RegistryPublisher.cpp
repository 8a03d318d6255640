#include "platform/linux/RegistryPublisher.h"

#include "platform/diskarb/PublishedDisk.h"
#include "platform/iokit/AccessProblems.h"
#include "platform/iokit/PassThroughService.h"
#include "platform/linux/SgDevice.h"

namespace linuxbackend {
namespace {

class PublishedDrive : public DeviceTracker::Publication {
  public:
    explicit PublishedDrive(const DriveDescription& drive)
        : node_(drive.genericNode),
          service_(
              iokit::ServiceRegistry::registerService(std::make_shared<iokit::PassThroughService>(
                  std::make_shared<SgDevice>(drive.genericNode, drive.scsiDevice),
                  RegistryPublisher::kClassName, true, drive.physicalLocation))) {}
    ~PublishedDrive() override {
        iokit::ServiceRegistry::terminateService(service_);
        // A later drive may get the same node.
        iokit::AccessProblems::forget(node_);
    }
    PublishedDrive(const PublishedDrive&) = delete;
    PublishedDrive& operator=(const PublishedDrive&) = delete;

  private:
    const std::string node_;
    const io_service_t service_;
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
    return std::make_unique<PublishedDrive>(drive);
}

std::unique_ptr<DeviceTracker::Publication>
RegistryPublisher::publishDisc(const DiscDescription& disc) {
    return std::make_unique<PublishedMedium>(disc);
}

} // namespace linuxbackend
