#include "records/DeviceData.h"

#include "platform/iokit/Registry.h"

#include <gtest/gtest.h>

namespace {

class Service : public iokit::RegistryObject {
  public:
    std::optional<std::string> className() const override { return "Service"; }
};

io_service_t newService() {
    return iokit::Registry::insert(std::make_shared<Service>());
}

} // namespace

TEST(DeviceData, AFreshRecordCopiesToAnEmptyRecordWithoutTakingAReference) {
    const auto live = iokit::Registry::liveObjectCount();
    const DeviceData fresh;
    const DeviceData copy(fresh);
    EXPECT_EQ(copy.scsiDevice(), IO_OBJECT_NULL);
    EXPECT_EQ(copy.driveMode(), 0);
    EXPECT_FALSE(copy.vendor() || copy.product() || copy.revision() || copy.date() ||
                 copy.hard_version() || copy.krnl_version() || copy.dest_version() ||
                 copy.judgeKrnl());
    EXPECT_FALSE(copy.same() || copy.isEnableUpdate() || copy.isPresenceDisc());
    EXPECT_EQ(copy.sameNo(), 0);
    EXPECT_EQ(iokit::Registry::liveObjectCount(), live);
}

TEST(DeviceData, EachCopyHoldsItsOwnHandleReference) {
    const io_service_t service = newService();
    const io_service_t other = newService();
    {
        auto first = std::make_unique<DeviceData>();
        first->setScsiDevice(service);
        IOObjectRelease(service); // the record now holds the only reference
        DeviceData second(*first);
        EXPECT_EQ(iokit::Registry::retainCount(service), 2);
        first.reset();
        EXPECT_EQ(iokit::Registry::retainCount(service), 1);

        // Storing its own only handle again must not free it in between.
        second.setScsiDevice(second.scsiDevice());
        EXPECT_EQ(iokit::Registry::retainCount(service), 1);
        second.setScsiDevice(other);
        EXPECT_EQ(iokit::Registry::retainCount(service), 0);
        EXPECT_EQ(iokit::Registry::retainCount(other), 2);
    }
    EXPECT_EQ(iokit::Registry::retainCount(other), 1);
    IOObjectRelease(other);
}
